// Seed-file requests on the four generated seeds: the parser's part alone,
// ParseSeedFile and GetDataFileList through the loaded module, the floor
// (reading the file + SHA-1 over the stored info bytes) and, when it is
// installed, libtorrent-rasterbar's torrent_info on the same file. After the
// table, each row's time as a ratio to torrent_info's in the same run.
//
//   make bench && build-bench/bench/torrent_bench --benchmark_repetitions=9
#include <benchmark/benchmark.h>
#include <log4cplus/initializer.h>
#include <openssl/evp.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench_common.h"
#include "bencode/bc_node.h"
#include "common/charset_analyser.h"
#include "platform/com_ptr.h"

#ifdef BTS_HAVE_LIBTORRENT
#include <libtorrent/torrent_info.hpp>
#endif

namespace {

const char* const kSeeds[] = {"single_700MiB", "nested_10k", "single_200GiB", "flat_100k"};
const char kPeerRow[] = "libtorrent";
const char kFloorRow[] = "floor_large_pages";

std::string seed_path(const std::string& seed) { return std::string(BTS_SEED_DIR) + "/" + seed + ".torrent"; }

// The loaded module, and the data folders of the GetDataFileList rows (laid
// out on first use in a temporary folder, removed with the fixture).
struct module_fixture {
  bts_bench::module_session session;
  std::string root;
  std::map<std::string, std::string> data_folders;

  module_fixture() {
    std::string pattern = (std::filesystem::temp_directory_path() / "bts_bench_XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) root = pattern;
  }
  ~module_fixture() {
    std::error_code ignored;
    if (!root.empty()) std::filesystem::remove_all(root, ignored);
  }
  const std::string& data_folder(const std::string& seed) {
    std::string& folder = data_folders[seed];
    if (folder.empty() && session.shell() && !root.empty())
      folder = bts_bench::lay_out_data_folder(*session.shell(), seed_path(seed), root);
    return folder;
  }
};

// Made by main() before the runs and destroyed before logging ends.
module_fixture* g_module = nullptr;

module_fixture& module() { return *g_module; }

// Offset and size of the "info" value as stored in the file.
bool locate_info(const std::string& path, std::size_t& offset, std::size_t& size) {
  const auto file = bts_bench::read_file(path, true);
  bc_document doc;
  if (file.size == 0 || doc.parse(file.data(), static_cast<int>(file.size)) < 0) return false;
  const std::string_view info = doc.root().find("info").raw();
  offset = static_cast<std::size_t>(info.data() - file.data());
  size = info.size();
  return size != 0;
}

void parser(benchmark::State& state, const std::string& seed) {
  const std::string path = seed_path(seed);
  std::size_t files = 0;
  for (auto _ : state) {
    files = bts_bench::parser_path(path);
    if (files == 0) {
      state.SkipWithError("the seed did not load");
      break;
    }
  }
  state.counters["files"] = static_cast<double>(files);
}

// ParseSeedFile and ReleaseSeedFileInfo through the module.
void parse_seed_file(benchmark::State& state, const std::string& seed) {
  IBitTorrent2* shell = module().session.shell();
  if (shell == nullptr) {
    state.SkipWithError("the module did not load");
    return;
  }
  const std::string path = seed_path(seed);
  long files = 0;
  for (auto _ : state) {
    files = bts_bench::parse_seed_file(*shell, path);
    if (files < 0) {
      state.SkipWithError("ParseSeedFile refused the seed");
      break;
    }
  }
  state.counters["files"] = static_cast<double>(files);
}

// GetDataFileList and ReleaseDataFileList through the module, on a data
// folder that holds every file of the seed.
void get_data_file_list(benchmark::State& state, const std::string& seed) {
  IBitTorrent2* shell = module().session.shell();
  const std::string folder = shell ? module().data_folder(seed) : std::string();
  if (folder.empty()) {
    state.SkipWithError("no module or no data folder");
    return;
  }
  const std::string path = seed_path(seed);
  ULONG found = 0;
  for (auto _ : state) {
    DATA_FILE_LIST* list = nullptr;
    if (shell->GetDataFileList(to_tag_string(folder), to_tag_string(path), &list) != 0) {
      state.SkipWithError("GetDataFileList failed");
      break;
    }
    found = list->count;
    shell->ReleaseDataFileList(list);
  }
  state.counters["found"] = static_cast<double>(found);
}

// The floor: read the file into one buffer, SHA-1 over the stored info
// bytes. With `large_pages` the buffer gets the same large-page advice the
// parser gives its read buffer.
void floor_read_and_sha1(benchmark::State& state, const std::string& seed, bool large_pages) {
  const std::string path = seed_path(seed);
  std::size_t offset = 0, size = 0;
  if (!locate_info(path, offset, size)) {
    state.SkipWithError("no info dictionary");
    return;
  }
  for (auto _ : state) {
    const auto file = bts_bench::read_file(path, large_pages);
    unsigned char digest[20];
    unsigned int n = 0;
    EVP_Digest(file.data() + offset, size, digest, &n, EVP_sha1(), nullptr);
    benchmark::DoNotOptimize(digest);
  }
}

#ifdef BTS_HAVE_LIBTORRENT
void libtorrent_torrent_info(benchmark::State& state, const std::string& seed) {
  const std::string path = seed_path(seed);
  lt::load_torrent_limits limits;
  limits.max_buffer_size = 1 << 30;
  limits.max_pieces = 1 << 26;
  limits.max_decode_tokens = 1 << 26;
  for (auto _ : state) {
    // Read as the parser reads.
    const auto file = bts_bench::read_file(path, true);
    lt::error_code ec;
    lt::torrent_info info(lt::span<char const>(file.data(), static_cast<std::ptrdiff_t>(file.size)), limits,
                          lt::from_span);
    benchmark::DoNotOptimize(info.info_hashes());
    state.counters["files"] = static_cast<double>(info.num_files());
  }
}
#endif

// The console table, then each row's wall time as a ratio to the peer's on
// the same seed, and to the floor's: the median of the repetitions, and
// their minimum in brackets (with one repetition both are that run's time).
class ratio_reporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      times& t = times_[run.run_name.function_name];
      const double time = run.GetAdjustedRealTime();
      if (run.run_type == Run::RT_Iteration) {
        t.single = time;
        t.min = t.min > 0 ? std::min(t.min, time) : time;
      } else if (run.aggregate_name == "median") {
        t.median = time;
      } else if (run.aggregate_name == "min") {
        t.min = time;
      }
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    print_ratios(kPeerRow, "torrent_info's", {"parser", "ParseSeedFile", "GetDataFileList", kFloorRow});
    print_ratios(kFloorRow, "the floor's (read + SHA-1)", {"parser", "ParseSeedFile"});
  }

 private:
  struct times {
    double single = 0, median = 0, min = 0;
    double mid() const { return median > 0 ? median : single; }
  };
  const times* find(const std::string& row, const std::string& seed) const {
    auto it = times_.find(row + "/" + seed);
    return it == times_.end() || it->second.min <= 0 ? nullptr : &it->second;
  }
  void print_ratios(const char* base, const char* what, const std::vector<const char*>& rows) const {
    std::printf("\nWall time over %s on the same seed: median (min)\n%-15s", what, "seed");
    for (const char* row : rows) std::printf("%-19s", row);
    std::printf("\n");
    for (const char* seed : kSeeds) {
      const times* b = find(base, seed);
      if (b == nullptr) continue;
      std::printf("%-15s", seed);
      for (const char* row : rows) {
        const times* t = find(row, seed);
        char cell[32] = "-";
        if (t != nullptr) std::snprintf(cell, sizeof cell, "%.3f (%.3f)", t->mid() / b->mid(), t->min / b->min);
        std::printf("%-19s", cell);
      }
      std::printf("\n");
    }
  }
  std::map<std::string, times> times_;
};

// Registers `fn` with the settings every row shares; with repetitions the
// minimum is reported beside the mean and the median (the machine is shared,
// and the minimum is the least disturbed run).
template <class Fn>
void add(const std::string& name, Fn fn, const std::string& seed) {
  benchmark::RegisterBenchmark(name.c_str(), fn, seed)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
}

}  // namespace

int main(int argc, char** argv) {
  log4cplus::Initializer initializer;
  bts_bench::log_as_a_host();
  // The parser rows run in this process: the host's MLang stand-in attached
  // as the plugin's Init does (the module attaches its own).
  auto detector = com_ptr<IMultiLanguage2>::adopt(platform::create_builtin_mlang());
  charset_analyser::init(detector.get());

  for (const char* seed : kSeeds) {
    const std::string s = seed;
    add("parser/" + s, parser, s);
    add("ParseSeedFile/" + s, parse_seed_file, s);
    add("GetDataFileList/" + s, get_data_file_list, s);
#ifdef BTS_HAVE_LIBTORRENT
    add(std::string(kPeerRow) + "/" + s, libtorrent_torrent_info, s);
#endif
    add("floor_large_pages/" + s,
        [](benchmark::State& st, const std::string& seed) { floor_read_and_sha1(st, seed, true); }, s);
    // Last: its fresh small pages leave memory fragmented for a while, which
    // slows the large pages of the rows after it.
    add("floor/" + s, [](benchmark::State& st, const std::string& seed) { floor_read_and_sha1(st, seed, false); }, s);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  auto fixture = std::make_unique<module_fixture>();
  g_module = fixture.get();
  ratio_reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  g_module = nullptr;
  fixture.reset();
  charset_analyser::uninit();
  return 0;
}
