#include "common/character_iterator.h"

// The interface has no code of its own; this unit keeps its vtable's home
// beside its header.
