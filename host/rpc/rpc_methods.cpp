#include "host/rpc/rpc_methods.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "common/utility.h"
#include "host/rpc/json_writer.h"
#include "host/rpc/torrent_fields.h"

namespace rpc {

namespace {

using json = nlohmann::json;

constexpr char kSuccess[] = "success";
constexpr std::size_t kHashDigits = 40;
constexpr std::int64_t kMostInt = std::numeric_limits<int>::max();
constexpr std::int64_t kMostInt64 = std::numeric_limits<std::int64_t>::max();

// An argument the request got wrong; its text is the answer's result.
struct bad_argument : std::runtime_error {
  using std::runtime_error::runtime_error;
};

const json* find(const json& args, const char* name) {
  const auto it = args.find(name);
  return it == args.end() ? nullptr : &*it;
}

// A boolean, or the integers 0 and 1 that older clients send for one.
std::optional<bool> read_bool(const json& args, const char* name) {
  const json* v = find(args, name);
  if (!v) return std::nullopt;
  if (v->is_boolean()) return v->get<bool>();
  if (v->is_number_integer() && (*v == 0 || *v == 1)) return *v == 1;
  throw bad_argument(std::string(name) + " must be true or false");
}

std::optional<std::int64_t> read_count(const json& args, const char* name, std::int64_t most = kMostInt64) {
  const json* v = find(args, name);
  if (!v) return std::nullopt;
  if (v->is_number_unsigned() && v->get<std::uint64_t>() <= static_cast<std::uint64_t>(most))
    return static_cast<std::int64_t>(v->get<std::uint64_t>());
  if (v->is_number_integer() && !v->is_number_unsigned() && v->get<std::int64_t>() >= 0 &&
      v->get<std::int64_t>() <= most)
    return v->get<std::int64_t>();
  throw bad_argument(std::string(name) + " must be a whole number from 0 to " + std::to_string(most));
}

std::optional<std::string> read_text(const json& args, const char* name) {
  const json* v = find(args, name);
  if (!v) return std::nullopt;
  if (!v->is_string()) throw bad_argument(std::string(name) + " must be a string");
  return v->get<std::string>();
}

// File indices; `empty` is set when the list was given and empty (the RPC's
// way of naming every file).
std::vector<int> read_indices(const json& args, const char* name, bool& empty) {
  std::vector<int> indices;
  const json* v = find(args, name);
  empty = v && v->is_array() && v->empty();
  if (!v) return indices;
  if (!v->is_array()) throw bad_argument(std::string(name) + " must be a list of file numbers");
  for (const json& item : *v) {
    if (!item.is_number_integer() || item.get<std::int64_t>() < 0 || item.get<std::int64_t>() > kMostInt)
      throw bad_argument(std::string(name) + " must be a list of file numbers");
    indices.push_back(item.get<int>());
  }
  return indices;
}

id_selection read_ids(const json& args) {
  id_selection which;
  const json* ids = find(args, "ids");
  if (!ids) return which;
  which.all = false;
  if (ids->is_string() && *ids == "recently-active") {
    which.recently_active = true;
    return which;
  }
  const auto add = [&](const json& v) {
    if (v.is_number_unsigned() || (v.is_number_integer() && v.get<std::int64_t>() >= 0)) {
      if (v.get<std::uint64_t>() <= static_cast<std::uint64_t>(kMostInt64)) {
        which.ids.push_back(v.get<std::int64_t>());
        return;
      }
    } else if (v.is_string()) {
      std::string hash = v.get<std::string>();
      if (hash.size() == kHashDigits && std::all_of(hash.begin(), hash.end(), is_hex_char)) {
        which.hashes.push_back(to_lower_ascii(hash));
        return;
      }
    }
    throw bad_argument("ids: each must be a torrent's id or its info hash in 40 hexadecimal digits");
  };
  if (ids->is_array()) {
    for (const json& v : *ids) add(v);
  } else {
    add(*ids);
  }
  return which;
}

std::vector<std::string> read_names(const json& args, const char* name) {
  std::vector<std::string> names;
  const json* v = find(args, name);
  if (!v) return names;
  if (!v->is_array()) throw bad_argument(std::string(name) + " must be a list of names");
  for (const json& item : *v)
    if (item.is_string()) names.push_back(item.get<std::string>());
  return names;
}

// The keys of `args` that are not in `known`, refused: a change the
// front cannot make is never answered with success.
void refuse_unknown(const json& args, std::initializer_list<const char*> known, const char* method) {
  for (auto it = args.begin(); it != args.end(); ++it)
    if (std::none_of(known.begin(), known.end(), [&](const char* k) { return it.key() == k; }))
      throw bad_argument(std::string(method) + ": \"" + it.key() + "\" cannot be changed here");
}

template <typename T, typename V>
void set_if(std::optional<T>& target, const std::optional<V>& value) {
  if (value) target = static_cast<T>(*value);
}

// Each method reads `args` (an object), writes the answer's arguments into
// `out` (inside its object) and returns the error text, empty on success.
using method = std::string (*)(torrent_service& service, const json& args, json_writer& out);

std::string session_get(torrent_service& service, const json& args, json_writer& out) {
  const std::vector<std::string> asked = read_names(args, "fields");
  const auto want = [&](const char* key) {
    return asked.empty() || std::find(asked.begin(), asked.end(), key) != asked.end();
  };
  const session_view s = service.session();
  const auto integer = [&](const char* key, std::int64_t value) {
    if (want(key)) out.key(key).integer(value);
  };
  const auto boolean = [&](const char* key, bool value) {
    if (want(key)) out.key(key).boolean(value);
  };
  const auto text = [&](const char* key, const std::string& value) {
    if (want(key)) out.key(key).string(value);
  };
  // The daemon has no alternative ("turtle") limits and no seed ratio
  // limit: both are reported off, which is what it does.
  integer("alt-speed-down", 0);
  boolean("alt-speed-enabled", false);
  integer("alt-speed-time-begin", 0);
  integer("alt-speed-time-day", 0);
  boolean("alt-speed-time-enabled", false);
  integer("alt-speed-time-end", 0);
  integer("alt-speed-up", 0);
  text("config-dir", s.config_dir);
  boolean("dht-enabled", s.dht_enabled);
  text("download-dir", s.download_dir);
  integer("download-dir-free-space", s.download_dir_free_space);
  boolean("lpd-enabled", s.lpd_enabled);
  integer("peer-limit-global", s.peer_limit_global);
  integer("peer-limit-per-torrent", s.peer_limit_per_torrent);
  integer("peer-port", s.peer_port);
  boolean("port-forwarding-enabled", s.port_forwarding_enabled);
  integer("rpc-version", kRpcVersion);
  integer("rpc-version-minimum", kRpcVersionMinimum);
  if (want("seedRatioLimit")) out.key("seedRatioLimit").real(0);
  boolean("seedRatioLimited", false);
  integer("speed-limit-down", s.speed_limit_down);
  boolean("speed-limit-down-enabled", s.speed_limit_down_enabled);
  integer("speed-limit-up", s.speed_limit_up);
  boolean("speed-limit-up-enabled", s.speed_limit_up_enabled);
  text("version", s.version);
  return std::string();
}

std::string session_set(torrent_service& service, const json& args, json_writer&) {
  refuse_unknown(args,
                 {"download-dir", "speed-limit-down", "speed-limit-down-enabled", "speed-limit-up",
                  "speed-limit-up-enabled", "peer-limit-global", "peer-limit-per-torrent"},
                 "session-set");
  session_changes c;
  c.download_dir = read_text(args, "download-dir");
  if (c.download_dir && c.download_dir->empty()) throw bad_argument("download-dir must not be empty");
  c.speed_limit_down = read_count(args, "speed-limit-down");
  c.speed_limit_up = read_count(args, "speed-limit-up");
  c.speed_limit_down_enabled = read_bool(args, "speed-limit-down-enabled");
  c.speed_limit_up_enabled = read_bool(args, "speed-limit-up-enabled");
  set_if(c.peer_limit_global, read_count(args, "peer-limit-global", kMostInt));
  set_if(c.peer_limit_per_torrent, read_count(args, "peer-limit-per-torrent", kMostInt));
  return service.change_session(c);
}

void write_transfer(json_writer& out, const char* key, const transfer_stats& t) {
  out.key(key).begin_object();
  out.key("downloadedBytes").integer(t.downloaded_bytes).key("filesAdded").integer(t.files_added);
  out.key("secondsActive").integer(t.seconds_active).key("sessionCount").integer(t.session_count);
  out.key("uploadedBytes").integer(t.uploaded_bytes).end_object();
}

std::string session_stats_method(torrent_service& service, const json&, json_writer& out) {
  const session_stats s = service.stats();
  out.key("activeTorrentCount").integer(s.active_torrent_count);
  write_transfer(out, "cumulative-stats", s.cumulative);
  write_transfer(out, "current-stats", s.current);
  out.key("downloadSpeed").integer(s.download_speed).key("pausedTorrentCount").integer(s.paused_torrent_count);
  out.key("torrentCount").integer(s.torrent_count).key("uploadSpeed").integer(s.upload_speed);
  return std::string();
}

std::string torrent_get(torrent_service& service, const json& args, json_writer& out) {
  if (!find(args, "fields")) return "no fields specified";
  unsigned groups = 0;
  const std::vector<const torrent_field*> fields = select_fields(read_names(args, "fields"), groups);
  const id_selection which = read_ids(args);
  const std::optional<std::string> format = read_text(args, "format");
  const bool table = format && *format == "table";
  std::vector<torrent_view> torrents;
  std::vector<std::int64_t> removed;
  service.list(which, groups, torrents, removed);
  if (which.recently_active) {
    out.key("removed").begin_array();
    for (std::int64_t id : removed) out.integer(id);
    out.end_array();
  }
  out.key("torrents").begin_array();
  if (table) {
    // The table form: a row of the field names, then one row a torrent.
    out.begin_array();
    for (const torrent_field* f : fields) out.string(f->name);
    out.end_array();
  }
  for (const torrent_view& t : torrents) {
    if (table) {
      out.begin_array();
      for (const torrent_field* f : fields) f->write(out, t);
      out.end_array();
    } else {
      out.begin_object();
      for (const torrent_field* f : fields) f->write(out.key(f->name), t);
      out.end_object();
    }
  }
  out.end_array();
  return std::string();
}

// Base64 as clients send it: line breaks and blanks between the groups are
// dropped before decoding.
bool decode_metainfo(const std::string& text, std::string& bytes) {
  std::string compact;
  compact.reserve(text.size());
  for (char c : text)
    if (!std::isspace(static_cast<unsigned char>(c))) compact.push_back(c);
  return base64_decode(compact, bytes);
}

std::string torrent_add(torrent_service& service, const json& args, json_writer& out) {
  add_request r;
  const std::optional<std::string> metainfo = read_text(args, "metainfo");
  const std::optional<std::string> filename = read_text(args, "filename");
  if (metainfo && !metainfo->empty()) {
    if (!decode_metainfo(*metainfo, r.metainfo) || r.metainfo.empty())
      throw bad_argument("metainfo must be the torrent file in base64");
  } else if (filename && !filename->empty()) {
    r.filename = *filename;
  } else {
    return "no filename or metainfo specified";
  }
  r.download_dir = read_text(args, "download-dir");
  r.paused = read_bool(args, "paused").value_or(false);
  bool all_wanted = false;
  r.files_wanted = read_indices(args, "files-wanted", all_wanted);
  r.files_unwanted = read_indices(args, "files-unwanted", r.every_file_unwanted);
  const add_result added = service.add(r);
  if (!added.error.empty()) return added.error;
  out.key(added.duplicate ? "torrent-duplicate" : "torrent-added").begin_object();
  out.key("hashString").string(added.hash).key("id").integer(added.id).key("name").string(added.name);
  out.end_object();
  return std::string();
}

template <torrent_action action>
std::string torrent_act(torrent_service& service, const json& args, json_writer&) {
  return service.act(action, read_ids(args));
}

std::string torrent_remove(torrent_service& service, const json& args, json_writer&) {
  const id_selection which = read_ids(args);
  return service.remove(which, read_bool(args, "delete-local-data").value_or(false));
}

std::string torrent_set(torrent_service& service, const json& args, json_writer&) {
  refuse_unknown(args,
                 {"ids", "downloadLimit", "downloadLimited", "uploadLimit", "uploadLimited", "peer-limit",
                  "files-wanted", "files-unwanted"},
                 "torrent-set");
  const id_selection which = read_ids(args);
  torrent_changes c;
  c.download_limit = read_count(args, "downloadLimit");
  c.upload_limit = read_count(args, "uploadLimit");
  c.download_limited = read_bool(args, "downloadLimited");
  c.upload_limited = read_bool(args, "uploadLimited");
  set_if(c.peer_limit, read_count(args, "peer-limit", kMostInt));
  c.files_wanted = read_indices(args, "files-wanted", c.every_file_wanted);
  c.files_unwanted = read_indices(args, "files-unwanted", c.every_file_unwanted);
  return service.change(which, c);
}

const std::map<std::string, method, std::less<>>& methods() {
  static const std::map<std::string, method, std::less<>> table = {
      {"session-get", session_get},
      {"session-set", session_set},
      {"session-stats", session_stats_method},
      {"torrent-add", torrent_add},
      {"torrent-get", torrent_get},
      {"torrent-remove", torrent_remove},
      {"torrent-set", torrent_set},
      {"torrent-start", torrent_act<torrent_action::start>},
      // No queue here: a torrent started "now" starts as any other does.
      {"torrent-start-now", torrent_act<torrent_action::start>},
      {"torrent-stop", torrent_act<torrent_action::stop>},
      {"torrent-verify", torrent_act<torrent_action::verify>},
  };
  return table;
}

std::string answer(std::string_view arguments, std::string_view result, std::string_view tag) {
  json_writer out;
  out.begin_object().key("arguments").raw(arguments).key("result").string(result);
  if (!tag.empty()) out.key("tag").raw(tag);
  out.end_object();
  return out.take();
}

}  // namespace

std::string rpc_methods::handle(std::string_view body) noexcept {
  try {
    const json request = json::parse(body.begin(), body.end(), nullptr, false);
    if (request.is_discarded() || !request.is_object())
      return answer("{}", "the request is not a JSON object", std::string_view());
    // A tag of a plain type comes back as it was sent.
    std::string tag;
    const json* t = find(request, "tag");
    if (t && (t->is_number() || t->is_string())) tag = t->dump(-1, ' ', false, json::error_handler_t::replace);
    const json* name = find(request, "method");
    if (!name || !name->is_string()) return answer("{}", "no method name", tag);
    const auto it = methods().find(name->get_ref<const std::string&>());
    if (it == methods().end()) return answer("{}", "method name not recognized", tag);
    static const json kNoArguments = json::object();
    const json* args = find(request, "arguments");
    if (args && !args->is_object()) return answer("{}", "arguments must be an object", tag);
    json_writer out;
    out.begin_object();
    std::string error;
    try {
      error = it->second(service_, args ? *args : kNoArguments, out);
    } catch (const bad_argument& e) {
      error = e.what();
    }
    out.end_object();
    return error.empty() ? answer(out.text(), kSuccess, tag) : answer("{}", error, tag);
  } catch (const std::exception& e) {
    try {
      return answer("{}", std::string("the request failed: ") + e.what(), std::string_view());
    } catch (...) {
    }
  } catch (...) {
  }
  return "{\"arguments\":{},\"result\":\"the request failed\"}";
}

}  // namespace rpc
