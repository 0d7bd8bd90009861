// Seeds written as bencode text, for the tables of hostile and odd seeds.
// Pure functions; any thread.
#pragma once

#include <string>
#include <vector>

namespace bts_test {

inline std::string bstr(const std::string& s) { return std::to_string(s.size()) + ":" + s; }

inline std::string repeat(const std::string& s, std::size_t n) {
  std::string out;
  out.reserve(s.size() * n);
  while (n--) out += s;
  return out;
}

// The keys of "info" after "name": a piece length of 16 KiB and one piece.
inline const std::string kPiece = "12:piece lengthi16384e";
inline const std::string kOnePiece = "6:pieces20:" + std::string(20, 'h');

// A multi-file seed named "seed" whose "files" list holds `entries` as they
// are; `extra`: keys of "info" between "files" and "name".
inline std::string with_files(const std::string& entries, const std::string& extra = "") {
  return "d4:infod5:filesl" + entries + "e" + extra + "4:name4:seed" + kPiece + kOnePiece + "ee";
}

// A file entry; `extra` goes before it, `key` names its path.
inline std::string file_entry(const std::vector<std::string>& path, long long length = 1,
                              const std::string& extra = "", const char* key = "path") {
  std::string s = extra + "d6:lengthi" + std::to_string(length) + "e" + bstr(key) + "l";
  for (const auto& component : path) s += bstr(component);
  return s + "ee";
}

}  // namespace bts_test
