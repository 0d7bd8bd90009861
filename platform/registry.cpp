#include "platform/registry.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>

namespace platform {

namespace {

using keys_t = std::map<std::string, std::map<std::string, std::string>>;

struct store {
  std::mutex mutex;
  std::optional<std::string> file;  // set explicitly; else the user's file
  keys_t memory;                    // the store when there is no file
};

store& the_store() {
  static store s;
  return s;
}

std::string user_store_file() {
  namespace fs = std::filesystem;
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config)
    return (fs::path(config) / "download_lib" / "registry").string();
  if (const char* home = std::getenv("HOME"); home && *home)
    return (fs::path(home) / ".config" / "download_lib" / "registry").string();
  return std::string();
}

std::string file_of(const store& s) { return s.file ? *s.file : user_store_file(); }

// One line per value: key TAB name TAB value.
keys_t load(const std::string& file) {
  keys_t keys;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t a = line.find('\t');
    const std::size_t b = a == std::string::npos ? a : line.find('\t', a + 1);
    if (b == std::string::npos) continue;
    keys[line.substr(0, a)][line.substr(a + 1, b - a - 1)] = line.substr(b + 1);
  }
  return keys;
}

void save(const std::string& file, const keys_t& keys) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ec);
  const std::string temporary = file + ".new";
  {
    std::ofstream out(temporary, std::ios::trunc);
    for (const auto& [key, values] : keys)
      for (const auto& [name, value] : values) out << key << '\t' << name << '\t' << value << '\n';
    if (!out) return;
  }
  std::rename(temporary.c_str(), file.c_str());
}

// Runs `change` on the current keys and stores the result.
template <class Change>
void modify(Change change) {
  store& s = the_store();
  std::lock_guard<std::mutex> lock(s.mutex);
  const std::string file = file_of(s);
  if (file.empty()) {
    change(s.memory);
    return;
  }
  keys_t keys = load(file);
  change(keys);
  save(file, keys);
}

keys_t current() {
  store& s = the_store();
  std::lock_guard<std::mutex> lock(s.mutex);
  const std::string file = file_of(s);
  return file.empty() ? s.memory : load(file);
}

}  // namespace

void registry_set_store_file(const std::string& path) {
  store& s = the_store();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.file = path;
}

std::string registry_store_file() {
  store& s = the_store();
  std::lock_guard<std::mutex> lock(s.mutex);
  return file_of(s);
}

void registry_set_value(const std::string& key, const std::string& name, const std::string& value) {
  modify([&](keys_t& keys) { keys[key][name] = value; });
}

bool registry_get_value(const std::string& key, const std::string& name, std::string& value) {
  const keys_t keys = current();
  auto k = keys.find(key);
  if (k == keys.end()) return false;
  auto v = k->second.find(name);
  if (v == k->second.end()) return false;
  value = v->second;
  return true;
}

void registry_delete_tree(const std::string& key) {
  const std::string below = key + "\\";
  modify([&](keys_t& keys) {
    for (auto it = keys.begin(); it != keys.end();) {
      if (it->first == key || it->first.compare(0, below.size(), below) == 0)
        it = keys.erase(it);
      else
        ++it;
    }
  });
}

std::map<std::string, std::map<std::string, std::string>> registry_snapshot() { return current(); }

}  // namespace platform
