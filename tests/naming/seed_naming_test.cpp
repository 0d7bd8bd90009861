// The shell's naming (its bencode decoder, CQTorrentFileParser) and the
// kernel's (libtorrent's decoder, load_seed) over one table of hostile seeds
// and the corpus: the same answer for each, usable or not with the same
// reason, and for a usable seed the same paths.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "bencode/QTorrentFileParser.h"
#include "kernel/torrent_layout.h"
#include "support/seed_text.h"
#include "support/temp_dir.h"

namespace {

using namespace bts_test;

// "usable: path, path (pad), ..." or "refused: why".
std::string shell_answer(const std::string& seed) {
  CQTorrentFileParser parser;
  if (!parser.loadFile(seed))
    return parser.getState() == CQTorrentFileParser::STATE_DECODE_FAILED ? "refused: " + parser.decodeFailure()
                                                                        : "unreadable";
  seed_layout layout;
  std::string why;
  if (!parser.getLayout(layout, why)) return "refused: " + why;
  std::string answer = "usable:";
  for (const seed_file& file : layout.files) answer += " " + file.path + (file.pad ? " (pad)" : "") + ",";
  return answer;
}

std::string kernel_answer(const std::string& seed) {
  loaded_seed loaded;
  bt_task_failure failure = bt_failure_none;
  std::string why;
  if (!load_seed(seed, loaded, failure, why))
    return failure == bt_failure_seed_invalid ? "refused: " + why : "unreadable";
  std::string answer = "usable:";
  for (const layout_file& file : loaded.layout.files()) answer += " " + file.path + (file.pad ? " (pad)" : "") + ",";
  return answer;
}

class SeedNaming : public ::testing::Test {
 protected:
  // Both answers for the seed `content`; they must agree.
  std::string answer(const std::string& content) {
    const std::string seed = dir_.write("row.torrent", content);
    return agreed(seed);
  }
  std::string agreed(const std::string& seed) {
    const std::string shell = shell_answer(seed), kernel = kernel_answer(seed);
    EXPECT_TRUE(shell == kernel) << "shell: " << shell.substr(0, 400) << "\nkernel: " << kernel.substr(0, 400);
    return shell.substr(0, 400);
  }
  temp_dir dir_;
};

std::string attr_entry(const std::string& attr, const std::vector<std::string>& path, long long length = 1) {
  std::string s = "d4:attr" + bstr(attr) + "6:lengthi" + std::to_string(length) + "e4:pathl";
  for (const auto& component : path) s += bstr(component);
  return s + "ee";
}

TEST_F(SeedNaming, HostileSeedsGetOneAnswer) {
  const std::string single = "d4:infod6:lengthi5e4:name5:a.txt" + kPiece + kOnePiece + "ee";
  // Empty lists nested under the root's "x" up to the depth limit, and
  // beside "info" up to the item limit (2 items for each of the five
  // dictionary entries, one for each list).
  constexpr std::size_t kDeepest = kSeedMaxDepth - 1;
  constexpr std::size_t kMostLists = kSeedMaxItems - 12;
  const struct {
    const char* what;
    std::string seed;
    std::string answer;
  } rows[] = {
      {"a single file", single, "usable: a.txt,"},
      {"folders inside the torrent, not its name", with_files(file_entry({"x", "y.txt"}) + file_entry({"z"})),
       "usable: x/y.txt, z,"},
      {"unsafe characters become A", with_files(file_entry({"a:b", "c?d*e<f>g|h\"i\\j/k"})),
       "usable: aAb/cAdAeAfAgAhAiAjAk,"},
      {"bytes as stored, path.utf-8 preferred",
       with_files("d6:lengthi1e4:pathl1:ae10:path.utf-8l4:d\xC3\xA9j1:\xE9" "ee"), "usable: d\xC3\xA9j/\xE9,"},
      {"padding named, never checked against other names",
       with_files(file_entry({"a"}) + attr_entry("p", {".pad", "1"}) + attr_entry("p", {".pad", "1"}) +
                  file_entry({"b"})),
       "usable: a, .pad/1 (pad), .pad/1 (pad), b,"},
      {"a padding file in the older form", with_files(file_entry({"a"}) + file_entry({"_____padding_file_0"})),
       "usable: a, _____padding_file_0 (pad),"},
      {"parent folder", with_files(file_entry({"..", "outside.txt"})),
       "refused: file 0 has no path of strings without an empty, \".\" or \"..\" component or a NUL byte"},
      {"this folder", with_files(file_entry({".", "a"})),
       "refused: file 0 has no path of strings without an empty, \".\" or \"..\" component or a NUL byte"},
      {"empty component", with_files(file_entry({"", "etc"})),
       "refused: file 0 has no path of strings without an empty, \".\" or \"..\" component or a NUL byte"},
      {"NUL byte", with_files(file_entry({std::string("..\0x", 4)})),
       "refused: file 0 has no path of strings without an empty, \".\" or \"..\" component or a NUL byte"},
      {"empty path list", with_files(file_entry({})),
       "refused: file 0 has no path of strings without an empty, \".\" or \"..\" component or a NUL byte"},
      {"no path", with_files("d6:lengthi1ee"), "refused: file 0 has no path"},
      {"a component that is no string", with_files("d6:lengthi1e4:pathli1eee"),
       "refused: file 0 has no path of strings without an empty, \".\" or \"..\" component or a NUL byte"},
      {"an entry that is no dictionary", with_files("i7e"), "refused: file 0 is not a dictionary"},
      {"two names that clean to one", with_files(file_entry({"a:"}) + file_entry({"aA"})),
       "refused: two files have the path aA"},
      {"x and x.bt.td", with_files(file_entry({"x"}) + file_entry({"x.bt.td"})),
       "refused: the path x.bt.td is another file's in-progress name"},
      {"a file that is another's folder", with_files(file_entry({"d", "f"}) + file_entry({"d"})),
       "refused: the path d is a file and a folder of d/f"},
      {"a folder that is another's in-progress name", with_files(file_entry({"d"}) + file_entry({"d.bt.td", "f"})),
       "refused: the folder d.bt.td of d.bt.td/f is another file's in-progress name"},
      {"a symbolic link", with_files(file_entry({"a"}) + attr_entry("l", {"b"}, 0)),
       "refused: the seed holds a symbolic link, which is not made (file 1)"},
      {"negative length", with_files(file_entry({"a"}) + file_entry({"b"}, -45)),
       "refused: file 1 has no integer length of 0 or more"},
      {"length that is no integer", with_files("d6:length1:14:pathl1:aee"),
       "refused: file 0 has no integer length of 0 or more"},
      {"a file too long for the kernel", with_files(file_entry({"a"}, 1073741823LL * 16384)),
       "refused: file 0 is longer than 17592186028031 bytes"},
      {"v2 only", "d4:infod9:file treed1:ad0:d6:lengthi1e11:pieces root32:" + std::string(32, 'r') +
                      "eee12:meta versioni2e4:name1:a" + kPiece + "ee",
       "refused: the seed has no v1 file list (BitTorrent v2 only)"},
      {"a file tree without meta version", with_files(file_entry({"a"}), "9:file treede"),
       "refused: the seed has a file tree but no meta version 2"},
      {"an unknown meta version", "d4:infod6:lengthi5e12:meta versioni3e4:name1:a" + kPiece + kOnePiece + "ee",
       "refused: the seed's meta version 3 is unknown"},
      {"no file list", "d4:infod4:name1:a" + kPiece + kOnePiece + "ee",
       "refused: the seed has no v1 file list (BitTorrent v2 only)"},
      {"length and files", "d4:infod5:filesl" + file_entry({"a"}) + "e6:lengthi1e4:name1:a" + kPiece + kOnePiece +
                               "ee",
       "refused: the seed has both a single file's length and a file list"},
      {"no files", with_files(""), "refused: the seed lists no files"},
      {"files of no bytes", "d4:infod5:filesl" + file_entry({"a"}, 0) + "e4:name1:a" + kPiece + "6:pieces0:ee",
       "refused: the seed's files hold no bytes"},
      {"no piece length", "d4:infod6:lengthi5e4:name1:a" + kOnePiece + "ee", "refused: the seed has no usable piece length"},
      {"no pieces", "d4:infod6:lengthi5e4:name1:a" + kPiece + "ee", "refused: the seed has no piece hashes"},
      {"pieces of the wrong size", "d4:infod6:lengthi99999e4:name1:a" + kPiece + kOnePiece + "ee",
       "refused: the seed's piece hashes (20 bytes) are not 20 bytes for each of its 7 pieces"},
      {"no name", "d4:infod6:lengthi5e" + kPiece + kOnePiece + "ee", "refused: the seed has no name"},
      {"single name ..", "d4:infod6:lengthi5e4:name2:.." + kPiece + kOnePiece + "ee",
       "refused: the seed's name is empty, \".\" or \"..\", or holds a NUL byte"},
      {"single name of separators", "d4:infod6:lengthi5e4:name3:/\\/" + kPiece + kOnePiece + "ee",
       "refused: the seed's name is empty, \".\" or \"..\", or holds a NUL byte"},
      {"a repeated key", "d4:infod6:lengthi5e6:lengthi6e4:name1:a" + kPiece + kOnePiece + "ee",
       "refused: a dictionary of the seed holds the key \"length\" twice"},
      {"non-canonical forms: keys out of order, leading zeros",
       "d4:infod4:name1:a6:lengthi05e" + kPiece + "06:pieces20:" + std::string(20, 'h') + "ee", "usable: a,"},
      {"info that is a list", "d4:infoli1eee", "refused: the seed has no info dictionary"},
      {"no info", "d1:xi1ee", "refused: the seed has no info dictionary"},
      {"not bencode", "d4:info", "refused: the seed is not valid bencode"},
      {"a list at the top", "l4:infod6:lengthi1e4:name1:aee", "refused: the seed is not valid bencode"},
      {"string length 4294967300", "d4:infod4:name4294967300:aee", "refused: the seed is not valid bencode"},
      {"string length 99999999999", "d4:infod4:name99999999999:aee", "refused: the seed is not valid bencode"},
      {"negative string length", "d4:infod4:name-1:aee", "refused: the seed is not valid bencode"},
      {"a 10 MB name", "d4:infod6:lengthi5e4:name10485760:" + std::string(10485760, 'n') + kPiece + kOnePiece + "ee",
       "usable: " + std::string(392, 'n')},
      // libtorrent's own limits (2^21 pieces, 100 levels, 3,000,000 tokens)
      // are below the shell's.
      {"more pieces than libtorrent takes by default",
       "d4:infod6:lengthi" + std::to_string(2100000LL * 16384) + "e4:name1:a" + kPiece + "6:pieces" +
           std::to_string(2100000 * 20) + ":" + std::string(2100000 * 20, 'h') + "ee",
       "usable: a,"},
      {"nesting at the limit", "d1:x" + repeat("l", kDeepest) + repeat("e", kDeepest) + single.substr(1), "usable: a.txt,"},
      {"one level more", "d1:x" + repeat("l", kDeepest + 1) + repeat("e", kDeepest + 1) + single.substr(1),
       "refused: the seed nests lists and dictionaries deeper than 512 levels"},
      {"250,001 files", with_files(repeat(file_entry({"x"}, 0), kSeedMaxFiles + 1)),
       "refused: the seed lists 250001 files, more than 250000"},
      // Empty lists: the most tokens an item takes.
      {"items at the limit", "d1:xl" + repeat("le", kMostLists) + "e" + single.substr(1), "usable: a.txt,"},
      {"one item more", "d1:xl" + repeat("le", kMostLists + 1) + "e" + single.substr(1),
       "refused: the seed holds more than 4000000 items"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(answer(row.seed), row.answer);
  }
}

// At the file limit both sides still name every file.
TEST_F(SeedNaming, TheLimitsAreTheSame) {
  std::string entries;
  for (std::size_t i = 0; i < kSeedMaxFiles; ++i) entries += file_entry({"f" + std::to_string(i)}, i == 0 ? 1 : 0);
  EXPECT_EQ(answer(with_files(entries)).compare(0, 11, "usable: f0,"), 0);
}

// Hybrid seeds (meta version 2) whose v2 part libtorrent finds broken or
// laid out otherwise than the v1 list: the rule reads the v1 list only, so
// the kernel alone refuses them (docs/robustness.md, "Hostile seeds").
const std::set<std::string> kKernelOnlyRefusals = {"empty-files-2.torrent", "v2_invalid_file.torrent",
                                                   "v2_mismatching_metadata.torrent"};

TEST_F(SeedNaming, CorpusSeedsGetOneAnswer) {
  int usable = 0;
  for (const auto& entry : std::filesystem::directory_iterator(BTS_CORPUS_DIR)) {
    if (entry.path().extension() != ".torrent") continue;
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    if (kKernelOnlyRefusals.count(name) != 0) {
      EXPECT_EQ(shell_answer(entry.path().string()).compare(0, 7, "usable:"), 0);
      EXPECT_EQ(kernel_answer(entry.path().string()).compare(0, 17, "refused: libtorre"), 0);
      continue;
    }
    usable += agreed(entry.path().string()).compare(0, 7, "usable:") == 0;
  }
  EXPECT_GT(usable, 10);
}

}  // namespace
