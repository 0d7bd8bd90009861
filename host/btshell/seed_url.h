// A seed given by its http:// or https:// URL, for btshell download and
// seed: fetched with libcurl (only HTTP and HTTPS, redirects and time
// limited, TLS verified, at most kSeedFileLimit bytes), checked by the shell
// (ParseSeedFile) and written as "<HASH>.torrent" into a folder, whole or
// not at all, so that it is then handled as any seed file and the task's
// state lies beside it.
//
// Called on one host thread; libcurl is set up once for the process on the
// first fetch.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

#include "host/btshell/interrupt_signals.h"
#include "interfaces/IBitTorrent.h"

namespace btshell {

// The largest seed file taken, from a URL or (the daemon) from disk: as
// much as the daemon's RPC takes in one request.
inline constexpr std::size_t kSeedFileLimit = std::size_t{16} << 20;
inline constexpr long kSeedUrlRedirects = 5;
inline constexpr std::chrono::seconds kSeedUrlTimeLimit{60};
inline constexpr std::chrono::seconds kSeedUrlConnectLimit{15};

// An http:// or https:// URL (the scheme in either case).
bool is_seed_url(const std::string& text);

// The body `url` answers with, into `bytes`. False with `error` in words:
// the HTTP status of a refusal, an answer larger than kSeedFileLimit, too
// many redirects, no answer in time, a certificate that does not verify,
// `interrupted` returning true.
bool fetch_url(const std::string& url, const std::function<bool()>& interrupted, std::string& bytes,
               std::string& error);

// Fetches the seed at `url` and writes it into `folder` (made when missing)
// as "<HASH>.torrent", replacing one there; its path, or empty with `error`
// set (the fetch failed, the answer is no seed the shell can read, the
// folder cannot be written; nothing is left in the folder then). `note`
// hears what happens, a line at a time.
std::string seed_from_url(IBitTorrent2* shell, const std::string& url, const std::string& folder,
                          const interrupt_signals& signals, const std::function<void(const std::string&)>& note,
                          std::string& error);

}  // namespace btshell
