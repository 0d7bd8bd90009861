#include "host/rpc/http_server.h"

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <optional>
#include <set>
#include <thread>

#include "host/rpc/rpc_gate.h"
#include "host/rpc/rpc_methods.h"
#include "host/rpc/static_site.h"

namespace rpc {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

constexpr char kServerName[] = "btshell";
constexpr char kJsonType[] = "application/json; charset=UTF-8";
constexpr char kHtmlType[] = "text/html; charset=UTF-8";
// After an answer that leaves a body unread, what the client still sends is
// read and dropped for this long (at most kLingerBytes) before the socket
// closes, so that the close does not reset the connection before the client
// has read the answer.
constexpr auto kLingerTime = std::chrono::seconds(2);
constexpr std::size_t kLingerBytes = 1024 * 1024;
constexpr std::size_t kLingerChunk = 16 * 1024;

std::optional<std::string> field(const http::request_header<>& head, http::field name) {
  const auto it = head.find(name);
  if (it == head.end()) return std::nullopt;
  return std::string(it->value());
}

std::optional<std::string> field(const http::request_header<>& head, const char* name) {
  const auto it = head.find(name);
  if (it == head.end()) return std::nullopt;
  return std::string(it->value());
}

}  // namespace

class connection;

struct http_server::impl {
  impl(server_settings s, rpc_gate& g, rpc_methods& m, const static_site* p)
      : settings(std::move(s)), gate(g), methods(m), site(p) {}

  void accept();

  const server_settings settings;
  rpc_gate& gate;
  rpc_methods& methods;
  const static_site* const site;
  asio::io_context io{1};
  tcp::acceptor acceptor{io};
  std::thread thread;
  unsigned short bound_port = 0;
  // Touched on the server's thread only.
  std::set<connection*> live;
  bool stopping = false;
};

class connection : public std::enable_shared_from_this<connection> {
 public:
  connection(http_server::impl& server, tcp::socket socket)
      : server_(server), stream_(std::move(socket)), linger_buffer_(kLingerChunk) {
    beast::error_code ec;
    const tcp::endpoint peer = stream_.socket().remote_endpoint(ec);
    if (!ec) client_ = peer.address().to_string();
    server_.live.insert(this);
  }
  ~connection() { server_.live.erase(this); }

  void start() {
    // Counted before this one was added to the set.
    if (server_.live.size() > server_.settings.most_connections) {
      send(short_answer(503, "Service unavailable: too many connections"), false);
      return;
    }
    read_head();
  }

  // Cancels what is pending, its timer included.
  void abort() { stream_.close(); }

 private:
  void read_head() {
    head_.emplace();
    head_->header_limit(static_cast<std::uint32_t>(server_.settings.header_limit));
    decided_.reset();
    head_only_ = false;
    stream_.expires_after(server_.settings.read_timeout);
    http::async_read_header(stream_, buffer_, *head_,
                            [self = shared_from_this()](beast::error_code ec, std::size_t) { self->on_head(ec); });
  }

  void on_head(beast::error_code ec) {
    if (ec == http::error::header_limit) return send(short_answer(431, "Request header fields too large"), false);
    if (ec == http::error::end_of_stream || ec == asio::error::operation_aborted || ec == beast::error::timeout ||
        ec == asio::error::connection_reset || ec == asio::error::eof || server_.stopping)
      return close();
    if (ec) return send(short_answer(400, "Bad request: not an HTTP request"), false);
    const http::request_header<>& h = head_->get();
    keep_alive_ = head_->keep_alive();
    version_ = h.version();
    request_head head;
    head.method = std::string(h.method_string());
    head.target = std::string(h.target());
    head.client = client_;
    head.host = field(h, http::field::host);
    head.authorization = field(h, http::field::authorization);
    head.session_id = field(h, rpc_gate::kSessionHeader);
    head.origin = field(h, http::field::origin);
    head.requested_with = field(h, "X-Requested-With");
    if (const auto length = head_->content_length()) head.content_length = static_cast<std::size_t>(*length);
    head_only_ = h.method() == http::verb::head;
    // Two routes: the web page's files, answered from the head alone, and
    // the RPC, whose gate lets a request's body be read or not.
    answer checked;
    if (server_.site && static_site::is_page_path(head.target)) {
      checked = server_.gate.check_page(head);
      if (checked.status == 0) checked = server_.site->serve(head.method, head.target);
    } else {
      checked = server_.gate.check(head);
    }
    const bool expects_continue = beast::iequals(h[http::field::expect], "100-continue");
    if (checked.status != 0) {
      // A small body that follows anyway is read and dropped, which keeps
      // the connection; otherwise the answer closes it, body unread.
      const bool small = !head_->chunked() && head.content_length.value_or(0) <= server_.gate.body_limit();
      if (expects_continue || !small || checked.status == 413) return send(std::move(checked), false);
      decided_ = std::move(checked);
      return read_body();
    }
    if (expects_continue) {
      continue_ = {http::status::continue_, version_};
      return http::async_write(stream_, continue_, [self = shared_from_this()](beast::error_code e, std::size_t) {
        if (e) return self->close();
        self->read_body();
      });
    }
    read_body();
  }

  void read_body() {
    body_.emplace(std::move(*head_));
    head_.reset();
    body_->body_limit(server_.gate.body_limit());
    stream_.expires_after(server_.settings.read_timeout);
    http::async_read(stream_, buffer_, *body_,
                     [self = shared_from_this()](beast::error_code ec, std::size_t) { self->on_body(ec); });
  }

  void on_body(beast::error_code ec) {
    if (ec == http::error::body_limit) {
      return send(short_answer(413, ("Payload too large: at most " + std::to_string(server_.gate.body_limit()) +
                                " bytes").c_str()),
                  false);
    }
    if (ec) return close();
    if (decided_) return send(std::move(*decided_), keep_alive_);
    const std::string body = body_->release().body();
    body_.reset();
    answer reply;
    reply.status = 200;
    reply.body = server_.methods.handle(body);
    send(std::move(reply), keep_alive_, kJsonType);
  }

  void send(answer a, bool keep_alive, const char* type = kHtmlType) {
    response_ = {static_cast<http::status>(a.status), version_ ? version_ : 11};
    response_.set(http::field::server, kServerName);
    response_.set(http::field::content_type, type);
    for (const auto& [name, value] : rpc_gate::common_headers()) response_.set(name, value);
    for (const auto& [name, value] : a.headers) response_.set(name, value);
    response_.keep_alive(keep_alive);
    if (head_only_) {
      response_.body().clear();
      response_.content_length(a.body.size());
    } else {
      response_.body() = std::move(a.body);
      response_.prepare_payload();
    }
    stream_.expires_after(server_.settings.read_timeout);
    http::async_write(stream_, response_, [self = shared_from_this(), keep_alive](beast::error_code ec, std::size_t) {
      if (ec || self->server_.stopping) return self->close();
      if (keep_alive) return self->read_head();
      self->linger();
    });
  }

  // Our side closed for sending; what the client still sends is dropped
  // until it closes too or the time is up.
  void linger() {
    beast::error_code ec;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ec);
    if (ec) return close();
    stream_.expires_after(kLingerTime);
    drain();
  }

  void drain() {
    stream_.async_read_some(asio::buffer(linger_buffer_), [self = shared_from_this()](beast::error_code ec,
                                                                                     std::size_t n) {
      self->lingered_ += n;
      if (ec || self->lingered_ >= kLingerBytes || self->server_.stopping) return self->close();
      self->drain();
    });
  }

  void close() {
    beast::error_code ec;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ec);
    stream_.close();
  }

  http_server::impl& server_;
  beast::tcp_stream stream_;
  beast::flat_buffer buffer_;
  std::string client_;
  std::optional<http::request_parser<http::empty_body>> head_;
  std::optional<http::request_parser<http::string_body>> body_;
  std::optional<answer> decided_;  // decided from the head, sent once the small body is read
  bool head_only_ = false;         // a HEAD request: the answer's head alone
  http::response<http::empty_body> continue_;
  http::response<http::string_body> response_;
  bool keep_alive_ = false;
  unsigned version_ = 11;
  std::vector<char> linger_buffer_;
  std::size_t lingered_ = 0;
};

void http_server::impl::accept() {
  acceptor.async_accept([this](beast::error_code ec, tcp::socket socket) {
    if (stopping || !acceptor.is_open()) return;
    if (!ec) std::make_shared<connection>(*this, std::move(socket))->start();
    accept();
  });
}

http_server::http_server(server_settings settings, rpc_gate& gate, rpc_methods& methods, const static_site* site)
    : impl_(std::make_unique<impl>(std::move(settings), gate, methods, site)) {}

http_server::~http_server() { stop(); }

unsigned short http_server::port() const { return impl_->bound_port; }

std::string http_server::start() {
  impl& s = *impl_;
  const std::string where = (s.settings.address.find(':') == std::string::npos ? s.settings.address
                                                                                : "[" + s.settings.address + "]") +
                            ":" + std::to_string(s.settings.port);
  if (s.thread.joinable() || s.stopping) return "cannot listen on " + where + ": the server was started before";
  beast::error_code ec;
  const asio::ip::address address = asio::ip::make_address(s.settings.address, ec);
  if (ec) return "cannot listen on " + where + ": \"" + s.settings.address + "\" is not an IP address";
  const tcp::endpoint endpoint(address, s.settings.port);
  s.acceptor.open(endpoint.protocol(), ec);
  if (!ec) s.acceptor.set_option(asio::socket_base::reuse_address(true), ec);
  if (!ec) s.acceptor.bind(endpoint, ec);
  if (!ec) s.acceptor.listen(asio::socket_base::max_listen_connections, ec);
  if (ec) {
    beast::error_code ignored;
    s.acceptor.close(ignored);
    return "cannot listen on " + where + ": " + ec.message();
  }
  s.bound_port = s.acceptor.local_endpoint(ec).port();
  s.accept();
  s.thread = std::thread([&s] {
    for (;;) {
      try {
        s.io.run();
        return;
      } catch (const std::exception&) {
        // A handler that threw lost its connection; the others go on.
      }
    }
  });
  return std::string();
}

void http_server::stop() {
  impl& s = *impl_;
  if (!s.thread.joinable()) return;
  asio::post(s.io, [&s] {
    s.stopping = true;
    beast::error_code ec;
    s.acceptor.close(ec);
    for (connection* c : s.live) c->abort();
  });
  s.thread.join();
}

}  // namespace rpc
