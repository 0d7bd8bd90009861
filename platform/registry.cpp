#include "platform/registry.h"

#include <fstream>
#include <mutex>
#include <sstream>

namespace platform {

namespace {

struct store {
  std::mutex mutex;
  std::string file;
  std::map<std::string, std::map<std::string, std::string>> keys;
};

store& the_store() {
  static store s;
  return s;
}

// One line per value: key TAB name TAB value.
void save(const store& s) {
  if (s.file.empty()) return;
  std::ofstream out(s.file, std::ios::trunc);
  for (const auto& [key, values] : s.keys)
    for (const auto& [name, value] : values) out << key << '\t' << name << '\t' << value << '\n';
}

void load(store& s) {
  s.keys.clear();
  std::ifstream in(s.file);
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t a = line.find('\t');
    const std::size_t b = a == std::string::npos ? a : line.find('\t', a + 1);
    if (b == std::string::npos) continue;
    s.keys[line.substr(0, a)][line.substr(a + 1, b - a - 1)] = line.substr(b + 1);
  }
}

}  // namespace

void registry_set_store_file(const std::string& path) {
  store& s = the_store();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.file = path;
  load(s);
}

void registry_set_value(const std::string& key, const std::string& name, const std::string& value) {
  store& s = the_store();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.keys[key][name] = value;
  save(s);
}

bool registry_get_value(const std::string& key, const std::string& name, std::string& value) {
  store& s = the_store();
  std::lock_guard<std::mutex> lock(s.mutex);
  auto k = s.keys.find(key);
  if (k == s.keys.end()) return false;
  auto v = k->second.find(name);
  if (v == k->second.end()) return false;
  value = v->second;
  return true;
}

void registry_delete_tree(const std::string& key) {
  store& s = the_store();
  std::lock_guard<std::mutex> lock(s.mutex);
  const std::string below = key + "\\";
  for (auto it = s.keys.begin(); it != s.keys.end();) {
    if (it->first == key || it->first.compare(0, below.size(), below) == 0)
      it = s.keys.erase(it);
    else
      ++it;
  }
  save(s);
}

std::map<std::string, std::map<std::string, std::string>> registry_snapshot() {
  store& s = the_store();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.keys;
}

}  // namespace platform
