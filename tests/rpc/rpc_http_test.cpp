#include <sys/socket.h>
#include <sys/time.h>

#include <gtest/gtest.h>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <map>
#include <memory>
#include <string>

#include "common/utility.h"
#include "host/rpc/http_server.h"
#include "host/rpc/password_hash.h"
#include "host/rpc/rpc_gate.h"
#include "host/rpc/rpc_methods.h"
#include "rpc/fake_torrent_service.h"

namespace {

namespace asio = boost::asio;
namespace http = boost::beast::http;
using tcp = asio::ip::tcp;
using response = http::response<http::string_body>;

constexpr char kPath[] = "/transmission/rpc";
constexpr char kBody[] = R"({"method":"session-stats"})";
constexpr int kClientTimeoutSeconds = 10;  // a reply that never comes fails the test, never hangs it
constexpr int kFastIterations = 1000;      // keeps the tests' key derivations short

// The gate, the methods over a fake service and the server on a free port
// of 127.0.0.1.
struct front {
  explicit front(rpc::gate_settings g = {}, rpc::server_settings s = {})
      : gate(std::move(g)), methods(service), server((s.port = 0, s), gate, methods) {
    EXPECT_EQ("", server.start());
  }
  bts_test::fake_torrent_service service;
  rpc::rpc_gate gate;
  rpc::rpc_methods methods;
  rpc::http_server server;
};

// One keep-alive connection, blocking, with a receive timeout.
struct client {
  explicit client(unsigned short port) {
    socket.connect({asio::ip::make_address("127.0.0.1"), port});
    const timeval limit{kClientTimeoutSeconds, 0};
    setsockopt(socket.native_handle(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  }
  response send(const std::string& method, const std::string& target, std::map<std::string, std::string> headers,
                const std::string& body = kBody) {
    http::request<http::string_body> request{http::string_to_verb(method), target, 11};
    request.set(http::field::host, "127.0.0.1:9091");
    for (const auto& [name, value] : headers) request.set(name, value);
    request.body() = body;
    request.prepare_payload();
    http::write(socket, request);
    return receive();
  }
  response raw(const std::string& text) {
    asio::write(socket, asio::buffer(text));
    return receive();
  }
  response receive() {
    response r;
    boost::beast::error_code ec;
    http::read(socket, buffer, r, ec);
    EXPECT_FALSE(ec) << ec.message();
    return r;
  }
  asio::io_context io;
  tcp::socket socket{io};
  boost::beast::flat_buffer buffer;
};

std::string basic(const std::string& pair) { return "Basic " + base64_encode(pair.data(), pair.size()); }

// What every answer carries, refused or not.
void expect_safe_headers(const response& r, const std::string& row) {
  for (const auto& f : r) EXPECT_NE(0u, std::string(f.name_string()).rfind("Access-Control-", 0)) << row;
  EXPECT_EQ("DENY", r["X-Frame-Options"]) << row;
  EXPECT_NE(std::string::npos, std::string(r["Content-Security-Policy"]).find("frame-ancestors 'none'")) << row;
}

TEST(RpcHttp, GateRowsWithoutPassword) {
  front f;
  client c(f.server.port());
  const std::string id = f.gate.session_id();
  const std::string sid = rpc::rpc_gate::kSessionHeader;
  const struct { const char* method; std::string target; std::map<std::string, std::string> headers; int status; } rows[] = {
      {"POST", kPath, {}, 409},
      {"POST", kPath, {{sid, "wrong"}}, 409},
      {"POST", kPath, {{sid, id}}, 200},
      {"POST", std::string(kPath) + "/", {{sid, id}}, 200},  // transmission-remote's own path
      {"POST", std::string(kPath) + "?x=1", {{sid, id}, {"Content-Type", "text/plain"}}, 200},
      {"POST", kPath, {{sid, id}, {"Host", "evil.example"}}, 421},
      {"POST", kPath, {{sid, id}, {"Host", "evil.example:9091"}}, 421},
      {"POST", kPath, {{sid, id}, {"Host", "LOCALHOST:9091"}}, 200},
      {"POST", kPath, {{sid, id}, {"Host", "[::1]:9091"}}, 200},
      {"GET", kPath, {{sid, id}}, 405},
      {"OPTIONS", kPath, {{"Origin", "http://evil.example"}, {"Access-Control-Request-Method", "POST"}}, 405},
      {"POST", "/transmission/rpcx", {{sid, id}}, 404},
      {"POST", "/", {{sid, id}}, 404},
  };
  for (const auto& r : rows) {
    const std::string row = std::string(r.method) + " " + r.target + " " + std::to_string(r.status);
    const response answer = c.send(r.method, r.target, r.headers);  // one connection for all: kept alive
    EXPECT_EQ(r.status, answer.result_int()) << row;
    expect_safe_headers(answer, row);
    if (r.status == 409) {
      EXPECT_EQ(id, answer[sid]) << row;
    }
    if (r.status == 200) {
      EXPECT_NE(std::string::npos, answer.body().find("\"result\":\"success\"")) << row;
      EXPECT_EQ("application/json; charset=UTF-8", answer[http::field::content_type]);
    }
  }
  // A malformed body still gets a JSON answer on the same connection.
  const response bad = c.send("POST", kPath, {{sid, id}}, "{\"method\":");
  EXPECT_EQ(200, bad.result_int());
  EXPECT_NE(std::string::npos, bad.body().find("\"result\":\"the request is not a JSON object\""));
}

TEST(RpcHttp, BoundsOnBodiesHeadsAndConnections) {
  rpc::gate_settings g;
  g.body_limit = 1000;
  rpc::server_settings s;
  s.most_connections = 2;
  front f(g, s);
  const std::string head = "POST /transmission/rpc HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                           std::string(rpc::rpc_gate::kSessionHeader) + ": " + f.gate.session_id() + "\r\n";
  // Refused on the length alone: the body is never sent.
  EXPECT_EQ(413, client(f.server.port()).raw(head + "Content-Length: 1001\r\n\r\n").result_int());
  // A chunked body has no length up front; it is cut off at the cap.
  const std::string chunk(600, ' ');
  EXPECT_EQ(413, client(f.server.port())
                     .raw(head + "Transfer-Encoding: chunked\r\n\r\n258\r\n" + chunk + "\r\n258\r\n" + chunk + "\r\n0\r\n\r\n")
                     .result_int());
  // At the cap it passes; a head over its limit does not.
  EXPECT_EQ(200, client(f.server.port()).raw(head + "Content-Length: 1000\r\n\r\n" + std::string(1000, ' ')).result_int());
  EXPECT_EQ(431, client(f.server.port()).raw(head + "X-Big: " + std::string(20000, 'x') + "\r\n\r\n").result_int());
  EXPECT_EQ(400, client(f.server.port()).raw("NOT HTTP AT ALL\r\n\r\n").result_int());

  client first(f.server.port()), second(f.server.port());
  EXPECT_EQ(409, first.send("POST", kPath, {}).result_int());
  EXPECT_EQ(409, second.send("POST", kPath, {}).result_int());
  EXPECT_EQ(503, client(f.server.port()).send("POST", kPath, {}).result_int());
  f.server.stop();  // with connections open
}

TEST(RpcHttp, PasswordAndLockout) {
  rpc::gate_settings g;
  g.username = "user";
  g.password_hash = rpc::hash_password("secret", kFastIterations);
  g.failures_before_lockout = 3;
  front f(g);
  client c(f.server.port());
  const std::string sid = rpc::rpc_gate::kSessionHeader, id = f.gate.session_id();
  // Requests without credentials (a client's first, before it is asked)
  // are not counted as guesses.
  for (int i = 0; i < 5; ++i) {
    const response r = c.send("POST", kPath, {});
    EXPECT_EQ(401, r.result_int());
    EXPECT_EQ("Basic realm=\"btshell\"", r[http::field::www_authenticate]);
    expect_safe_headers(r, "401");
  }
  const std::string right = basic("user:secret");
  EXPECT_EQ(409, c.send("POST", kPath, {{"Authorization", right}}).result_int());
  // With a password the Host header is not checked.
  EXPECT_EQ(200, c.send("POST", kPath, {{"Authorization", right}, {sid, id}, {"Host", "evil.example"}}).result_int());
  for (const char* wrong : {"user:Secret", "resu:secret", "user"}) {
    EXPECT_EQ(401, c.send("POST", kPath, {{"Authorization", basic(wrong)}, {sid, id}}).result_int()) << wrong;
  }
  const response locked = c.send("POST", kPath, {{"Authorization", right}, {sid, id}});
  EXPECT_EQ(403, locked.result_int());
  expect_safe_headers(locked, "403");
}

TEST(RpcHttp, ListensOnWhatItIsGivenOrSaysWhyNot) {
  front f;
  rpc::server_settings taken;
  taken.port = f.server.port();
  bts_test::fake_torrent_service service;
  rpc::rpc_methods methods(service);
  rpc::http_server second(taken, f.gate, methods);
  EXPECT_EQ("cannot listen on 127.0.0.1:" + std::to_string(taken.port) + ": Address already in use", second.start());
  rpc::server_settings bad;
  bad.address = "localhost";
  EXPECT_EQ("cannot listen on localhost:9091: \"localhost\" is not an IP address",
            rpc::http_server(bad, f.gate, methods).start());
}

TEST(PasswordHash, VerifiesOnlyItsPasswordAndRefusesMalformedHashes) {
  const std::string stored = rpc::hash_password("pässword", kFastIterations);
  EXPECT_TRUE(rpc::is_password_hash(stored));
  EXPECT_TRUE(rpc::password_matches(stored, "pässword"));
  EXPECT_NE(stored, rpc::hash_password("pässword", kFastIterations));  // a fresh salt each time
  const std::string salt_and_key = stored.substr(stored.find(':', 14));
  const std::string rows[] = {
      "",
      "pässword",
      "sha1:1000" + salt_and_key,
      "pbkdf2-sha256:0" + salt_and_key,
      "pbkdf2-sha256:99999999" + salt_and_key,
      "pbkdf2-sha256:-1" + salt_and_key,
      stored.substr(0, stored.size() - 2),
      stored.substr(0, stored.size() - 1) + "g",
      stored + ":00",
  };
  for (const std::string& bad : rows) {
    EXPECT_FALSE(rpc::is_password_hash(bad)) << bad;
    EXPECT_FALSE(rpc::password_matches(bad, "pässword")) << bad;
  }
  for (const char* other : {"", "password", "pässword ", "pässwor"}) EXPECT_FALSE(rpc::password_matches(stored, other));
  EXPECT_EQ("", rpc::hash_password("x", 0));
}

}  // namespace
