// A read-only set of files served at kRoot: the daemon's web page. The files
// live in the executable (host/web embeds them at build time), so a page
// never differs from the daemon that serves it and no path of the request
// ever reaches the disk.
//
// Routes: "/" redirects to kRoot, kRoot without its slash redirects to it,
// kRoot itself is index.html, kRoot + NAME is the file NAME or 404. GET and
// HEAD only (405). Each file is answered with its type by its name's
// extension and with page_headers(): a Content-Security-Policy that lets the
// page load scripts, styles, images and RPC requests from its own origin
// only, no inline script or style, no framing.
//
// Threads: immutable after construction; serve() from any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host/rpc/rpc_gate.h"

namespace rpc {

struct static_file {
  std::string_view name;  // "index.html": no folder
  std::string_view body;  // outlives the site
};

class static_site {
 public:
  static constexpr std::string_view kRoot = "/transmission/web/";

  explicit static_site(std::vector<static_file> files);

  // Whether `target` (path and query) is one of the site's routes.
  static bool is_page_path(const std::string& target);
  static const header_list& page_headers();

  // The whole answer to `method` on `target`, a route of the site.
  answer serve(const std::string& method, const std::string& target) const;

 private:
  const std::vector<static_file> files_;
};

}  // namespace rpc
