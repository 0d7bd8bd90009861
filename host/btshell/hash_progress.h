// Hashing with the progress display: `btshell create` and `btshell verify`
// run their piece_hasher through this, and see it on stderr like a transfer.
#pragma once

#include <ostream>
#include <string>

#include "host/btshell/piece_hasher.h"

namespace btshell {

// Runs `hasher` (on every core) while a progress display on `err` shows
// how far it is, a bar on a terminal, else a line every few seconds and a
// last one at the end; `log_config`: as stderr_style() takes it. Returns
// once every piece is hashed. Called from one thread.
void hash_with_progress(piece_hasher& hasher, const std::string& what, bool log_config, std::ostream& err);

}  // namespace btshell
