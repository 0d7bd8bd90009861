// The shell's seed-file path on the four generated seeds, beside the floor
// (reading the file + SHA-1 over the stored info bytes) and, when it is
// installed, libtorrent-rasterbar's torrent_info on the same file.
//
//   make bench && build-bench/bench/torrent_bench
#include <benchmark/benchmark.h>
#include <log4cplus/initializer.h>
#include <log4cplus/logger.h>
#include <log4cplus/nullappender.h>
#include <openssl/evp.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "bench_common.h"
#include "bencode/bc_factory.h"
#include "bencode/large_buffer.h"
#include "common/charset_analyser.h"
#include "platform/com_ptr.h"

#ifdef BTS_HAVE_LIBTORRENT
#include <libtorrent/torrent_info.hpp>
#endif

namespace {

const char* const kSeeds[] = {"single_700MiB", "nested_10k", "single_200GiB", "flat_100k"};

std::string seed_path(const std::string& seed) { return std::string(BTS_SEED_DIR) + "/" + seed + ".torrent"; }

// Offset and size of the "info" value as stored in the file.
bool locate_info(const std::string& path, std::size_t& offset, std::size_t& size) {
  const auto file = bts_bench::read_file(path);
  const std::string key = "4:info";
  const std::string_view text(file.data.get(), file.size);
  for (std::size_t at = text.find(key); at != std::string_view::npos; at = text.find(key, at + 1)) {
    const char* start = file.data.get() + at + key.size();
    CQBCObj* value = nullptr;
    const int n = bc_create_object(start, static_cast<int>(file.size - (at + key.size())), &value);
    std::unique_ptr<CQBCObj> owner(value);
    if (n > 0 && value->type() == CQBCObj::BC_DICT) {
      offset = at + key.size();
      size = static_cast<std::size_t>(n);
      return true;
    }
  }
  return false;
}

void shell(benchmark::State& state, const std::string& seed) {
  const std::string path = seed_path(seed);
  std::size_t files = 0;
  for (auto _ : state) {
    files = bts_bench::shell_path(path);
    if (files == 0) {
      state.SkipWithError("the seed did not load");
      break;
    }
  }
  state.counters["files"] = static_cast<double>(files);
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
    EVP_Digest(file.data.get() + offset, size, digest, &n, EVP_sha1(), nullptr);
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
    const auto file = bts_bench::read_file(path);
    lt::error_code ec;
    lt::torrent_info info(lt::span<char const>(file.data.get(), static_cast<std::ptrdiff_t>(file.size)), limits,
                          lt::from_span);
    benchmark::DoNotOptimize(info.info_hashes());
    state.counters["files"] = static_cast<double>(info.num_files());
  }
}
#endif

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
  // Configured as a host would run it: warnings and errors only.
  log4cplus::Logger::getRoot().setLogLevel(log4cplus::WARN_LOG_LEVEL);
  log4cplus::Logger::getRoot().addAppender(log4cplus::SharedAppenderPtr(new log4cplus::NullAppender));
  // The host's MLang stand-in, attached as the plugin's Init does.
  auto detector = com_ptr<IMultiLanguage2>::adopt(platform::create_builtin_mlang());
  charset_analyser::init(detector.get());

  for (const char* seed : kSeeds) {
    const std::string s = seed;
    add("shell/" + s, shell, s);
    add("floor/" + s, [](benchmark::State& st, const std::string& seed) { floor_read_and_sha1(st, seed, false); }, s);
    add("floor_large_pages/" + s,
        [](benchmark::State& st, const std::string& seed) { floor_read_and_sha1(st, seed, true); }, s);
#ifdef BTS_HAVE_LIBTORRENT
    add("libtorrent/" + s, libtorrent_torrent_info, s);
#endif
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  charset_analyser::uninit();
  return 0;
}
