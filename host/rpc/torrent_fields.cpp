#include "host/rpc/torrent_fields.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

namespace rpc {

namespace {

void write_strings(json_writer& out, const std::vector<std::string>& values) {
  out.begin_array();
  for (const std::string& v : values) out.string(v);
  out.end_array();
}

void write_file(json_writer& out, const file_view& f) {
  out.begin_object().key("bytesCompleted").integer(f.bytes_completed).key("length").integer(f.length);
  out.key("name").string(f.name).end_object();
}

void write_file_stats(json_writer& out, const file_view& f) {
  out.begin_object().key("bytesCompleted").integer(f.bytes_completed).key("priority").integer(f.priority);
  out.key("wanted").boolean(f.wanted).end_object();
}

void write_peer(json_writer& out, const peer_view& p) {
  out.begin_object().key("address").string(p.address).key("clientName").string(p.client_name);
  out.key("flagStr").string(p.flags).key("port").integer(p.port).key("progress").real(p.progress);
  out.key("rateToClient").integer(p.rate_to_client).key("rateToPeer").integer(p.rate_to_peer).end_object();
}

void write_tracker(json_writer& out, const tracker_view& t) {
  out.begin_object().key("announce").string(t.announce).key("id").integer(t.id);
  out.key("scrape").string(t.scrape).key("tier").integer(t.tier).end_object();
}

void write_tracker_stats(json_writer& out, const tracker_view& t) {
  out.begin_object();
  out.key("announce").string(t.announce).key("announceState").integer(t.announce_state);
  out.key("downloadCount").integer(t.download_count).key("hasAnnounced").boolean(t.has_announced);
  out.key("hasScraped").boolean(t.has_scraped).key("host").string(t.host).key("id").integer(t.id);
  out.key("isBackup").boolean(t.is_backup).key("lastAnnouncePeerCount").integer(t.last_announce_peer_count);
  out.key("lastAnnounceResult").string(t.last_announce_result);
  out.key("lastAnnounceStartTime").integer(t.last_announce_start_time);
  out.key("lastAnnounceSucceeded").boolean(t.last_announce_succeeded);
  out.key("lastAnnounceTime").integer(t.last_announce_time);
  out.key("lastAnnounceTimedOut").boolean(t.last_announce_timed_out);
  out.key("lastScrapeResult").string(t.last_scrape_result);
  out.key("lastScrapeStartTime").integer(t.last_scrape_start_time);
  out.key("lastScrapeSucceeded").boolean(t.last_scrape_succeeded);
  out.key("lastScrapeTime").integer(t.last_scrape_time).key("lastScrapeTimedOut").boolean(t.last_scrape_timed_out);
  out.key("leecherCount").integer(t.leecher_count).key("nextAnnounceTime").integer(t.next_announce_time);
  out.key("nextScrapeTime").integer(t.next_scrape_time).key("scrape").string(t.scrape);
  out.key("scrapeState").integer(t.scrape_state).key("seederCount").integer(t.seeder_count);
  out.key("tier").integer(t.tier).end_object();
}

template <typename T, typename F>
void write_list(json_writer& out, const std::vector<T>& items, F write_item) {
  out.begin_array();
  for (const T& item : items) write_item(out, item);
  out.end_array();
}

using W = json_writer;
using T = torrent_view;

#define BTS_INT(rpc_name, member) \
  { rpc_name, group_basic, [](W& o, const T& t) { o.integer(static_cast<std::int64_t>(t.member)); } }
#define BTS_REAL(rpc_name, member) \
  { rpc_name, group_basic, [](W& o, const T& t) { o.real(t.member); } }
#define BTS_BOOL(rpc_name, member) \
  { rpc_name, group_basic, [](W& o, const T& t) { o.boolean(t.member); } }
#define BTS_TEXT(rpc_name, member) \
  { rpc_name, group_basic, [](W& o, const T& t) { o.string(t.member); } }

const torrent_field kFields[] = {
    BTS_INT("activityDate", activity_date),
    BTS_INT("addedDate", added_date),
    BTS_INT("bandwidthPriority", bandwidth_priority),
    BTS_TEXT("comment", comment),
    BTS_INT("corruptEver", corrupt_ever),
    BTS_TEXT("creator", creator),
    BTS_INT("dateCreated", date_created),
    BTS_INT("desiredAvailable", desired_available),
    BTS_INT("doneDate", done_date),
    BTS_TEXT("downloadDir", download_dir),
    {"downloadedEver", group_totals, [](W& o, const T& t) { o.integer(t.downloaded_ever); }},
    BTS_INT("downloadLimit", download_limit),
    BTS_BOOL("downloadLimited", download_limited),
    BTS_INT("error", error),
    BTS_TEXT("errorString", error_string),
    BTS_INT("eta", eta),
    {"fileStats", group_files, [](W& o, const T& t) { write_list(o, t.files, write_file_stats); }},
    {"files", group_files, [](W& o, const T& t) { write_list(o, t.files, write_file); }},
    BTS_TEXT("hashString", hash),
    BTS_INT("haveUnchecked", have_unchecked),
    BTS_INT("haveValid", have_valid),
    BTS_BOOL("honorsSessionLimits", honors_session_limits),
    BTS_INT("id", id),
    BTS_BOOL("isFinished", is_finished),
    BTS_BOOL("isPrivate", is_private),
    {"labels", group_basic, [](W& o, const T& t) { write_strings(o, t.labels); }},
    BTS_INT("leftUntilDone", left_until_done),
    BTS_TEXT("magnetLink", magnet_link),
    BTS_REAL("metadataPercentComplete", metadata_percent_complete),
    BTS_TEXT("name", name),
    BTS_INT("peer-limit", peer_limit),
    {"peers", group_peers, [](W& o, const T& t) { write_list(o, t.peers, write_peer); }},
    BTS_INT("peersConnected", peers_connected),
    BTS_INT("peersGettingFromUs", peers_getting_from_us),
    BTS_INT("peersSendingToUs", peers_sending_to_us),
    BTS_REAL("percentDone", percent_done),
    {"pieceCount", group_pieces, [](W& o, const T& t) { o.integer(t.piece_count); }},
    {"pieceSize", group_pieces, [](W& o, const T& t) { o.integer(t.piece_size); }},
    {"priorities", group_files,
     [](W& o, const T& t) { write_list(o, t.files, [](W& w, const file_view& f) { w.integer(f.priority); }); }},
    BTS_INT("queuePosition", queue_position),
    BTS_INT("rateDownload", rate_download),
    BTS_INT("rateUpload", rate_upload),
    BTS_REAL("recheckProgress", recheck_progress),
    BTS_INT("secondsDownloading", seconds_downloading),
    BTS_INT("secondsSeeding", seconds_seeding),
    BTS_REAL("seedRatioLimit", seed_ratio_limit),
    BTS_INT("seedRatioMode", seed_ratio_mode),
    BTS_INT("sizeWhenDone", size_when_done),
    BTS_INT("startDate", start_date),
    BTS_INT("status", status),
    BTS_INT("totalSize", total_size),
    {"trackerStats", group_trackers, [](W& o, const T& t) { write_list(o, t.trackers, write_tracker_stats); }},
    {"trackers", group_trackers, [](W& o, const T& t) { write_list(o, t.trackers, write_tracker); }},
    BTS_INT("uploadLimit", upload_limit),
    BTS_BOOL("uploadLimited", upload_limited),
    {"uploadRatio", group_totals, [](W& o, const T& t) { o.real(t.upload_ratio); }},
    BTS_INT("uploadedEver", uploaded_ever),
    // Wanted as 0 or 1, the list form the RPC has always had.
    {"wanted", group_files,
     [](W& o, const T& t) { write_list(o, t.files, [](W& w, const file_view& f) { w.integer(f.wanted ? 1 : 0); }); }},
    {"webseeds", group_basic, [](W& o, const T& t) { write_strings(o, t.webseeds); }},
    BTS_INT("webseedsSendingToUs", webseeds_sending_to_us),
};

#undef BTS_INT
#undef BTS_REAL
#undef BTS_BOOL
#undef BTS_TEXT

}  // namespace

std::vector<const torrent_field*> select_fields(const std::vector<std::string>& names, unsigned& groups) {
  static const std::unordered_map<std::string_view, const torrent_field*> by_name = [] {
    std::unordered_map<std::string_view, const torrent_field*> map;
    for (const torrent_field& f : kFields) map.emplace(f.name, &f);
    return map;
  }();
  std::vector<const torrent_field*> fields;
  groups = 0;
  for (const std::string& name : names) {
    const auto it = by_name.find(name);
    if (it == by_name.end() || std::find(fields.begin(), fields.end(), it->second) != fields.end()) continue;
    fields.push_back(it->second);
    groups |= it->second->group;
  }
  return fields;
}

}  // namespace rpc
