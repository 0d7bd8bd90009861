#include <sys/socket.h>

#include <gtest/gtest.h>

#include <boost/asio.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http.hpp>
#include <map>
#include <string>

#include "common/utility.h"
#include "host/rpc/password_hash.h"
#include "rpc/test_front.h"

namespace {

namespace http = boost::beast::http;
using response = http::response<http::string_body>;
using headers = std::map<std::string, std::string>;

constexpr char kPath[] = "/transmission/rpc";
constexpr int kFastIterations = 1000;  // keeps the key derivations short
const std::string kSid = rpc::rpc_gate::kSessionHeader;

using front = bts_test::test_front;

// One keep-alive connection, blocking; a reply that never comes fails the
// read after 10 s rather than hanging the test.
struct client {
  explicit client(unsigned short port) {
    socket.connect({boost::asio::ip::make_address("127.0.0.1"), port});
    const timeval limit{10, 0};
    setsockopt(socket.native_handle(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  }
  response send(const char* method, const std::string& target, const headers& fields,
                const std::string& body = R"({"method":"session-stats"})") {
    http::request<http::string_body> request{http::string_to_verb(method), target, 11};
    request.set(http::field::host, "127.0.0.1:9091");
    for (const auto& [name, value] : fields) request.set(name, value);
    request.body() = body;
    request.prepare_payload();
    http::write(socket, request);
    return receive(request.method() == http::verb::head);
  }
  response raw(const std::string& text) {
    boost::asio::write(socket, boost::asio::buffer(text));
    return receive();
  }
  response receive(bool head_only = false) {
    http::response_parser<http::string_body> parser;
    parser.skip(head_only);  // the answer to a HEAD request: a head alone
    boost::beast::error_code ec;
    http::read(socket, buffer, parser, ec);
    EXPECT_FALSE(ec) << ec.message();
    return parser.release();
  }
  boost::asio::io_context io;
  boost::asio::ip::tcp::socket socket{io};
  boost::beast::flat_buffer buffer;
};

// What every answer carries, refused or not: framing denied, no CORS.
void expect_safe_headers(const response& r, const std::string& row) {
  for (const auto& f : r) EXPECT_NE(0u, std::string(f.name_string()).rfind("Access-Control-", 0)) << row;
  EXPECT_EQ("DENY", r["X-Frame-Options"]) << row;
  EXPECT_NE(std::string::npos, std::string(r["Content-Security-Policy"]).find("frame-ancestors 'none'")) << row;
}

TEST(RpcHttp, GateRowsWithoutPassword) {
  front f;
  ASSERT_EQ("", f.start_error);
  client c(f.server.port());  // one connection for all rows: each answer keeps it
  const std::string id = f.gate.session_id(), rpc = kPath;
  const struct { const char* method; std::string target; headers fields; int status; } rows[] = {
      {"POST", rpc, {}, 409},
      {"POST", rpc, {{kSid, "wrong"}}, 409},
      {"POST", rpc, {{kSid, id}}, 200},
      {"POST", rpc + "/", {{kSid, id}}, 200},  // transmission-remote's own path
      {"POST", rpc + "?x=1", {{kSid, id}, {"Content-Type", "text/plain"}}, 200},
      {"POST", rpc, {{kSid, id}, {"Host", "evil.example"}}, 421},
      {"POST", rpc, {{kSid, id}, {"Host", "evil.example:9091"}}, 421},
      {"POST", rpc, {{kSid, id}, {"Host", "LOCALHOST:9091"}}, 200},
      {"POST", rpc, {{kSid, id}, {"Host", "[::1]:9091"}}, 200},
      {"GET", rpc, {{kSid, id}}, 405},
      {"OPTIONS", rpc, {{"Origin", "http://evil.example"}, {"Access-Control-Request-Method", "POST"}}, 405},
      {"POST", "/transmission/rpcx", {{kSid, id}}, 404},
      // A browser names the page that sends a request: only our own is let through.
      {"POST", rpc, {{kSid, id}, {"Origin", "http://127.0.0.1:9091"}}, 200},
      {"POST", rpc, {{kSid, id}, {"Origin", "http://127.0.0.1:9092"}}, 403},
      {"POST", rpc, {{kSid, id}, {"Origin", "null"}}, 403},
  };
  for (const auto& r : rows) {
    const std::string row = std::string(r.method) + " " + r.target + " " + std::to_string(r.status);
    const response answer = c.send(r.method, r.target, r.fields);
    EXPECT_EQ(r.status, answer.result_int()) << row;
    expect_safe_headers(answer, row);
    EXPECT_EQ(r.status == 409 ? id : "", answer[kSid]) << row;
    EXPECT_EQ(r.status == 200, answer.body().find("\"result\":\"success\"") != std::string::npos) << row;
  }
  // A malformed body gets a JSON answer, and the connection stays.
  const response bad = c.send("POST", kPath, {{kSid, id}}, "{\"method\":");
  EXPECT_EQ(200, bad.result_int());
  EXPECT_EQ("application/json; charset=UTF-8", bad[http::field::content_type]);
  EXPECT_NE(std::string::npos, bad.body().find("\"result\":\"the request is not a JSON object\""));
}

TEST(RpcHttp, WebPageRoutesAndHeaders) {
  front f;
  client c(f.server.port());
  const std::string root = "/transmission/web/";
  const struct { const char* method; std::string target; headers fields; int status; std::string body, type, location; } rows[] = {
      {"GET", "/", {}, 302, "", "", root},
      {"GET", "/transmission/web", {}, 301, "", "", root},
      {"GET", root, {}, 200, "<p>the page</p>", "text/html; charset=UTF-8", ""},
      {"GET", root + "?x=1", {}, 200, "<p>the page</p>", "text/html; charset=UTF-8", ""},
      {"GET", root + "app.js", {}, 200, "export {};", "text/javascript; charset=UTF-8", ""},
      {"HEAD", root + "app.js", {}, 200, "", "text/javascript; charset=UTF-8", ""},
      {"GET", root + "missing.js", {}, 404, "", "", ""},
      {"GET", root + "../rpc", {}, 404, "", "", ""},
      {"GET", root + "%2e%2e/rpc", {}, 404, "", "", ""},
      {"POST", root, {}, 405, "", "", ""},
      {"GET", root, {{"Host", "evil.example"}}, 421, "", "", ""},
  };
  for (const auto& r : rows) {
    const std::string row = std::string(r.method) + " " + r.target;
    const response answer = c.send(r.method, r.target, r.fields, "");
    EXPECT_EQ(r.status, answer.result_int()) << row;
    expect_safe_headers(answer, row);
    EXPECT_EQ(r.location, answer[http::field::location]) << row;
    if (r.status != 200) continue;
    EXPECT_EQ(r.body, answer.body()) << row;
    EXPECT_EQ(r.type, answer[http::field::content_type]) << row;
    if (std::string(r.method) == "HEAD") {
      EXPECT_EQ("10", answer[http::field::content_length]) << row;
    }
    EXPECT_NE(std::string::npos, std::string(answer["Content-Security-Policy"]).find("default-src 'none'; script-src 'self'"));
  }
}

TEST(RpcHttp, BoundsOnBodiesHeadsAndConnections) {
  rpc::gate_settings g;
  g.body_limit = 1000;
  rpc::server_settings s;
  s.most_connections = 2;
  front f(g, s);
  const std::string head = "POST /transmission/rpc HTTP/1.1\r\nHost: 127.0.0.1\r\n" + kSid + ": " + f.gate.session_id() + "\r\n";
  const std::string chunk(600, ' ');
  const struct { std::string request; int status; } rows[] = {
      {head + "Content-Length: 1001\r\n\r\n", 413},  // refused on the length alone: the body is never sent
      {head + "Transfer-Encoding: chunked\r\n\r\n258\r\n" + chunk + "\r\n258\r\n" + chunk + "\r\n0\r\n\r\n", 413},
      {head + "Content-Length: 1000\r\n\r\n" + std::string(1000, ' '), 200},
      {head + "X-Big: " + std::string(20000, 'x') + "\r\n\r\n", 431},
      {"NOT HTTP AT ALL\r\n\r\n", 400},
  };
  for (const auto& r : rows) EXPECT_EQ(r.status, client(f.server.port()).raw(r.request).result_int()) << r.status;
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
  const std::string id = f.gate.session_id();
  const auto basic = [](const std::string& pair) { return "Basic " + base64_encode(pair.data(), pair.size()); };
  // Requests without credentials (a client's first, before it is asked) are not guesses.
  for (int i = 0; i < 5; ++i) {
    const response r = c.send("POST", kPath, {});
    EXPECT_EQ(401, r.result_int());
    EXPECT_EQ("Basic realm=\"btshell\"", r[http::field::www_authenticate]);
  }
  EXPECT_EQ(409, c.send("POST", kPath, {{"Authorization", basic("user:secret")}}).result_int());
  // With a password the Host header is not checked.
  EXPECT_EQ(200, c.send("POST", kPath, {{"Authorization", basic("user:secret")}, {kSid, id}, {"Host", "evil.example"}})
                     .result_int());
  // The web page's requests are told 401 without the challenge, which would
  // make a browser hold them for a prompt of its own.
  const response page_asks = c.send("POST", kPath, {{"X-Requested-With", "XMLHttpRequest"}});
  EXPECT_EQ(401, page_asks.result_int());
  EXPECT_EQ("", page_asks[http::field::www_authenticate]);
  for (const char* wrong : {"user:Secret", "resu:secret", "user"})
    EXPECT_EQ(401, c.send("POST", kPath, {{"Authorization", basic(wrong)}, {kSid, id}}).result_int()) << wrong;
  const response locked = c.send("POST", kPath, {{"Authorization", basic("user:secret")}, {kSid, id}});
  EXPECT_EQ(403, locked.result_int());
  expect_safe_headers(locked, "403");
}

TEST(RpcHttp, ListensOnWhatItIsGivenOrSaysWhyNot) {
  front f;
  rpc::server_settings taken, bad;
  taken.port = f.server.port();
  bad.address = "localhost";
  EXPECT_EQ("cannot listen on 127.0.0.1:" + std::to_string(taken.port) + ": Address already in use",
            rpc::http_server(taken, f.gate, f.methods).start());
  EXPECT_EQ("cannot listen on localhost:9091: \"localhost\" is not an IP address",
            rpc::http_server(bad, f.gate, f.methods).start());
}

TEST(PasswordHash, VerifiesOnlyItsPasswordAndRefusesMalformedHashes) {
  const std::string stored = rpc::hash_password("pässword", kFastIterations);
  EXPECT_TRUE(rpc::is_password_hash(stored) && rpc::password_matches(stored, "pässword"));
  EXPECT_NE(stored, rpc::hash_password("pässword", kFastIterations));  // a fresh salt each time
  for (const char* other : {"", "password", "pässword ", "pässwor"}) EXPECT_FALSE(rpc::password_matches(stored, other));
  const std::string salt_and_key = stored.substr(stored.find(':', sizeof "pbkdf2-sha256"));
  for (const std::string& bad : {std::string(), std::string("pässword"), "sha1:1000" + salt_and_key,
                                 "pbkdf2-sha256:0" + salt_and_key, "pbkdf2-sha256:99999999" + salt_and_key,
                                 "pbkdf2-sha256:-1" + salt_and_key, stored.substr(0, stored.size() - 2),
                                 stored.substr(0, stored.size() - 1) + "g", stored + ":00"}) {
    EXPECT_FALSE(rpc::is_password_hash(bad)) << bad;
    EXPECT_FALSE(rpc::password_matches(bad, "pässword")) << bad;
  }
  EXPECT_EQ("", rpc::hash_password("x", 0));
}

}  // namespace
