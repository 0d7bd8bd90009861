#include "host/btshell/magnet_fetch.h"

#include <cstring>
#include <filesystem>
#include <thread>

#include "com_utility/StringSetter.h"
#include "host/btshell/magnet_link.h"
#include "host/btshell/printers.h"
#include "host/download_lib/module_downloader.h"
#include "interfaces/string_types.h"
#include "platform/posix_fd.h"

namespace btshell {
namespace {

constexpr auto kPoll = std::chrono::milliseconds(200);
constexpr auto kNoteInterval = std::chrono::seconds(10);

}  // namespace

void install_kernel_module(host_session& session) {
  session.host().downloader()->RequestDownload(tagSTRING{sizeof kBtKernelModuleName - 1, kBtKernelModuleName}, 1, 0);
  session.host().downloader()->complete_pending();
}

bool write_fetched_seed(com_ptr<IBtMetadataFetch>& fetch, const std::string& path, std::string& error) {
  std::string seed;
  CStringSetter setter(&seed);
  const HRESULT got = fetch->GetSeed(&setter);
  fetch.reset();
  if (FAILED(got)) {
    error = "the kernel gave no seed: " + result_text(got);
    return false;
  }
  if (const int e = platform::replace_file_whole(path, seed.data(), seed.size())) {
    error = "cannot write the seed " + path + ": " + std::strerror(e);
    return false;
  }
  return true;
}

std::string seed_from_magnet(host_session& session, kernel_link& kernel, const std::string& link,
                             const std::string& folder, const interrupt_signals& signals,
                             const std::function<void(const std::string&)>& note, std::string& error) {
  const std::optional<magnet_link> magnet = parse_magnet_link(link);
  if (!magnet) {
    error = "not a magnet link with an info hash (xt=urn:btih:...): " + link;
    return std::string();
  }
  const std::string path = folder + magnet->hash + ".torrent";
  std::error_code ec;
  if (std::filesystem::is_regular_file(path, ec)) {
    note("metadata: the seed " + path + " is there already");
    return path;
  }
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    error = "cannot make the folder " + folder + ": " + ec.message();
    return std::string();
  }
  if (!kernel.fetcher()) install_kernel_module(session);
  const com_ptr<IBtMetadataFetcher> fetcher = kernel.fetcher();
  if (!fetcher) {
    error = "the kernel module from " + session.modules_dir() + " offers no metadata fetch";
    return std::string();
  }
  com_ptr<IBtMetadataFetch> fetch;
  const HRESULT started = fetcher->StartFetch(to_tag_string(link), fetch.put());
  if (FAILED(started) || !fetch) {
    error = "the kernel cannot fetch this link's metadata: " + result_text(started);
    return std::string();
  }
  note("metadata: fetching " + (magnet->name.empty() ? magnet->hash : magnet->name) + " from the link's peers");
  auto next_note = std::chrono::steady_clock::now() + kNoteInterval;
  for (;;) {
    ULONG state = bt_fetch_running, peers = 0;
    fetch->GetState(&state, &peers);
    if (state == bt_fetch_done) break;
    if (state == bt_fetch_failed) {
      std::string text;
      CStringSetter setter(&text);
      fetch->GetFailureText(&setter);
      error = "fetching the metadata failed: " + text;
      return std::string();
    }
    if (signals.caught() != 0) {
      error = "interrupted while fetching the metadata";
      return std::string();
    }
    if (std::chrono::steady_clock::now() >= next_note) {
      next_note += kNoteInterval;
      note("metadata: still waiting, " + std::to_string(peers) + " peer(s) connected");
    }
    std::this_thread::sleep_for(kPoll);
  }
  if (!write_fetched_seed(fetch, path, error)) return std::string();
  note("metadata: received, written as " + path);
  return path;
}

}  // namespace btshell
