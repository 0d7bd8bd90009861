// The registry store: where COM registration writes its class keys.
//
// Keys are backslash-separated paths ("CLSID\{...}\InprocServer32"); each
// key holds named string values ("" is the default value). The store is the
// user's: the file "download_lib/registry" under $XDG_CONFIG_HOME (or
// ~/.config), one line per value (key TAB name TAB value), shared by every
// module and host of the user.
//
// Thread-safe, and safe between processes: every change is one locked
// read-modify-write that replaces the file whole, so a reader sees either
// the old store or the new one and two writers never lose each other's keys.
#pragma once

#include <functional>
#include <map>
#include <string>

namespace platform {

// key → (name → value).
using registry_keys = std::map<std::string, std::map<std::string, std::string>>;

// Where the store lives: the user's file unless set here; an empty path goes
// back to the user's file.
void registry_set_store_file(const std::string& path);
// The store's file; empty when there is none (neither $XDG_CONFIG_HOME nor
// $HOME is set).
std::string registry_store_file();

// Applies `change` to the store as one step: with "<store>.lock" locked
// (flock), the store is read, changed, written to a temporary file beside
// it, flushed to disk and renamed over it. A change that changes nothing
// writes nothing. False, with the store as it was and the cause in `error`,
// when there is no store file, the store cannot be read, a key or name holds
// a tab or line break or a value a line break, or the new store cannot be
// written. Never throws.
bool registry_update(const std::function<void(registry_keys&)>& change, std::string& error);

// Removes `key` and every key below it.
void registry_delete_tree(registry_keys& keys, const std::string& key);

// False when the key or the value does not exist or the store cannot be read.
bool registry_get_value(const std::string& key, const std::string& name, std::string& value);

}  // namespace platform
