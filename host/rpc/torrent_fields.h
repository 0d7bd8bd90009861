// The fields torrent-get answers: for each RPC name the group of the
// service's work it needs (torrent_service.h field_group) and how its value
// is written from a torrent_view. Counts, sizes, rates and times are written
// as JSON integers, ratios and fractions as reals.
// Pure; the table is built once and read by any thread.
#pragma once

#include <string>
#include <vector>

#include "host/rpc/json_writer.h"
#include "host/rpc/torrent_service.h"

namespace rpc {

struct torrent_field {
  const char* name;
  unsigned group;
  void (*write)(json_writer& out, const torrent_view& torrent);
};

// The fields named, in the order given, each once; names this front does
// not know are left out. `groups` gets the union of their groups.
std::vector<const torrent_field*> select_fields(const std::vector<std::string>& names, unsigned& groups);

}  // namespace rpc
