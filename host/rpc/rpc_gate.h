// The rules every request to the RPC front passes before its body is read:
// the path, the method, the Host header (a page of another site that a
// browser sends here through a name of its own, DNS rebinding), the
// password, the session id (a page of another site cannot read it, so it
// cannot make a request that is taken), the size of the body. A request
// that breaks one gets its answer from check(); the rest go on.
//
// Every answer, refused or not, carries common_headers(): framing denied,
// and never an Access-Control-* header (no page of another origin may read
// an answer).
//
// Threads: check() and the queries may be called from any thread; a mutex
// guards the failure counts and the last credentials verified.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace rpc {

using header_list = std::vector<std::pair<std::string, std::string>>;

// The largest body taken: a torrent-add of a seed of 10 MiB in base64 and
// the JSON around it.
inline constexpr std::size_t kDefaultBodyLimit = 16 * 1024 * 1024;

struct gate_settings {
  std::string username;
  std::string password_hash;            // password_hash.h; empty: no password asked
  std::vector<std::string> host_names;  // accepted in Host besides IP literals and "localhost"
  std::size_t body_limit = kDefaultBodyLimit;
  // Wrong credentials in a row from one address before it is locked out:
  // then every request from it is refused (403) for `lockout`, even with
  // the right ones. A request with no credentials is not counted.
  int failures_before_lockout = 5;
  std::chrono::seconds lockout = std::chrono::seconds(60);
};

struct request_head {
  std::string method;  // "POST"
  std::string target;  // "/transmission/rpc"
  std::string client;  // the peer's address, for the lockout
  std::optional<std::string> host, authorization, session_id, origin, requested_with;
  std::optional<std::size_t> content_length;
};

struct answer {
  int status = 0;  // 0: not refused
  header_list headers;
  std::string body;
};

// An answer whose body is a short HTML text: "<h1>STATUS</h1><p>TEXT</p>".
answer short_answer(int status, const std::string& text, header_list headers = {});

class rpc_gate {
 public:
  using clock = std::chrono::steady_clock;

  // Makes the session id: 48 random characters.
  explicit rpc_gate(gate_settings settings);

  static constexpr const char* kSessionHeader = "X-Transmission-Session-Id";
  static bool is_rpc_path(const std::string& target);
  static const header_list& common_headers();

  const std::string& session_id() const { return session_id_; }
  std::size_t body_limit() const { return settings_.body_limit; }

  answer check(const request_head& head, clock::time_point now = clock::now());
  // The rules for the web page's files, which hold nothing secret: only the
  // Host header, as for the RPC without a password.
  answer check_page(const request_head& head) const;

 private:
  bool host_allowed(const std::optional<std::string>& host) const;
  // Under lock_.
  bool credentials_match(const std::string& authorization);
  void count_failure(const std::string& client, clock::time_point now);
  static answer unauthorized(const request_head& head);
  static bool origin_allowed(const request_head& head);

  const gate_settings settings_;
  const std::string session_id_;
  struct failures {
    int count = 0;
    clock::time_point locked_until{};
  };
  std::mutex lock_;
  std::map<std::string, failures> failures_;  // by client address; at most 4096
  std::string verified_;  // SHA-256 of the last Authorization header that matched
};

}  // namespace rpc
