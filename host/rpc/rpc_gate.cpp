#include "host/rpc/rpc_gate.h"

#include <arpa/inet.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "common/utility.h"
#include "host/rpc/password_hash.h"

namespace rpc {

namespace {

constexpr char kRealm[] = "btshell";
// Addresses whose failures are remembered (count_failure chooses which goes
// beyond them).
constexpr std::size_t kMostRemembered = 4096;

std::string new_session_id() {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char bytes[48];
  if (RAND_bytes(bytes, sizeof bytes) != 1) throw std::runtime_error("no random bytes for the RPC session id");
  std::string id;
  for (unsigned char b : bytes) id.push_back(kAlphabet[b % (sizeof kAlphabet - 1)]);
  return id;
}

bool is_ip_literal(const std::string& host) {
  unsigned char buffer[16];
  return inet_pton(AF_INET, host.c_str(), buffer) == 1 || inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

// The host of a Host header: "[v6]:port", "name:port", "name".
std::string host_part(const std::string& header) {
  if (!header.empty() && header[0] == '[') {
    const std::size_t end = header.find(']');
    return end == std::string::npos ? std::string() : header.substr(1, end - 1);
  }
  return header.substr(0, header.find(':'));
}

bool same_bytes(const std::string& a, const std::string& b) {
  return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::string sha256(const std::string& text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (EVP_Digest(text.data(), text.size(), digest, &size, EVP_sha256(), nullptr) != 1) return std::string();
  return std::string(reinterpret_cast<const char*>(digest), size);
}

}  // namespace

answer short_answer(int status, const std::string& text, header_list headers) {
  answer a;
  a.status = status;
  a.headers = std::move(headers);
  a.body = "<h1>" + std::to_string(status) + "</h1><p>" + text + "</p>";
  return a;
}

rpc_gate::rpc_gate(gate_settings settings) : settings_(std::move(settings)), session_id_(new_session_id()) {}

bool rpc_gate::is_rpc_path(const std::string& target) {
  const std::string path = target.substr(0, target.find('?'));
  return path == "/transmission/rpc" || path == "/transmission/rpc/";
}

const header_list& rpc_gate::common_headers() {
  static const header_list headers = {{"X-Frame-Options", "DENY"},
                                      {"Content-Security-Policy", "frame-ancestors 'none'"},
                                      {"X-Content-Type-Options", "nosniff"},
                                      {"Cache-Control", "no-store"}};
  return headers;
}

bool rpc_gate::host_allowed(const std::optional<std::string>& host) const {
  if (!host) return false;
  const std::string name = to_lower_ascii(host_part(*host));
  if (name == "localhost" || name == "localhost." || is_ip_literal(name)) return true;
  return std::any_of(settings_.host_names.begin(), settings_.host_names.end(),
                     [&](const std::string& allowed) { return to_lower_ascii(allowed) == name; });
}

bool rpc_gate::credentials_match(const std::string& authorization) {
  // The digest of the last header that matched spares the key derivation
  // on each request of a client that sends the same credentials again.
  const std::string digest = sha256(authorization);
  if (!verified_.empty() && same_bytes(digest, verified_)) return true;
  const std::string scheme = "basic ";
  if (authorization.size() < scheme.size() || to_lower_ascii(authorization.substr(0, scheme.size())) != scheme) return false;
  std::string token = authorization.substr(scheme.size());
  token.erase(0, token.find_first_not_of(' '));
  token.erase(token.find_last_not_of(' ') + 1);
  std::string pair;
  if (!base64_decode(token, pair)) return false;
  const std::size_t colon = pair.find(':');
  if (colon == std::string::npos) return false;
  // Both compared whatever the first gives, so that the time tells nothing.
  const bool user = same_bytes(pair.substr(0, colon), settings_.username);
  const bool password = password_matches(settings_.password_hash, pair.substr(colon + 1));
  if (!user || !password) return false;
  verified_ = digest;
  return true;
}

answer rpc_gate::unauthorized(const request_head& head) {
  header_list challenge;
  if (head.requested_with.value_or("") != "XMLHttpRequest")
    challenge.emplace_back("WWW-Authenticate", std::string("Basic realm=\"") + kRealm + "\"");
  return short_answer(401, "Unauthorized: user name and password needed", std::move(challenge));
}

// No Origin: not a browser, or a browser's same-origin GET. Otherwise it
// must be this host as the request names it ("http://127.0.0.1:9091").
bool rpc_gate::origin_allowed(const request_head& head) {
  if (!head.origin) return true;
  if (!head.host) return false;
  const std::string origin = to_lower_ascii(*head.origin), host = to_lower_ascii(*head.host);
  return origin == "http://" + host || origin == "https://" + host;
}

answer rpc_gate::check_page(const request_head& head) const {
  if (settings_.password_hash.empty() && !host_allowed(head.host))
    return short_answer(421, "Misdirected request: without a password the web page is served only for an IP "
                             "address, localhost or a configured host name");
  return answer{};
}

void rpc_gate::count_failure(const std::string& client, clock::time_point now) {
  failures& f = failures_[client];
  if (++f.count >= settings_.failures_before_lockout) {
    f.count = 0;
    f.locked_until = now + settings_.lockout;
  }
  if (failures_.size() <= kMostRemembered) return;
  // Too many addresses: the one whose lockout ends first goes (one not
  // locked at all before any), never the one just counted.
  auto drop = failures_.end();
  for (auto it = failures_.begin(); it != failures_.end(); ++it)
    if (it->first != client && (drop == failures_.end() || it->second.locked_until < drop->second.locked_until))
      drop = it;
  if (drop != failures_.end()) failures_.erase(drop);
}

answer rpc_gate::check(const request_head& head, clock::time_point now) {
  if (!is_rpc_path(head.target)) return short_answer(404, "Not found: the RPC is at /transmission/rpc");
  if (head.method != "POST") return short_answer(405, "The RPC takes POST requests", {{"Allow", "POST"}});
  if (!origin_allowed(head)) return short_answer(403, "Forbidden: the RPC takes no request from a page of another origin");
  if (settings_.password_hash.empty()) {
    if (!host_allowed(head.host))
      return short_answer(421, "Misdirected request: without a password the RPC answers only requests to an IP "
                          "address, localhost or a configured host name");
  } else {
    std::lock_guard<std::mutex> lock(lock_);
    const auto known = failures_.find(head.client);
    if (known != failures_.end() && known->second.locked_until > now)
      return short_answer(403, "Too many wrong passwords: try again later");
    // A request without credentials is no guess: clients send one first
    // and give them only once asked (401), so it is not counted.
    if (!head.authorization) return unauthorized(head);
    if (!credentials_match(*head.authorization)) {
      count_failure(head.client, now);
      return unauthorized(head);
    }
    if (known != failures_.end()) failures_.erase(known);
  }
  if (!head.session_id || !same_bytes(*head.session_id, session_id_))
    return short_answer(409, std::string("Conflict: a request must carry the ") + kSessionHeader + " header of this answer",
                   {{kSessionHeader, session_id_}});
  if (head.content_length && *head.content_length > settings_.body_limit)
    return short_answer(413, "Payload too large: at most " + std::to_string(settings_.body_limit) + " bytes");
  return answer{};
}

}  // namespace rpc
