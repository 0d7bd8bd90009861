// Writes the generated seed inputs of the fuzz targets, the same bytes on
// every run:
//   <folder>/torrent/  .torrent seeds (bencode, parser and seed-services
//                      targets): the sample download, names in UTF-8 and with
//                      unsafe components, non-canonical and deep encodings,
//                      hostile lengths
//   <folder>/text/     texts for the text-conversion target, each after its
//                      two code-page selector bytes
// Usage: bts_make_fuzz_seeds <folder>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/sample_download.h"
#include "tests/bt_shell/seed_builder.h"

namespace {

namespace fs = std::filesystem;

// Selector bytes of the text target: indexes into its code-page table.
enum : char { kUtf8 = 0, k1252 = 1, k936 = 2, k950 = 3, k932 = 4 };

std::vector<std::string> split_path(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t end; (end = path.find('/', start)) != std::string::npos; start = end + 1)
    parts.push_back(path.substr(start, end - start));
  parts.push_back(path.substr(start));
  return parts;
}

std::string repeat(const std::string& piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

std::vector<std::pair<std::string, std::string>> torrent_seeds() {
  bts_test::seed_builder album;
  album.name(fuzz::kSampleTitle)
      .announce("http://tracker.example/announce")
      .announce_list({{"http://a.example/announce", "udp://b.example:80"}, {"http://c.example/"}})
      .info_text("publisher", "publisher")
      .root_text("publisher-url", "http://publisher.example/");
  for (const fuzz::sample_file& file : fuzz::kSampleFiles) album.file(split_path(file.path), file.length);

  bts_test::seed_builder single;
  single.name("a.txt").info_text("name.utf-8", "\xC3\xA9t\xC3\xA9.txt").single(5).root_text("comment", "c");

  bts_test::seed_builder names;
  names.name("\xE4\xB8\xAD\xE6\x96\x87")
      .file({"\xE4\xB8\xAD", "\xE6\x96\x87.txt"}, 1)
      .file({"..", ".", "a:b"}, 2)
      .file({"x/y", "\\"}, 3)
      .file({""}, 4)
      .file({"\xD6\xD0\xCE\xC4"}, 5);

  const std::string pieces = "6:pieces20:" + std::string(20, 'p');
  return {
      {"album.torrent", album.encoding()},
      {"single.torrent", single.encoding()},
      {"names.torrent", names.encoding()},
      // Keys out of order, an integer with leading zeros, a repeated key.
      {"noncanonical.torrent", "d4:infod4:name1:x6:lengthi007e12:piece lengthi16384e" + pieces +
                                   "4:name1:yee"},
      {"nodes.torrent", "d5:nodesll9:127.0.0.1i6881eel3:::1i0eei5el1:xee4:infod6:lengthi1e4:name1:a" + pieces +
                            "ee"},
      {"deep.torrent", "d4:info" + repeat("l", 600) + repeat("e", 600) + "e"},
      {"long_string.torrent", "d4:infod4:name4294967300:xee"},
      {"negative_length.torrent", "d4:infod5:filesld6:lengthi-1e4:pathl1:aeee4:name1:ae" + pieces + "ee"},
      {"files_not_dicts.torrent", "d4:infod5:filesli1e1:xlee4:name1:a" + pieces + "ee"},
  };
}

std::vector<std::pair<std::string, std::string>> text_seeds() {
  auto text = [](char source, char ansi, const std::string& bytes) { return std::string{source, ansi} + bytes; };
  return {
      {"ascii", text(kUtf8, kUtf8, "plain ascii.txt")},
      {"utf8_to_gbk", text(kUtf8, k936, "\xE4\xB8\xAD\xE6\x96\x87\xE5\x90\x8D")},
      {"utf8_to_1252", text(kUtf8, k1252, "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80")},
      {"gbk", text(k936, kUtf8, "\xD6\xD0\xCE\xC4")},
      {"big5", text(k950, k936, "\xA4\xA4\xA4\xE5")},
      {"shift_jis", text(k932, k1252, "\x82\xA0\x83\x41")},
      {"overlong", text(kUtf8, kUtf8, "\xC0\xAF \xE0\x80\xAF")},
      {"surrogate", text(kUtf8, k936, "\xED\xA0\x80\xED\xB0\x80")},
      {"beyond_unicode", text(kUtf8, kUtf8, "\xF4\x90\x80\x80\xF8\x88\x80\x80\x80")},
      {"truncated", text(kUtf8, k936, "\xE4\xB8")},
      {"continuation", text(kUtf8, kUtf8, "\x80\xBF\xFF\xFE")},
      {"nul", text(kUtf8, k1252, std::string("a\0\xC3\xA9", 4))},
      {"utf16_pair", text(k1252, kUtf8, std::string("\x3D\xD8\x00\xDE\x00\xD8", 6))},
      {"too_long", text(kUtf8, k936, repeat("\xC3\xA9", 1100))},
  };
}

bool write_all(const fs::path& folder, const std::vector<std::pair<std::string, std::string>>& seeds) {
  fs::create_directories(folder);
  for (const auto& [name, bytes] : seeds) {
    std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      std::fprintf(stderr, "cannot write %s\n", (folder / name).c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  const fs::path folder = argv[1];
  return write_all(folder / "torrent", torrent_seeds()) && write_all(folder / "text", text_seeds()) ? 0 : 1;
}
