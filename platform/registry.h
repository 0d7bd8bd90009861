// The registry store: where COM registration writes its class keys.
//
// Keys are backslash-separated paths ("CLSID\{...}\InprocServer32"); each
// key holds named string values ("" is the default value). The store is the
// user's: the file "download_lib/registry" under $XDG_CONFIG_HOME (or
// ~/.config), read before every operation and rewritten (whole, through a
// temporary file) after every change, so that every module and host of the
// user sees the same keys. Without a home the store lives in memory.
#pragma once

#include <map>
#include <string>

namespace platform {

// Where the store lives: the user's file unless set here (empty: memory only).
void registry_set_store_file(const std::string& path);
std::string registry_store_file();

void registry_set_value(const std::string& key, const std::string& name, const std::string& value);
// False when the key or the value does not exist.
bool registry_get_value(const std::string& key, const std::string& name, std::string& value);
// Removes the key and every key below it.
void registry_delete_tree(const std::string& key);
// Every value of the store: key → (name → value).
std::map<std::string, std::map<std::string, std::string>> registry_snapshot();

}  // namespace platform
