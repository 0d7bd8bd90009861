#include "host/rpc/rpc_gate.h"

#include <arpa/inet.h>
#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "common/utility.h"
#include "host/rpc/password_hash.h"

namespace rpc {

namespace {

constexpr char kRealm[] = "btshell";
// Addresses whose failures are remembered; beyond them the oldest entry
// that is not locked goes.
constexpr std::size_t kMostRemembered = 4096;

std::string new_session_id() {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char bytes[48];
  if (RAND_bytes(bytes, sizeof bytes) != 1) throw std::runtime_error("no random bytes for the RPC session id");
  std::string id;
  for (unsigned char b : bytes) id.push_back(kAlphabet[b % (sizeof kAlphabet - 1)]);
  return id;
}

answer refused(int status, std::string body, header_list headers = {}) {
  answer a;
  a.status = status;
  a.headers = std::move(headers);
  a.body = "<h1>" + std::to_string(status) + "</h1><p>" + body + "</p>";
  return a;
}

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
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

}  // namespace

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
  const std::string name = lower(host_part(*host));
  if (name == "localhost" || is_ip_literal(name)) return true;
  return std::any_of(settings_.host_names.begin(), settings_.host_names.end(),
                     [&](const std::string& allowed) { return lower(allowed) == name; });
}

bool rpc_gate::credentials_match(const std::optional<std::string>& authorization) const {
  const std::string scheme = "basic ";
  if (!authorization || authorization->size() < scheme.size() ||
      lower(authorization->substr(0, scheme.size())) != scheme)
    return false;
  std::string pair;
  if (!base64_decode(authorization->substr(scheme.size()), pair)) return false;
  const std::size_t colon = pair.find(':');
  if (colon == std::string::npos) return false;
  // Both compared whatever the first gives, so that the time tells nothing.
  const bool user = same_bytes(pair.substr(0, colon), settings_.username);
  const bool password = password_matches(settings_.password_hash, pair.substr(colon + 1));
  return user && password;
}

answer rpc_gate::check(const request_head& head, clock::time_point now) {
  if (!is_rpc_path(head.target)) return refused(404, "Not found: the RPC is at /transmission/rpc");
  if (head.method != "POST") return refused(405, "The RPC takes POST requests", {{"Allow", "POST"}});
  if (settings_.password_hash.empty()) {
    if (!host_allowed(head.host))
      return refused(421, "Misdirected request: without a password the RPC answers only requests to an IP "
                          "address, localhost or a configured host name");
  } else {
    std::lock_guard<std::mutex> lock(lock_);
    failures& f = failures_[head.client];
    if (f.locked_until > now) return refused(403, "Too many wrong passwords: try again later");
    if (!credentials_match(head.authorization)) {
      if (++f.count >= settings_.failures_before_lockout) {
        f.count = 0;
        f.locked_until = now + settings_.lockout;
      }
      if (failures_.size() > kMostRemembered) {
        for (auto it = failures_.begin(); it != failures_.end(); ++it)
          if (it->second.locked_until <= now && it->first != head.client) {
            failures_.erase(it);
            break;
          }
      }
      return refused(401, "Unauthorized: user name and password needed",
                     {{"WWW-Authenticate", std::string("Basic realm=\"") + kRealm + "\""}});
    }
    failures_.erase(head.client);
  }
  if (!head.session_id || !same_bytes(*head.session_id, session_id_))
    return refused(409, std::string("Conflict: a request must carry the ") + kSessionHeader + " header of this answer",
                   {{kSessionHeader, session_id_}});
  if (head.content_length && *head.content_length > settings_.body_limit)
    return refused(413, "Payload too large: at most " + std::to_string(settings_.body_limit) + " bytes");
  return answer{};
}

}  // namespace rpc
