// What the daemon reads of a magnet link itself: the info hash (to name
// the task and find duplicates) and the name to show while the kernel
// fetches the metadata (IBtMetadataFetcher does the rest).
#pragma once

#include <optional>
#include <string>

namespace btshell {

struct magnet_link {
  std::string hash;  // 40 upper-case hexadecimal digits
  std::string name;  // "dn", decoded; empty when the link has none
};

bool is_magnet_link(const std::string& text);
// Nothing for a link without "xt=urn:btih:" and 40 hexadecimal or 32
// base32 digits.
std::optional<magnet_link> parse_magnet_link(const std::string& text);

}  // namespace btshell
