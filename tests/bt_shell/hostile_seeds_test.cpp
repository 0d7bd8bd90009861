// Hostile seeds through the shell's seed services (ParseSeedFile,
// GetDataFileList, NotifyHubBtDeleted): the exact answer of each, no record
// left half made, nothing leaked (the sanitizer build checks that) and, in
// the plain build, peak memory within the bound documented in
// docs/robustness.md. Big seeds are generated at test time.
#include <gtest/gtest.h>
#include <malloc.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "bencode/bc_document.h"
#include "bt_shell/seed_files.h"
#include "support/log_capture.h"
#include "support/seed_text.h"
#include "tests/bt_shell/shell_fixture.h"

namespace {

using namespace bts_test;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kMeasureMemory = false;  // the sanitizers' own memory would count
#else
constexpr bool kMeasureMemory = true;
#endif

// The documented bound of one call's peak, in MiB: the seed's size, 48 bytes
// per decoded item and 1.5 KiB per file listed, with 16 MiB for the rest.
double documented_peak_mib(double seed_bytes, double items, double files) {
  return (seed_bytes + 48 * items + 1.5 * 1024 * files) / (1024.0 * 1024.0) + 16;
}

long status_kib(const std::string& field) {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);)
    if (line.compare(0, field.size() + 1, field + ":") == 0) return std::stol(line.substr(field.size() + 1));
  return -1;
}

// Growth of the resident set at its peak over `call`, in MiB (the peak is
// reset first); 0 where the system cannot reset it.
double peak_growth_mib(const std::function<void()>& call) {
  malloc_trim(0);
  std::ofstream("/proc/self/clear_refs") << "5";
  const long before = status_kib("VmRSS");
  const bool reset = status_kib("VmHWM") <= before + 1024;
  call();
  return reset ? static_cast<double>(status_kib("VmHWM") - before) / 1024.0 : 0;
}

// What the three services answer. Paths are given after the data folder;
// one anywhere else is marked "elsewhere: ".
struct answers {
  int info = 0;                 // ParseSeedFile's result,
  ULONG files = 0;              // its file count,
  std::string error;            // and its ERROR lines (expected: a part of the one line)
  int data = 0;                 // GetDataFileList's result
  std::vector<std::string> listed;
  int hub = 0;                  // NotifyHubBtDeleted's result
  std::vector<std::string> notices;
};

struct hostile_seed {
  std::string what;
  std::function<void(std::ostream&)> write;  // none: there is no seed file
  answers expected;
  double peak_mib = 0;  // the bound of the three calls' peak, when measured
};

class HostileSeeds : public shell_fixture {
 protected:
  void SetUp() override {
    shell_fixture::SetUp();
    host_->register_hub();
    // A file that a seed names and a folder that a file entry may be named
    // after.
    data_ = dir_.make_dirs("data/");
    dir_.make_dirs("data/sub");
    dir_.write("data/a.txt", "a");
  }

  std::string inside(const std::string& path) const {
    return path.compare(0, data_.size(), data_) == 0 ? path.substr(data_.size()) : "elsewhere: " + path;
  }

  // Runs the three services on `seed`. A failed call hands out nothing.
  answers run(const std::string& seed) {
    answers got;
    log_capture cap;
    SEED_FILE_INFO* info = reinterpret_cast<SEED_FILE_INFO*>(1);
    got.info = shell_->ParseSeedFile(text(seed), &info);
    EXPECT_EQ(info == nullptr, got.info != 0);
    if (got.info == 0 && info != nullptr) {
      got.files = info->file_count;
      EXPECT_EQ(info->files == nullptr, info->file_count == 0);
      EXPECT_EQ(info->trackers == nullptr, info->tracker_count == 0);
      shell_->ReleaseSeedFileInfo(info);
    }
    for (const auto& line : cap.texts("CBtShell", log4cplus::ERROR_LOG_LEVEL))
      got.error += (got.error.empty() ? "" : "\n") + line;

    DATA_FILE_LIST* list = reinterpret_cast<DATA_FILE_LIST*>(1);
    got.data = shell_->GetDataFileList(text(data_), text(seed), &list);
    EXPECT_EQ(list == nullptr, got.data != 0);
    EXPECT_TRUE(list == nullptr || list->items != nullptr);
    for (ULONG i = 0; list != nullptr && i < list->count; ++i) {
      const DATA_FILE_ITEM& item = list->items[i];
      got.listed.push_back(inside(std::string(item.folder, item.folder_len) + std::string(item.name, item.name_len)));
    }
    shell_->ReleaseDataFileList(list);

    host_->notices.clear();
    got.hub = shell_->NotifyHubBtDeleted(text(data_), text(seed));
    for (const auto& path : host_->notices) got.notices.push_back(inside(path));
    return got;
  }

  void check(const hostile_seed& row) {
    SCOPED_TRACE(row.what);
    const std::string seed = dir_.file("hostile.torrent");
    if (row.write) {
      std::ofstream out(seed, std::ios::binary | std::ios::trunc);
      row.write(out);
      ASSERT_TRUE(out.good());
    }
    answers got;
    const double peak = peak_growth_mib([&] { got = run(seed); });
    if (kMeasureMemory && row.peak_mib > 0) {
      EXPECT_LE(peak, row.peak_mib);
    }
    const answers& want = row.expected;
    EXPECT_EQ(std::tie(got.info, got.files, got.data, got.listed, got.hub, got.notices),
              std::tie(want.info, want.files, want.data, want.listed, want.hub, want.notices));
    EXPECT_EQ(got.error.empty(), want.error.empty());
    EXPECT_TRUE(got.error.find(want.error) != std::string::npos && got.error.find('\n') == std::string::npos)
        << got.error;
    std::filesystem::remove(seed);
  }

  std::string data_;
};

const answers kUndecodable{-24, 0, "parse error: the seed is not valid bencode", -24, {}, -24, {}};

// Refused by each service, with the ERROR line naming the reason.
answers refused(const std::string& why) { return {-24, 0, why, -24, {}, -24, {}}; }

std::function<void(std::ostream&)> bytes(const std::string& content) {
  return [content](std::ostream& out) { out << content; };
}

// What the naming rule refuses, and why, is the table of
// tests/naming/seed_naming_test.cpp; here each service's answer, and memory.
TEST_F(HostileSeeds, EachHasItsExactAnswer) {
  const std::vector<hostile_seed> rows = {
      {"no such file", nullptr, {-13, 0, "cannot be read", -13, {}, -13, {}}},
      {"empty file", bytes(""), kUndecodable},
      // Two items to an entry: 2,000,000 entries "0:i0e" beside "info".
      {"more items than a parse takes", bytes("d1:xd" + repeat("0:i0e", kBencodeMaxItems / 2) + "e" + "4:info" +
                                             with_files(file_entry({"a.txt"})).substr(7)),
       refused("parse error: the seed holds more than 4000000 items"),
       documented_peak_mib(2.5 * kBencodeMaxItems, kBencodeMaxItems, 0)},
      {"a file named after a folder", bytes(with_files(file_entry({"sub"}))), {0, 1, "", 0, {}, 0, {"sub"}}},
      {"a 10 MB name",
       [](std::ostream& out) {
         out << "d4:infod6:lengthi1e4:name10485760:" << std::string(10485760, 'n') << kPiece << kOnePiece << "ee";
       },
       {-4, 0, "title is too long len: 10485760", 0, {}, 0, {std::string(10485760, 'n')}}},
      // At the file limit each entry is looked at; one more refuses the seed
      // before a single entry is.
      {"250,000 empty file entries", bytes(with_files(repeat("le", kSeedMaxFiles))),
       refused("refused: file 0 is not a dictionary"),
       documented_peak_mib(2.0 * kSeedMaxFiles, kSeedMaxFiles, kSeedMaxFiles)},
      {"1,000,000 empty file entries", bytes(with_files(repeat("le", 1000000))),
       refused("refused: the seed lists 1000000 files, more than 250000"), documented_peak_mib(2e6, 1e6, 0)},
      {"250,000 files", bytes(with_files(repeat(file_entry({"x"}, 0), kSeedMaxFiles - 1) + file_entry({"a.txt"}))),
       refused("refused: two files have the path x"), documented_peak_mib(6e6, 1.75e6, kSeedMaxFiles)},
      {"a 300 MB seed",
       [](std::ostream& out) {
         const std::size_t pieces = 15000000;
         out << "d4:infod6:lengthi245760000000e4:name5:a.txt12:piece lengthi16384e6:pieces" << pieces * 20 << ":";
         const std::string chunk(20 * 50000, '\x5A');
         for (std::size_t i = 0; i < pieces / 50000; ++i) out << chunk;
         out << "ee";
       },
       {0, 1, "", 0, {"a.txt"}, 0, {"a.txt"}}, documented_peak_mib(300e6, 10, 1)},
  };
  for (const auto& row : rows) check(row);
}

// Every truncation of a real seed is refused by each service.
TEST_F(HostileSeeds, EveryTruncationOfARealSeedIsUndecodable) {
  std::ifstream in(std::string(BTS_CORPUS_DIR) + "/sample.torrent", std::ios::binary);
  const std::string seed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(seed.size(), 400u);
  for (std::size_t n = 1; n < seed.size(); ++n) check({std::to_string(n) + " bytes", bytes(seed.substr(0, n)), kUndecodable});
}

// Whatever a corpus seed holds, every service answers it, and no listed file
// or hub notice names the data folder itself or anything outside it.
TEST_F(HostileSeeds, CorpusSeedsStayInsideTheDataFolder) {
  int parsed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(BTS_CORPUS_DIR)) {
    if (entry.path().extension() != ".torrent") continue;
    SCOPED_TRACE(entry.path().filename().string());
    answers got = run(entry.path().string());
    EXPECT_TRUE(got.info == 0 || got.info == -4 || got.info == -24) << got.info;
    // A seed the rule refuses is refused by every service.
    EXPECT_EQ(got.info == -24, got.data == -24);
    EXPECT_EQ(got.data, got.hub);
    parsed += got.info == 0;
    got.listed.insert(got.listed.end(), got.notices.begin(), got.notices.end());
    for (const auto& path : got.listed) {
      const std::string components = "/" + path + "/";
      EXPECT_TRUE(!path.empty() && path.find("elsewhere: ") != 0 && components.find("/../") == std::string::npos &&
                  components.find("/./") == std::string::npos && path.find('\0') == std::string::npos)
          << path;
    }
  }
  EXPECT_GT(parsed, 10);
}

}  // namespace
