// What the RPC front asks of the daemon, in the daemon's terms: the RPC
// methods (rpc_methods.h) read the request's JSON into these records, call
// the service, and write the answer's JSON from what it gives back. Names
// follow the RPC's fields; sizes are bytes, rates bytes per second, times
// seconds since the epoch (0: never), limits KiB/s.
//
// Threads: the front calls the service from its own thread, one call at a
// time; the service guards its state against its other threads itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rpc {

// Which torrents a request names: "ids" absent (all), a number, a list of
// numbers and 40-digit hashes, or "recently-active" (changed in the last
// minute; the answer then also lists the ids removed in that time). With
// `all` and `recently_active` false the torrents are those of `ids` and
// `hashes` and no other: an empty list names none.
struct id_selection {
  bool all = true;
  bool recently_active = false;
  std::vector<std::int64_t> ids;
  std::vector<std::string> hashes;  // lower-case hexadecimal
};

// The torrent's status as the RPC counts it.
enum class torrent_status : int {
  stopped = 0,
  check_wait = 1,
  checking = 2,
  download_wait = 3,
  downloading = 4,
  seed_wait = 5,
  seeding = 6,
};

struct file_view {
  std::string name;  // "<torrent name>/<path>" for a folder torrent, else the name
  std::int64_t length = 0;
  std::int64_t bytes_completed = 0;
  bool wanted = true;
  int priority = 0;  // -1 low, 0 normal, 1 high
};

struct tracker_view {
  int id = 0;
  int tier = 0;
  std::string announce;
  std::string host;  // scheme://host:port
  std::string last_announce_result;
  bool has_announced = false;
  bool last_announce_succeeded = false;
  int last_announce_peer_count = 0;
  int seeder_count = -1, leecher_count = -1;
  std::int64_t next_announce_time = 0;
  int announce_state = 0;  // 0 inactive, 1 waiting, 2 queued, 3 active
  std::string scrape;      // the scrape address; empty: none
  bool is_backup = false;
  std::int64_t last_announce_time = 0, last_announce_start_time = 0;
  bool last_announce_timed_out = false;
  bool has_scraped = false, last_scrape_succeeded = false, last_scrape_timed_out = false;
  std::string last_scrape_result;
  std::int64_t last_scrape_time = 0, last_scrape_start_time = 0, next_scrape_time = 0;
  int scrape_state = 0;    // as announce_state
  int download_count = -1; // -1: not known
};

struct peer_view {
  std::string address;
  int port = 0;
  std::string client_name;
  std::string flags;    // one letter a state: "D" downloading from it, "U" uploading to it, "E" encrypted...
  double progress = 0;  // 0 to 1
  std::int64_t rate_to_client = 0, rate_to_peer = 0;
};

// Groups of fields that cost something to gather; torrent-get asks the
// service only for those that its "fields" need.
enum field_group : unsigned {
  group_basic = 1,     // everything not below
  group_files = 2,     // files, fileStats, priorities, wanted
  group_peers = 4,     // peers
  group_trackers = 8,  // trackers, trackerStats
  group_pieces = 16,   // pieceCount, pieceSize
  group_totals = 32,   // downloadedEver, uploadRatio: the task's transfer totals
};

struct torrent_view {
  std::int64_t id = 0;
  std::string hash;  // 40 lower-case hexadecimal digits
  std::string name;
  torrent_status status = torrent_status::stopped;
  bool fetching_metadata = false;  // a magnet link waiting for its metadata
  double metadata_percent_complete = 1;
  int error = 0;                   // 0 none, 3 a local error (errorString says which)
  std::string error_string;
  std::string download_dir;        // without the trailing '/'
  std::int64_t total_size = 0, size_when_done = 0, left_until_done = 0, have_valid = 0, have_unchecked = 0;
  std::int64_t desired_available = 0;
  double percent_done = 0, recheck_progress = 0;
  std::int64_t rate_download = 0, rate_upload = 0;
  std::int64_t eta = -1;           // -1 not known, -2 never
  double upload_ratio = -1;        // -1: nothing downloaded yet
  std::int64_t downloaded_ever = 0, uploaded_ever = 0, corrupt_ever = 0;
  int peers_connected = 0, peers_getting_from_us = 0, peers_sending_to_us = 0;
  std::int64_t added_date = 0, activity_date = 0, done_date = 0, start_date = 0, date_created = 0;
  std::int64_t seconds_downloading = 0, seconds_seeding = 0;
  bool is_finished = false, is_private = false;
  std::string comment, creator, magnet_link;
  std::int64_t piece_count = 0, piece_size = 0;
  std::int64_t download_limit = 0, upload_limit = 0;  // KiB/s
  bool download_limited = false, upload_limited = false;
  int peer_limit = 0;
  bool honors_session_limits = true;
  int bandwidth_priority = 0;      // -1 low, 0 normal, 1 high
  int seed_ratio_mode = 0;         // 0 the session's, 1 the torrent's own, 2 unlimited
  double seed_ratio_limit = 0;
  int queue_position = 0;
  std::vector<std::string> labels, webseeds;
  int webseeds_sending_to_us = 0;
  std::vector<file_view> files;
  std::vector<tracker_view> trackers;
  std::vector<peer_view> peers;
};

struct add_request {
  std::string metainfo;  // the seed's bytes (decoded from base64); empty: `filename`
  std::string filename;  // a local path or a magnet link
  std::optional<std::string> download_dir;
  bool paused = false;
  std::vector<int> files_wanted, files_unwanted;  // empty: every file wanted
  bool every_file_unwanted = false;               // "files-unwanted": [] (nothing is fetched until changed)
};

struct add_result {
  std::string error;      // empty: added (or already there)
  bool duplicate = false; // the torrent was there already: id, name and hash are its own
  std::int64_t id = 0;
  std::string name, hash;
};

enum class torrent_action { start, stop, verify };

struct torrent_changes {
  std::optional<std::int64_t> download_limit, upload_limit;  // KiB/s
  std::optional<bool> download_limited, upload_limited;
  std::optional<int> peer_limit;
  std::vector<int> files_wanted, files_unwanted;  // file indices
  bool every_file_wanted = false, every_file_unwanted = false;  // the list given was empty: every file
};

struct session_view {
  std::string version;            // the daemon's
  std::string config_dir, download_dir;
  std::int64_t download_dir_free_space = -1;
  std::int64_t speed_limit_down = 0, speed_limit_up = 0;  // KiB/s
  bool speed_limit_down_enabled = false, speed_limit_up_enabled = false;
  int peer_limit_global = 0, peer_limit_per_torrent = 0;
  int peer_port = 0;
  bool dht_enabled = true, lpd_enabled = true, port_forwarding_enabled = true;
};

struct session_changes {
  std::optional<std::string> download_dir;
  std::optional<std::int64_t> speed_limit_down, speed_limit_up;
  std::optional<bool> speed_limit_down_enabled, speed_limit_up_enabled;
  std::optional<int> peer_limit_global, peer_limit_per_torrent;
};

struct transfer_stats {
  std::int64_t uploaded_bytes = 0, downloaded_bytes = 0, files_added = 0;
  std::int64_t session_count = 0, seconds_active = 0;
};

struct session_stats {
  int active_torrent_count = 0, paused_torrent_count = 0, torrent_count = 0;
  std::int64_t download_speed = 0, upload_speed = 0;
  transfer_stats current, cumulative;
};

class torrent_service {
 public:
  virtual ~torrent_service() = default;

  // The torrents selected, with the groups of fields asked for filled in;
  // `removed` gets the ids removed within the last minute (asked for with
  // recently-active only).
  virtual void list(const id_selection& which, unsigned groups, std::vector<torrent_view>& out,
                    std::vector<std::int64_t>& removed) = 0;
  virtual add_result add(const add_request& request) = 0;
  // Each returns an empty text on success, else what failed in words.
  virtual std::string act(torrent_action action, const id_selection& which) = 0;
  virtual std::string remove(const id_selection& which, bool delete_local_data) = 0;
  virtual std::string change(const id_selection& which, const torrent_changes& changes) = 0;
  virtual session_view session() = 0;
  virtual std::string change_session(const session_changes& changes) = 0;
  virtual session_stats stats() = 0;
};

}  // namespace rpc
