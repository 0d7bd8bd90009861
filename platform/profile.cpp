#include "platform/profile.h"

#include <ini.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/winerror.h"

namespace {

bool equal_ignoring_case(const char* a, const char* b) {
  for (;; ++a, ++b) {
    char ca = *a;
    char cb = *b;
    if (ca >= 'A' && ca <= 'Z') ca = static_cast<char>(ca - 'A' + 'a');
    if (cb >= 'A' && cb <= 'Z') cb = static_cast<char>(cb - 'A' + 'a');
    if (ca != cb) return false;
    if (ca == '\0') return true;
  }
}

// What one reading of a profile looks for and what it found.
struct lookup {
  lookup(const char* s, const char* k) : section(s), key(k) {}

  const char* section;  // null: list the section names
  const char* key;      // null: list the key names of the section
  bool found = false;
  std::string value;
  std::vector<std::string> names;

  void add_name(const char* name) {
    for (const std::string& n : names) {
      if (equal_ignoring_case(n.c_str(), name)) return;
    }
    names.emplace_back(name);
  }
};

int on_entry(void* user, const char* section, const char* name, const char* value) {
  auto* l = static_cast<lookup*>(user);
  // Lines before the first section header belong to no section; a nameless
  // entry could not be told from the end of a list of names.
  if (*section == '\0' || *name == '\0') return 1;
  if (!l->section) {
    l->add_name(section);
  } else if (equal_ignoring_case(section, l->section)) {
    if (!l->key) {
      l->add_name(name);
    } else if (!l->found && equal_ignoring_case(name, l->key)) {
      l->found = true;
      l->value = value ? value : "";
    }
  }
  return 1;
}

// Hands the parser one line at a time with its leading blanks removed, so
// that an indented line is never taken as a continuation; lines that do not
// fit the parser's buffer are skipped instead of being split in two.
char* read_line(char* str, int num, void* stream) {
  auto* file = static_cast<std::FILE*>(stream);
  for (;;) {
    std::string line;
    int c = std::getc(file);
    if (c == EOF) return nullptr;
    for (; c != EOF && c != '\n'; c = std::getc(file)) line.push_back(static_cast<char>(c));
    const std::size_t start = line.find_first_not_of(" \t");
    line.erase(0, start == std::string::npos ? line.size() : start);
    // Room for the line, its '\n' and the NUL.
    if (num < 2 || line.size() > static_cast<std::size_t>(num) - 2) continue;
    std::memcpy(str, line.data(), line.size());
    str[line.size()] = '\n';
    str[line.size() + 1] = '\0';
    return str;
  }
}

std::string unquoted(std::string value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

DWORD copy_text(const std::string& text, char* buffer, DWORD size) {
  const std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return static_cast<DWORD>(n);
}

DWORD copy_list(const std::vector<std::string>& names, char* buffer, DWORD size) {
  std::string list;
  for (const std::string& n : names) {
    list += n;
    list.push_back('\0');
  }
  if (list.size() + 1 <= size) {
    std::memcpy(buffer, list.data(), list.size());
    buffer[list.size()] = '\0';
    return static_cast<DWORD>(list.size());
  }
  if (size < 2) {
    buffer[0] = '\0';
    return 0;
  }
  std::memcpy(buffer, list.data(), size - 2);
  buffer[size - 2] = '\0';
  buffer[size - 1] = '\0';
  return size - 2;
}

}  // namespace

DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* default_value, char* buffer,
                               DWORD size, const char* file) {
  if (!buffer || size == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  lookup l(section, key);
  std::FILE* in = file ? std::fopen(file, "rb") : nullptr;
  if (in) {
    ini_parse_stream(read_line, in, on_entry, &l);
    std::fclose(in);
  } else {
    SetLastError(file ? platform::win32_error_from_errno(errno) : ERROR_INVALID_PARAMETER);
  }
  if (!section || !key) return copy_list(l.names, buffer, size);
  if (l.found) return copy_text(unquoted(l.value), buffer, size);
  std::string fallback = default_value ? default_value : "";
  const std::size_t end = fallback.find_last_not_of(' ');
  fallback.erase(end == std::string::npos ? 0 : end + 1);
  return copy_text(fallback, buffer, size);
}
