// What a host reads of a magnet link itself: the info hash (to name the
// task and find duplicates), the name to show while the kernel fetches the
// metadata (IBtMetadataFetcher does the rest), and the peers the link names,
// which the task is given too (the metadata does not hold them).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace btshell {

struct magnet_link {
  std::string hash;  // 40 upper-case hexadecimal digits
  std::string name;  // "dn", decoded; empty when the link has none
  std::vector<std::string> peers;  // "x.pe": ADDRESS:PORT of peers to connect to
};

bool is_magnet_link(const std::string& text);
// Nothing for a link without "xt=urn:btih:" and 40 hexadecimal or 32
// base32 digits.
std::optional<magnet_link> parse_magnet_link(const std::string& text);

}  // namespace btshell
