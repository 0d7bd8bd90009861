#include "host/btshell/seed_url.h"

#include <curl/curl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>

#include "common/utility.h"
#include "host/btshell/commands.h"
#include "host/btshell/printers.h"
#include "interfaces/seed_naming.h"
#include "interfaces/string_types.h"
#include "platform/posix_fd.h"

#ifndef BTSHELL_VERSION
#define BTSHELL_VERSION "unknown"
#endif

namespace btshell {
namespace {

constexpr long kHttpErrorFrom = 400;

// What one fetch gathers; the write callback stops at the limit.
struct transfer {
  std::string bytes;
  bool too_large = false;
  const std::function<bool()>* interrupted = nullptr;
};

std::size_t take_bytes(char* data, std::size_t size, std::size_t count, void* user) {
  transfer& t = *static_cast<transfer*>(user);
  const std::size_t n = size * count;
  if (t.bytes.size() + n > kSeedFileLimit) {
    t.too_large = true;
    return 0;  // less than given: libcurl ends the transfer
  }
  t.bytes.append(data, n);
  return n;
}

int check_interrupt(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const transfer& t = *static_cast<const transfer*>(user);
  return (*t.interrupted && (*t.interrupted)()) ? 1 : 0;
}

std::string limit_text() { return std::to_string(kSeedFileLimit >> 20) + " MiB"; }

}  // namespace

bool is_seed_url(const std::string& text) {
  const std::string lower = to_lower_ascii(text.substr(0, 8));
  return lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0;
}

bool fetch_url(const std::string& url, const std::function<bool()>& interrupted, std::string& bytes,
               std::string& error) {
  static std::once_flag initialised;
  static CURLcode global = CURLE_OK;
  std::call_once(initialised, [] { global = curl_global_init(CURL_GLOBAL_DEFAULT); });
  if (global != CURLE_OK) {
    error = std::string("libcurl cannot start: ") + curl_easy_strerror(global);
    return false;
  }
  const std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
  if (!curl) {
    error = "libcurl cannot start";
    return false;
  }
  transfer t;
  t.interrupted = &interrupted;
  char why[CURL_ERROR_SIZE] = "";
  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");  // a redirect to file:// is no seed
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c, CURLOPT_MAXREDIRS, kSeedUrlRedirects);
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(kSeedUrlTimeLimit.count() * 1000));
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(kSeedUrlConnectLimit.count() * 1000));
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  // An announced length above the limit ends the fetch before any byte;
  // the write callback holds the limit for an answer that announces none.
  curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kSeedFileLimit));
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, take_bytes);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &t);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, check_interrupt);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(c, CURLOPT_USERAGENT, "btshell/" BTSHELL_VERSION);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, why);
  const CURLcode result = curl_easy_perform(c);
  if (result == CURLE_OK) {
    bytes = std::move(t.bytes);
    return true;
  }
  long status = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
  if (result == CURLE_HTTP_RETURNED_ERROR && status >= kHttpErrorFrom) {
    error = "the server answered HTTP " + std::to_string(status);
  } else if (t.too_large || result == CURLE_FILESIZE_EXCEEDED) {
    error = "the answer is larger than a seed can be (" + limit_text() + ")";
  } else if (result == CURLE_TOO_MANY_REDIRECTS) {
    error = "more than " + std::to_string(kSeedUrlRedirects) + " redirects";
  } else if (result == CURLE_OPERATION_TIMEDOUT) {
    error = "no whole answer within " + std::to_string(kSeedUrlTimeLimit.count()) + " s";
  } else if (result == CURLE_ABORTED_BY_CALLBACK) {
    error = "interrupted";
  } else {
    error = why[0] ? why : curl_easy_strerror(result);
  }
  return false;
}

std::string seed_from_url(IBitTorrent2* shell, const std::string& url, const std::string& folder,
                          const interrupt_signals& signals, const std::function<void(const std::string&)>& note,
                          std::string& error) {
  note("seed: fetching " + url);
  std::string bytes;
  if (!fetch_url(url, [&signals] { return signals.caught() != 0; }, bytes, error)) {
    error = "cannot fetch the seed " + url + ": " + error;
    return std::string();
  }
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    error = "cannot make the folder " + folder + ": " + ec.message();
    return std::string();
  }
  // Read by the shell under a name of its own first: only a seed it can
  // use takes the name of its hash, and the one there stays until then.
  const std::string fetched = folder + ".fetched-" + std::to_string(::getpid()) + ".torrent";
  if (const int e = platform::replace_file_whole(fetched, bytes.data(), bytes.size())) {
    error = "cannot write " + fetched + ": " + std::strerror(e);
    return std::string();
  }
  SEED_FILE_INFO* raw = nullptr;
  const HRESULT parsed = shell->ParseSeedFile(to_tag_string(fetched), &raw);
  const seed_info_ptr seed(raw, seed_info_release{shell});
  if (parsed != S_OK || !seed) {
    std::remove(fetched.c_str());
    error = "what " + url + " answered is no seed: " + result_text(parsed);
    return std::string();
  }
  const std::string path = folder + info_hash_hex(seed->info_hash) + ".torrent";
  if (std::rename(fetched.c_str(), path.c_str()) != 0) {
    error = "cannot write the seed " + path + ": " + std::strerror(errno);
    std::remove(fetched.c_str());
    return std::string();
  }
  platform::sync_folder_of(path);
  note("seed: " + std::to_string(bytes.size()) + " bytes, written as " + path);
  return path;
}

}  // namespace btshell
