// A plain BitTorrent client on libtorrent, for the transfer benchmark: one
// session configured exactly as the kernel module configures its own (the
// same bt_kernel.ini, read by the kernel's own reader), one torrent, nothing
// else: no shell, no proxy, no task object, no resume state.
//
//   bench_lt_client SETTINGS download SEED FOLDER
//       downloads into FOLDER; ends once every piece is verified (exit 0)
//   bench_lt_client SETTINGS seed SEED FOLDER
//       seeds the data in FOLDER until SIGINT or SIGTERM (exit 0)
//
// Exit 1 when the torrent cannot be added or fails, 2 for a wrong command line.
#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/alert_types.hpp>
#include <libtorrent/session.hpp>
#include <libtorrent/session_params.hpp>
#include <libtorrent/torrent_flags.hpp>
#include <libtorrent/torrent_info.hpp>

#include <log4cplus/initializer.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "kernel/kernel_settings.h"

namespace {

std::atomic<int> g_signal{0};

void note_signal(int number) { g_signal = number; }

}  // namespace

int main(int argc, char** argv) {
  log4cplus::Initializer logging;
  const std::string mode = argc == 5 ? argv[2] : "";
  if (mode != "download" && mode != "seed") {
    std::fprintf(stderr, "usage: %s SETTINGS download|seed SEED FOLDER\n", argv[0]);
    return 2;
  }
  const bool seeding = mode == "seed";
  std::signal(SIGINT, note_signal);
  std::signal(SIGTERM, note_signal);

  lt::session session(lt::session_params(read_kernel_settings(argv[1]).pack));
  lt::add_torrent_params params;
  lt::error_code ec;
  params.ti = std::make_shared<lt::torrent_info>(std::string(argv[3]), ec);
  if (ec) {
    std::fprintf(stderr, "%s: %s\n", argv[3], ec.message().c_str());
    return 1;
  }
  params.save_path = argv[4];
  // Started at once, outside the session's queue, as the kernel starts its tasks.
  params.flags &= ~(lt::torrent_flags::auto_managed | lt::torrent_flags::paused);
  if (seeding) params.flags |= lt::torrent_flags::upload_mode;
  const lt::torrent_handle torrent = session.add_torrent(std::move(params), ec);
  if (ec) {
    std::fprintf(stderr, "cannot add %s: %s\n", argv[3], ec.message().c_str());
    return 1;
  }

  std::vector<lt::alert*> alerts;
  for (;;) {
    if (g_signal != 0) return 0;
    session.wait_for_alert(std::chrono::milliseconds(100));
    session.pop_alerts(&alerts);
    for (const lt::alert* alert : alerts) {
      if (lt::alert_cast<lt::torrent_error_alert>(alert) || lt::alert_cast<lt::file_error_alert>(alert)) {
        std::fprintf(stderr, "%s\n", alert->message().c_str());
        return 1;
      }
    }
    if (!seeding && torrent.status().is_seeding) return 0;
  }
}
