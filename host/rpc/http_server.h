// The RPC front's HTTP server: it listens on one address and port, serves
// each connection with keep-alive on one thread of its own, passes every
// request's head through the gate (rpc_gate.h) before any of its body is
// read, and gives the bodies of the requests let through to the methods
// (rpc_methods.h), whatever their Content-Type says. With a static_site it
// also serves that site's files (static_site.h) at its routes. The methods' answer
// goes back with status 200 whatever its result, a malformed body's too:
// the RPC's clients read failures from the result.
//
// Bounded: a request head of at most header_limit bytes (431 beyond), a body
// of at most the gate's body_limit (413, the rest not read), read_timeout
// for each head and body and for an idle connection, most_connections open
// at once (503 to the next, then closed).
//
// Threads: start() and stop() from the owner's thread; the gate and the
// methods are called on the server's thread only. The gate, the methods and
// the site outlive the server.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

namespace rpc {

class rpc_gate;
class rpc_methods;
class static_site;

struct server_settings {
  std::string address = "127.0.0.1";  // an IPv4 or IPv6 literal
  unsigned short port = 9091;         // 0: any free port (port() tells which)
  std::size_t header_limit = 16 * 1024;
  std::chrono::milliseconds read_timeout = std::chrono::seconds(30);
  std::size_t most_connections = 64;
};

class http_server {
 public:
  http_server(server_settings settings, rpc_gate& gate, rpc_methods& methods, const static_site* site = nullptr);
  ~http_server();  // stop()
  http_server(const http_server&) = delete;
  http_server& operator=(const http_server&) = delete;

  // Binds, listens and starts the thread. Empty on success, else why it
  // cannot listen ("cannot listen on 127.0.0.1:9091: Address already in
  // use"); nothing runs then. Once only.
  std::string start();
  // The port listened on; 0 before start() succeeded.
  unsigned short port() const;
  // Closes the listening socket and every connection, and joins the thread.
  // A request being answered is cut off. Idempotent.
  void stop();

  struct impl;  // defined and used in http_server.cpp only

 private:
  std::unique_ptr<impl> impl_;
};

}  // namespace rpc
