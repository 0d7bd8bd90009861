// The RPC's methods: one request body (JSON) in, one answer body (JSON) out,
// {"arguments":{...},"result":"success" or what failed,"tag":<the request's>}.
// The request's JSON is read into torrent_service.h's records and the
// service is called; the answer is written from what it gives back.
//
// Methods: session-get, session-set, session-stats, torrent-get,
// torrent-add, torrent-start, torrent-start-now, torrent-stop,
// torrent-verify, torrent-remove, torrent-set. A body that is no JSON object,
// a method this front does not have, an argument of the wrong type and an
// argument session-set or torrent-set cannot apply are answered with a
// result that says so, and nothing is changed.
//
// Threads: handle() calls the service, so it is called as the service
// allows (one call at a time, torrent_service.h). Never throws.
#pragma once

#include <string>
#include <string_view>

#include "host/rpc/torrent_service.h"

namespace rpc {

inline constexpr int kRpcVersion = 16;
inline constexpr int kRpcVersionMinimum = 1;

class rpc_methods {
 public:
  // `service` outlives this object.
  explicit rpc_methods(torrent_service& service) : service_(service) {}

  std::string handle(std::string_view body) noexcept;

 private:
  torrent_service& service_;
};

}  // namespace rpc
