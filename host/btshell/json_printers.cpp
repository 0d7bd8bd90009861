#include "host/btshell/json_printers.h"

#include <cstdio>

#include "host/btshell/printers.h"

namespace btshell {

namespace {

using json = nlohmann::ordered_json;

json text_or_null(const char* bytes, ULONG length) {
  if (length == 0) return nullptr;
  return json_text(std::string(bytes, length));
}

}  // namespace

std::string json_text(const std::string& bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (std::size_t at = 0; at < bytes.size();) {
    if (bytes[at] == '\\') {
      text += "\\\\";
      ++at;
    } else if (const std::size_t length = utf8_sequence_length(bytes, at)) {
      text.append(bytes, at, length);
      at += length;
    } else {
      char escape[5];
      std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(bytes[at]));
      text += escape;
      ++at;
    }
  }
  return text;
}

json seed_info_json(const std::string& seed, const SEED_FILE_INFO& info) {
  json files = json::array();
  for (ULONG i = 0; i < info.file_count; ++i) {
    const SEED_FILE_ITEM& f = info.files[i];
    files.push_back({{"index", i},
                     {"folder", json_text(std::string(f.path, f.path_len))},
                     {"name", json_text(std::string(f.name, f.name_len))},
                     {"size", f.file_size}});
  }
  json trackers = json::array();
  for (ULONG i = 0; i < info.tracker_count; ++i)
    trackers.push_back(json_text(std::string(info.trackers[i].url, info.trackers[i].url_len)));
  return {{"seed", json_text(seed)},
          {"info_hash", info_hash_hex(info.info_hash)},
          {"title", text_or_null(info.title, info.title_len)},
          {"publisher", text_or_null(info.publisher, info.publisher_len)},
          {"publisher_url", text_or_null(info.publisher_url, info.publisher_url_len)},
          {"files", files},
          {"trackers", trackers}};
}

json error_json(const std::string& message, std::optional<HRESULT> code) {
  const std::string meaning = code ? result_meaning(*code) : std::string();
  return {{"error",
           {{"code", code ? json(*code) : json(nullptr)},
            {"meaning", meaning.empty() ? json(nullptr) : json(meaning)},
            {"message", json_text(message)}}}};
}

json seed_failure_json(const std::string& seed, HRESULT result) {
  json failure = error_json(result_failure_text("ParseSeedFile", seed, result), result);
  return {{"seed", json_text(seed)}, {"error", std::move(failure["error"])}};
}

json file_list_json(const DATA_FILE_LIST* list) {
  json paths = json::array();
  for (ULONG i = 0; list && i < list->count; ++i) {
    const DATA_FILE_ITEM& item = list->items[i];
    paths.push_back(json_text(std::string(item.folder, item.folder_len) + std::string(item.name, item.name_len)));
  }
  return paths;
}

json hub_notices_json(const std::vector<p2p_hub::notice>& notices) {
  json all = json::array();
  for (const p2p_hub::notice& n : notices) {
    if (n.kind == p2p_hub::notice::deleted)
      all.push_back({{"kind", "deleted"}, {"path", json_text(n.path)}});
    else
      all.push_back({{"kind", "moved"}, {"path", json_text(n.path)}, {"new_path", json_text(n.new_path)}});
  }
  return all;
}

}  // namespace btshell
