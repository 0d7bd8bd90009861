#include "platform/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <mutex>
#include <optional>
#include <system_error>

#include "platform/posix_fd.h"

namespace platform {

namespace {

std::mutex g_mutex;                     // guards g_store_file
std::optional<std::string> g_store_file;  // set explicitly; else the user's file

std::string user_store_file() {
  namespace fs = std::filesystem;
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config)
    return (fs::path(config) / "download_lib" / "registry").string();
  if (const char* home = std::getenv("HOME"); home && *home)
    return (fs::path(home) / ".config" / "download_lib" / "registry").string();
  return std::string();
}

// "<what> <path>: <the system's text for errno>".
std::string failure(const char* what, const std::string& path) {
  return std::string(what) + " " + path + ": " + std::generic_category().message(errno);
}

// Reads the store; a store that does not exist yet is empty.
bool load(const std::string& file, registry_keys& keys, std::string& error) {
  fd_guard fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ENOENT) return true;
    error = failure("cannot open", file);
    return false;
  }
  std::string text;
  char buffer[16384];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof(buffer));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = failure("cannot read", file);
      return false;
    }
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::size_t a = text.find('\t', start);
    const std::size_t b = a < end ? text.find('\t', a + 1) : std::string::npos;
    if (b < end) keys[text.substr(start, a - start)][text.substr(a + 1, b - a - 1)] = text.substr(b + 1, end - b - 1);
    start = end + 1;
  }
  return true;
}

// The store's text, or false when a key, name or value cannot be written as
// one line.
bool format(const registry_keys& keys, std::string& text, std::string& error) {
  for (const auto& [key, values] : keys) {
    for (const auto& [name, value] : values) {
      if (key.find_first_of("\t\n") != std::string::npos || name.find_first_of("\t\n") != std::string::npos ||
          value.find('\n') != std::string::npos) {
        error = "cannot store a tab or line break in key " + key;
        return false;
      }
      text += key;
      text += '\t';
      text += name;
      text += '\t';
      text += value;
      text += '\n';
    }
  }
  return true;
}

// Replaces `file` whole with `text` (replace_file_whole).
bool replace(const std::string& file, const std::string& text, std::string& error) {
  const int e = replace_file_whole(file, text.data(), text.size());
  if (e == 0) return true;
  errno = e;
  error = failure("cannot replace", file);
  return false;
}

bool update(const std::string& file, const std::function<void(registry_keys&)>& change, std::string& error) {
  std::error_code ec;
  const std::filesystem::path folder = std::filesystem::path(file).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder, ec);
  if (ec) {
    error = "cannot create " + folder.string() + ": " + ec.message();
    return false;
  }
  // The lock file is never replaced, so every writer locks the same file.
  const std::string lock_file = file + ".lock";
  fd_guard lock(::open(lock_file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (lock.get() < 0) {
    error = failure("cannot open", lock_file);
    return false;
  }
  int locked;
  while ((locked = ::flock(lock.get(), LOCK_EX)) != 0 && errno == EINTR) {
  }
  if (locked != 0) {
    error = failure("cannot lock", lock_file);
    return false;
  }
  registry_keys keys;
  if (!load(file, keys, error)) return false;
  const registry_keys before = keys;
  change(keys);
  if (keys == before) return true;
  std::string text;
  return format(keys, text, error) && replace(file, text, error);
}

}  // namespace

void registry_set_store_file(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (path.empty())
    g_store_file.reset();
  else
    g_store_file = path;
}

std::string registry_store_file() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_store_file ? *g_store_file : user_store_file();
}

bool registry_update(const std::function<void(registry_keys&)>& change, std::string& error) {
  try {
    const std::string file = registry_store_file();
    if (file.empty()) {
      error = "no store: neither XDG_CONFIG_HOME nor HOME is set";
      return false;
    }
    return update(file, change, error);
  } catch (const std::exception& e) {
    try {
      error = e.what();
    } catch (const std::exception&) {
    }
  }
  return false;
}

void registry_delete_tree(registry_keys& keys, const std::string& key) {
  const std::string below = key + "\\";
  for (auto it = keys.begin(); it != keys.end();) {
    if (it->first == key || it->first.compare(0, below.size(), below) == 0)
      it = keys.erase(it);
    else
      ++it;
  }
}

bool registry_get_value(const std::string& key, const std::string& name, std::string& value) {
  try {
    const std::string file = registry_store_file();
    registry_keys keys;
    std::string error;
    if (file.empty() || !load(file, keys, error)) return false;
    auto k = keys.find(key);
    if (k == keys.end()) return false;
    auto v = k->second.find(name);
    if (v == k->second.end()) return false;
    value = v->second;
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace platform
