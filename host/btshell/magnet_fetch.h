// A magnet link made into a seed file for btshell download: the kernel
// module is installed (the host's own request to its module downloader:
// no task needs it yet), its metadata fetch (IBtMetadataFetcher, heard
// through kernel_link) asks the link's peers for the torrent's metadata,
// and the seed is written as "<HASH>.torrent" into `folder`, so that the
// task's state lies beside it and a second run continues. A seed already
// there for the link's hash is used as it is.
#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "host/btshell/host_session.h"
#include "host/btshell/interrupt_signals.h"
#include "host/btshell/kernel_link.h"

namespace btshell {

// Asks the host's module downloader for the kernel module and lets it end
// the request.
void install_kernel_module(host_session& session);

// Once `fetch` is done: writes its seed to `path` (whole) and lets go of
// the fetch, so that the kernel drops the fetch's torrent before a task
// takes it. False with `error` set.
bool write_fetched_seed(com_ptr<IBtMetadataFetch>& fetch, const std::string& path, std::string& error);

// The seed's path, or empty with `error` set (not a usable link, no
// fetch offered by the kernel, the fetch failed, a signal came, the seed
// could not be written). `note` hears what happens, a line at a time.
std::string seed_from_magnet(host_session& session, kernel_link& kernel, const std::string& link,
                             const std::string& folder, const interrupt_signals& signals,
                             const std::function<void(const std::string&)>& note, std::string& error);

}  // namespace btshell
