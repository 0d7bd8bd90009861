// The daemon's web page: the files of host/web/page/, built into the
// executable (cmake/embed_files.cmake writes web_page.cpp), served by the
// RPC front's static_site at /transmission/web/. The page talks to the
// daemon only through the RPC.
#pragma once

#include <vector>

#include "host/rpc/static_site.h"

namespace web {

// Every file of the page, by name; the views live as long as the program.
const std::vector<rpc::static_file>& page_files();

}  // namespace web
