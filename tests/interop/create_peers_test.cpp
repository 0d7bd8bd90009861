// btshell create beside Debian's mktorrent and transmission-create: for the
// same files, piece size and private flag, the "info" dictionary is the same
// bytes (so the info hash is the same torrent); and btshell verify accepts
// the data of mktorrent's seed.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "tests/interop/child_process.h"

namespace {

using namespace bts_test;

constexpr std::chrono::seconds kLimit{60};

// Runs `argv` in `dir` to its end; its exit status.
int run(const temp_dir& dir, const std::vector<std::string>& argv) {
  child_process p;
  if (!p.start(argv, dir.path(), dir.file("out.txt"), dir.file("err.txt"))) return -1;
  return p.wait(kLimit);
}

// The bytes of the "info" dictionary of a seed in which it is the last key.
std::string info_of(const std::string& seed) {
  const std::size_t at = seed.find("4:infod");
  return at == std::string::npos || seed.size() < 2 ? std::string() : seed.substr(at + 6, seed.size() - at - 7);
}

struct made_file {
  std::string path;  // inside the folder (or the single file's name)
  std::size_t size;
};

TEST(CreatePeers, InfoDictionaryIsMktorrentsAndTransmissionsByteForByte) {
  ASSERT_FALSE(find_program("mktorrent").empty()) << "make deps installs mktorrent";
  ASSERT_FALSE(find_program("transmission-create").empty()) << "make deps installs transmission-cli";
  struct peer_case {
    const char* what;
    std::string target;  // the file or folder given to each tool
    std::vector<made_file> files;
    bool is_private;
    bool transmission;  // compared with transmission-create too
  };
  const peer_case cases[] = {
      {"a single file", "one.bin", {{"one.bin", 100'001}}, false, false},
      {"a single private file", "two.bin", {{"two.bin", 65'536}}, true, true},
      {"a private folder", "p", {{"p/b.bin", 40'000}, {"p/a/c.bin", 30'000}, {"p/a.txt", 5}}, true, true},
      {"nested folders, empty and hidden files",
       "tree",
       {{"tree/a.txt", 40'000}, {"tree/a/b/c.bin", 70'000}, {"tree/a-b", 1}, {"tree/empty", 0}, {"tree/.hidden", 500},
        {"tree/z/empty too", 0}, {"tree/z/y.bin", 33'000}},
       false, false},
      {"names that are not ASCII",
       "donn\xC3\xA9" "es \xC3\xA9t\xC3\xA9",
       {{"donn\xC3\xA9" "es \xC3\xA9t\xC3\xA9/\xC3\xA9t\xC3\xA9/\xC3\xBC.txt", 20'000},
        {"donn\xC3\xA9" "es \xC3\xA9t\xC3\xA9/\xE6\x97\xA5\xE6\x9C\xAC/\xE6\x97\x85.txt", 50'000},
        {"donn\xC3\xA9" "es \xC3\xA9t\xC3\xA9/Z.txt", 3}},
       true, false},
  };
  for (const peer_case& c : cases) {
    temp_dir dir;
    for (const made_file& f : c.files) {
      std::filesystem::create_directories(std::filesystem::path(dir.file(f.path)).parent_path());
      std::string bytes(f.size, '\0');
      for (std::size_t i = 0; i < f.size; ++i) bytes[i] = static_cast<char>(f.path.size() + i * 31 + i / 977);
      dir.write(f.path, bytes);
    }
    std::vector<std::string> ours = {BTSHELL_EXE, "create", c.target, "-o", "ours.torrent", "--piece-size", "32K",
                                     "--tracker", "http://127.0.0.1:6969/announce"};
    std::vector<std::string> mktorrent = {"mktorrent", "-l", "15", "-o", "mktorrent.torrent", "-a",
                                          "http://127.0.0.1:6969/announce", c.target};
    if (c.is_private) {
      ours.push_back("--private");
      mktorrent.insert(mktorrent.begin() + 1, "-p");
    }
    ASSERT_EQ(run(dir, ours), 0) << c.what << read_file(dir.file("err.txt"));
    ASSERT_EQ(run(dir, mktorrent), 0) << c.what << read_file(dir.file("err.txt"));
    const std::string info = info_of(read_file(dir.file("ours.torrent")));
    ASSERT_FALSE(info.empty()) << c.what;
    EXPECT_EQ(info, info_of(read_file(dir.file("mktorrent.torrent")))) << c.what;
    // transmission-create leaves empty files out, always writes the private
    // flag (0 when it is not set), and orders names by their bytes taken as
    // signed (a name starting with 'Z' after one starting with 0xC3): the
    // cases it is compared on have none of these.
    if (c.transmission) {
      ASSERT_EQ(run(dir, {"transmission-create", "-p", "-s", "32", "-t", "http://127.0.0.1:6969/announce", "-o",
                          "transmission.torrent", c.target}),
                0)
          << c.what << read_file(dir.file("err.txt"));
      EXPECT_EQ(info, info_of(read_file(dir.file("transmission.torrent")))) << c.what;
    }
    // The seed of another tool, checked against the data it was made of.
    const std::string folder = c.files.size() == 1 ? "." : c.target;
    EXPECT_EQ(run(dir, {BTSHELL_EXE, "verify", "mktorrent.torrent", folder}), 0)
        << c.what << read_file(dir.file("out.txt")) << read_file(dir.file("err.txt"));
  }
}

}  // namespace
