// Peak resident memory of the shell's seed-file path on one seed, against
// the seed's size.
//
//   torrent_peak_memory bench/seeds/single_200GiB.torrent
#include <log4cplus/initializer.h>
#include <log4cplus/logger.h>
#include <log4cplus/nullappender.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstdio>

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
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <seed file>\n", argv[0]);
    return 2;
  }
  log4cplus::Initializer initializer;
  log4cplus::Logger::getRoot().setLogLevel(log4cplus::WARN_LOG_LEVEL);
  log4cplus::Logger::getRoot().addAppender(log4cplus::SharedAppenderPtr(new log4cplus::NullAppender));
  auto detector = com_ptr<IMultiLanguage2>::adopt(platform::create_builtin_mlang());
  charset_analyser::init(detector.get());

  struct stat st {};
  if (stat(argv[1], &st) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  const long before = peak_kib();
  const std::size_t files = bts_bench::shell_path(argv[1]);
  const long after = peak_kib();
  charset_analyser::uninit();
  if (files == 0) {
    std::fprintf(stderr, "%s: the seed did not load\n", argv[1]);
    return 1;
  }
  const double size_kib = static_cast<double>(st.st_size) / 1024.0;
  std::printf("seed: %s\nsize: %.0f KiB\npeak RSS before: %ld KiB\npeak RSS after: %ld KiB\n"
              "peak / size: %.2f\n",
              argv[1], size_kib, before, after, static_cast<double>(after) / size_kib);
  return 0;
}
