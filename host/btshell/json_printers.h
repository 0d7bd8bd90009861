// JSON forms of what the shell and the host runtime hand back (--json).
//
// Keys are snake_case, sizes integers, an info hash 40 upper-case hex
// digits, and what a seed lacks is null. Every text goes through json_text(),
// which keeps its bytes whether or not they are UTF-8.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/download_lib/p2p_hub.h"
#include "interfaces/data_file_list.h"
#include "interfaces/seed_file_info.h"
#include "platform/types.h"

namespace btshell {

// `bytes` as valid UTF-8 that gives the bytes back: well-formed UTF-8
// sequences stay as they are, each other byte becomes the four characters
// \xHH (upper-case hex), and a backslash becomes two backslashes.
std::string json_text(const std::string& bytes);

// {"seed", "info_hash", "title", "publisher", "publisher_url",
//  "files": [{"index", "folder", "name", "size"}], "trackers": [...]}
nlohmann::ordered_json seed_info_json(const std::string& seed, const SEED_FILE_INFO& info);
// {"error": {"code", "meaning", "message"}}: what --json prints for a
// failure (error_object.h); `code` and the meaning null for one that is no
// result code (or, the meaning, a code without a name here).
nlohmann::ordered_json error_json(const std::string& message, std::optional<HRESULT> code);
// {"seed", "error": {...}}: a seed the module refused (ParseSeedFile's result).
nlohmann::ordered_json seed_failure_json(const std::string& seed, HRESULT result);
// The files of a list as paths (folder and name); `list` may be null.
nlohmann::ordered_json file_list_json(const DATA_FILE_LIST* list);
// [{"kind": "deleted", "path"}, {"kind": "moved", "path", "new_path"}]
nlohmann::ordered_json hub_notices_json(const std::vector<p2p_hub::notice>& notices);

}  // namespace btshell
