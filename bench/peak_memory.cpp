// Peak resident memory of one seed-file request, against the seed's size:
// the parser's part alone, or ParseSeedFile through the loaded module (the
// record included, released at the end).
//
//   torrent_peak_memory [--module] bench/seeds/single_200GiB.torrent
#include <log4cplus/initializer.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "bench_common.h"
#include "common/charset_analyser.h"
#include "platform/com_ptr.h"

namespace {

long peak_kib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  const bool through_module = argc == 3 && std::strcmp(argv[1], "--module") == 0;
  if (argc != 2 && !through_module) {
    std::fprintf(stderr, "usage: %s [--module] <seed file>\n", argv[0]);
    return 2;
  }
  const char* seed = argv[argc - 1];
  log4cplus::Initializer initializer;
  bts_bench::log_as_a_host();
  auto detector = com_ptr<IMultiLanguage2>::adopt(platform::create_builtin_mlang());
  charset_analyser::init(detector.get());

  struct stat st {};
  if (stat(seed, &st) != 0) {
    std::perror(seed);
    return 1;
  }
  long before = 0, after = 0, files = 0;
  if (through_module) {
    bts_bench::module_session session;
    before = peak_kib();
    files = session.shell() ? bts_bench::parse_seed_file(*session.shell(), seed) : -1;
    after = peak_kib();
  } else {
    before = peak_kib();
    files = static_cast<long>(bts_bench::parser_path(seed));
    after = peak_kib();
  }
  charset_analyser::uninit();
  if (files <= 0) {
    std::fprintf(stderr, "%s: the seed did not load\n", seed);
    return 1;
  }
  const double size_kib = static_cast<double>(st.st_size) / 1024.0;
  std::printf("seed: %s (%s)\nsize: %.0f KiB\npeak RSS before: %ld KiB\npeak RSS after: %ld KiB\n"
              "peak / size: %.2f\n",
              seed, through_module ? "ParseSeedFile through the module" : "the parser alone", size_kib, before,
              after, static_cast<double>(after) / size_kib);
  return 0;
}
