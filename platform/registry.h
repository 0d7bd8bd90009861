// The registry store: where COM registration writes its class keys.
//
// Keys are backslash-separated paths ("CLSID\{...}\InprocServer32"); each
// key holds named string values ("" is the default value). The store lives
// in memory; a host that wants registrations to persist names a file, which
// is read when named and rewritten after every change.
#pragma once

#include <map>
#include <string>

namespace platform {

void registry_set_store_file(const std::string& path);
void registry_set_value(const std::string& key, const std::string& name, const std::string& value);
// False when the key or the value does not exist.
bool registry_get_value(const std::string& key, const std::string& name, std::string& value);
// Removes the key and every key below it.
void registry_delete_tree(const std::string& key);
// Every value of the store: key → (name → value).
std::map<std::string, std::map<std::string, std::string>> registry_snapshot();

}  // namespace platform
