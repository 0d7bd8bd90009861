// The bytes of a text that btshell --json wrote: "\\" is a backslash,
// "\xHH" the byte HH, everything else stands for itself.
#pragma once

#include <string>

inline std::string json_unescape(const std::string& text) {
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && text.at(i + 1) == 'x') {
      bytes += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else {
      bytes += text[i];
      i += text[i] == '\\';
    }
  }
  return bytes;
}
