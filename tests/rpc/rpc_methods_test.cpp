#include "host/rpc/rpc_methods.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "common/utility.h"
#include "rpc/fake_torrent_service.h"

namespace {

using nlohmann::json;

struct Methods : ::testing::Test {
  bts_test::fake_torrent_service service;
  rpc::rpc_methods methods{service};

  Methods() { bts_test::add_sample_torrents(service); }

  // The answer, which must always be a JSON object with a result.
  json call(const std::string& body) {
    const json reply = json::parse(methods.handle(body), nullptr, false);
    EXPECT_TRUE(reply.is_object() && reply["result"].is_string() && reply["arguments"].is_object()) << body;
    return reply;
  }
  json call(const json& request) { return call(request.dump()); }
  json call(const char* body) { return call(std::string(body)); }
};

TEST_F(Methods, TorrentGetWritesEachFieldWithItsJsonType) {
  // Everything transmission-remote's -l, -i, -f, -pi and -it ask for and
  // the web page's extras. An integer field written as 0.0 would drop the
  // row from the client's list; a ratio written as 0 would not be a real.
  enum kind { integer, real, boolean, text, list };
  const struct { const char* name; kind k; } fields[] = {
      {"activityDate", integer}, {"addedDate", integer}, {"bandwidthPriority", integer}, {"comment", text},
      {"corruptEver", integer}, {"creator", text}, {"dateCreated", integer}, {"desiredAvailable", integer},
      {"doneDate", integer}, {"downloadDir", text}, {"downloadedEver", integer}, {"downloadLimit", integer},
      {"downloadLimited", boolean}, {"error", integer}, {"errorString", text}, {"eta", integer},
      {"fileStats", list}, {"files", list}, {"hashString", text}, {"haveUnchecked", integer},
      {"haveValid", integer}, {"honorsSessionLimits", boolean}, {"id", integer}, {"isFinished", boolean},
      {"isPrivate", boolean}, {"labels", list}, {"leftUntilDone", integer}, {"magnetLink", text},
      {"metadataPercentComplete", real}, {"name", text}, {"peer-limit", integer}, {"peers", list},
      {"peersConnected", integer}, {"peersGettingFromUs", integer}, {"peersSendingToUs", integer},
      {"percentDone", real}, {"pieceCount", integer}, {"pieceSize", integer}, {"priorities", list},
      {"queuePosition", integer}, {"rateDownload", integer}, {"rateUpload", integer}, {"recheckProgress", real},
      {"secondsDownloading", integer}, {"secondsSeeding", integer}, {"seedRatioLimit", real},
      {"seedRatioMode", integer}, {"sizeWhenDone", integer}, {"startDate", integer}, {"status", integer},
      {"totalSize", integer}, {"trackerStats", list}, {"trackers", list}, {"uploadLimit", integer},
      {"uploadLimited", boolean}, {"uploadRatio", real}, {"uploadedEver", integer}, {"wanted", list},
      {"webseeds", list}, {"webseedsSendingToUs", integer},
  };
  json names = json::array();
  for (const auto& f : fields) names.push_back(f.name);
  names.push_back("noSuchField");
  service.torrents[0].name = "bad \xff utf-8\x01";
  const json reply = call(json{{"method", "torrent-get"}, {"arguments", {{"fields", names}}}});
  ASSERT_EQ("success", reply["result"]);
  const json& t = reply["arguments"]["torrents"][0];
  EXPECT_EQ(std::size(fields), t.size());  // the unknown field left out
  for (const auto& f : fields) {
    const json& v = t[f.name];
    const bool ok = f.k == integer ? v.is_number_integer()
                    : f.k == real  ? v.is_number_float()
                    : f.k == boolean ? v.is_boolean()
                    : f.k == text  ? v.is_string()
                                   : v.is_array();
    EXPECT_TRUE(ok) << f.name << " = " << v.dump();
  }
  EXPECT_EQ("bad \xef\xbf\xbd utf-8\x01", t["name"]);
  EXPECT_EQ(4, t["status"]);
  for (const char* key : {"downloadCount", "lastAnnounceTime", "nextScrapeTime", "seederCount"})
    EXPECT_TRUE(t["trackerStats"][0][key].is_number_integer()) << key;
  EXPECT_TRUE(t["peers"][0]["progress"].is_number_float());
  EXPECT_EQ(json({{{"bytesCompleted", 750}, {"length", 1000}, {"name", "alpha"}}}), t["files"]);
  EXPECT_EQ(json({1}), t["wanted"]);
}

TEST_F(Methods, TorrentGetAsksOnlyForTheGroupsItsFieldsNeed) {
  const struct { json fields; unsigned groups; } rows[] = {
      {{"id", "name", "eta"}, rpc::group_basic},
      {{"files", "name", "priorities", "wanted"}, rpc::group_basic | rpc::group_files},
      {{"peers"}, rpc::group_peers},
      {{"trackerStats", "trackers"}, rpc::group_trackers},
      {{"fileStats", "noSuchField"}, rpc::group_files},
      {json::array(), 0},
  };
  for (const auto& r : rows) {
    const json reply = call(json{{"method", "torrent-get"}, {"arguments", {{"fields", r.fields}}}});
    EXPECT_EQ("success", reply["result"]) << r.fields;
    EXPECT_EQ(r.groups, service.groups) << r.fields;
  }
  // The table form: names first, then one row a torrent; a field asked twice comes once.
  const json table = call(json{{"method", "torrent-get"},
                                {"arguments", {{"fields", {"id", "name", "id"}}, {"format", "table"}}}});
  EXPECT_EQ(json({{"id", "name"}, {1, "alpha"}, {2, "beta"}}), table["arguments"]["torrents"]);
  EXPECT_EQ("no fields specified", call(R"({"method":"torrent-get"})")["result"]);
}

TEST_F(Methods, IdsInEveryFormAndNoneForAnEmptyList) {
  const std::string upper(40, 'B');
  const struct { const char* ids; bool all, recent; std::vector<std::int64_t> numbers; std::vector<std::string> hashes; } rows[] = {
      {nullptr, true, false, {}, {}},
      {"2", false, false, {2}, {}},
      {"[1, \"BBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBB\"]", false, false, {1}, {std::string(40, 'b')}},
      {"\"recently-active\"", false, true, {}, {}},
      {"[]", false, false, {}, {}},
  };
  for (const auto& r : rows) {
    const std::string args = r.ids ? std::string(",\"ids\":") + r.ids : "";
    EXPECT_EQ("success", call(R"({"method":"torrent-stop","arguments":{"x":0)" + args + "}}")["result"]) << r.ids;
    EXPECT_EQ(r.all, service.which.all);
    EXPECT_EQ(r.recent, service.which.recently_active);
    EXPECT_EQ(r.numbers, service.which.ids);
    EXPECT_EQ(r.hashes, service.which.hashes);
  }
  // Ids that name nothing readable refuse the request: a remove is never
  // widened to every torrent, nor the service called.
  service.calls.clear();
  for (const char* ids : {"\"garbage\"", "-1", "[1, 2.5]", "[{}]", "18446744073709551615", "true"}) {
    const json reply = call(std::string(R"({"method":"torrent-remove","arguments":{"ids":)") + ids + "}}");
    EXPECT_NE("success", reply["result"]) << ids;
  }
  EXPECT_TRUE(service.calls.empty());
  service.removed_ids = {7};
  const json recent = call(R"({"method":"torrent-get","arguments":{"ids":"recently-active","fields":["id"]}})");
  EXPECT_EQ(json({7}), recent["arguments"]["removed"]);
}

TEST_F(Methods, TagsMethodsAndBadBodies) {
  const struct { std::string body; const char* result; json tag; } rows[] = {
      {R"({"method":"session-stats","tag":7})", "success", 7},
      {R"({"method":"session-stats","tag":"t"})", "success", "t"},
      {R"({"method":"session-stats","tag":[1]})", "success", nullptr},
      {R"({"method":"blow-up","tag":3})", "method name not recognized", 3},
      {R"({"tag":3})", "no method name", 3},
      {R"({"method":"session-get","arguments":[]})", "arguments must be an object", nullptr},
      {"", "the request is not a JSON object", nullptr},
      {"not json", "the request is not a JSON object", nullptr},
      {"[1,2]", "the request is not a JSON object", nullptr},
      {"{\"method\":\"session-get\",\"tag\":\"\xff\"}", "the request is not a JSON object", nullptr},
      {std::string(100000, '[') + std::string(100000, ']'), "the request is not a JSON object", nullptr},
      {R"({"method":"torrent-set","arguments":{"downloadLimit":-5}})", nullptr, nullptr},
      {R"({"method":"torrent-set","arguments":{"seedRatioLimit":2}})", nullptr, nullptr},
      {R"({"method":"session-set","arguments":{"alt-speed-enabled":true}})", nullptr, nullptr},
      {R"({"method":"session-set","arguments":{"peer-limit-global":1e3}})", nullptr, nullptr},
  };
  for (const auto& r : rows) {
    service.calls.clear();
    const json reply = call(r.body);
    if (r.result) {
      EXPECT_EQ(r.result, reply["result"]) << r.body.substr(0, 80);
    } else {  // refused, and nothing changed
      EXPECT_NE("success", reply["result"]) << r.body;
      EXPECT_TRUE(service.calls.empty()) << r.body;
    }
    EXPECT_EQ(r.tag, reply.contains("tag") ? reply["tag"] : json(nullptr)) << r.body.substr(0, 80);
  }
}

TEST_F(Methods, SessionMethods) {
  service.session_state.version = "9.9";
  service.session_state.download_dir = "/dl";
  service.session_state.speed_limit_down = 100;
  service.stats_state.cumulative.uploaded_bytes = 5;
  const json all = call(R"({"method":"session-get"})")["arguments"];
  EXPECT_EQ(16, all["rpc-version"]);
  EXPECT_EQ(1, all["rpc-version-minimum"]);
  EXPECT_EQ("9.9", all["version"]);
  EXPECT_EQ("/dl", all["download-dir"]);
  EXPECT_TRUE(all["speed-limit-down"].is_number_integer() && all["download-dir-free-space"].is_number_integer());
  EXPECT_TRUE(all["seedRatioLimit"].is_number_float());
  EXPECT_EQ(json({{"version", "9.9"}}), call(R"({"method":"session-get","arguments":{"fields":["version"]}})")["arguments"]);
  EXPECT_EQ(5, call(R"({"method":"session-stats"})")["arguments"]["cumulative-stats"]["uploadedBytes"]);

  EXPECT_EQ("success", call(R"({"method":"session-set","arguments":{"speed-limit-down":50,
      "speed-limit-down-enabled":1,"download-dir":"/x","peer-limit-global":20}})")["result"]);
  EXPECT_EQ(50, service.session_changes.speed_limit_down);
  EXPECT_EQ(true, service.session_changes.speed_limit_down_enabled);
  EXPECT_EQ("/x", service.session_changes.download_dir);
  EXPECT_EQ(20, service.session_changes.peer_limit_global);
  EXPECT_FALSE(service.session_changes.speed_limit_up);
  service.failure = "the disk is full";
  EXPECT_EQ("the disk is full", call(R"({"method":"session-set","arguments":{"download-dir":"/y"}})")["result"]);
}

TEST_F(Methods, TorrentChangesReachTheService) {
  EXPECT_EQ("success", call(R"({"method":"torrent-set","arguments":{"ids":[1],"downloadLimit":30,
      "downloadLimited":true,"peer-limit":9,"files-wanted":[],"files-unwanted":[0,2]}})")["result"]);
  EXPECT_EQ(30, service.changes.download_limit);
  EXPECT_EQ(true, service.changes.download_limited);
  EXPECT_EQ(9, service.changes.peer_limit);
  EXPECT_TRUE(service.changes.every_file_wanted);
  EXPECT_EQ((std::vector<int>{0, 2}), service.changes.files_unwanted);
  EXPECT_FALSE(service.changes.every_file_unwanted || service.changes.upload_limit);

  const struct { const char* method; rpc::torrent_action action; } actions[] = {
      {"torrent-start", rpc::torrent_action::start}, {"torrent-start-now", rpc::torrent_action::start},
      {"torrent-verify", rpc::torrent_action::verify}, {"torrent-stop", rpc::torrent_action::stop}};
  for (const auto& a : actions) {
    EXPECT_EQ("success", call(json{{"method", a.method}})["result"]) << a.method;
    EXPECT_EQ(a.action, service.action) << a.method;
  }
  EXPECT_EQ("success", call(R"({"method":"torrent-remove","arguments":{"ids":2,"delete-local-data":true}})")["result"]);
  EXPECT_TRUE(service.delete_local_data);
  service.failure = "no such torrent";
  EXPECT_EQ("no such torrent", call(R"({"method":"torrent-stop","arguments":{"ids":9}})")["result"]);
}

TEST_F(Methods, TorrentAdd) {
  // The seed's bytes, NULs and high bytes included, arrive decoded, line
  // breaks of the base64 dropped.
  const std::string seed("d4:info\0\xff\xfe" "e", 11);
  std::string encoded = base64_encode(seed.data(), seed.size());
  encoded.insert(4, "\r\n");
  json reply = call(json{{"method", "torrent-add"},
                         {"arguments", {{"metainfo", encoded}, {"download-dir", "/d"}, {"paused", true},
                                        {"files-unwanted", json::array()}, {"filename", "ignored"}}}});
  ASSERT_EQ("success", reply["result"]);
  EXPECT_EQ(seed, service.added.metainfo);
  EXPECT_EQ("", service.added.filename);
  EXPECT_EQ("/d", service.added.download_dir);
  EXPECT_TRUE(service.added.paused && service.added.every_file_unwanted);
  EXPECT_EQ(json({{"hashString", std::string(40, 'a')}, {"id", 100}, {"name", "new"}}),
            reply["arguments"]["torrent-added"]);

  reply = call(R"({"method":"torrent-add","arguments":{"filename":"alpha"}})");
  EXPECT_EQ(1, reply["arguments"]["torrent-duplicate"]["id"]);
  EXPECT_EQ("alpha", service.added.filename);

  service.calls.clear();
  for (const char* args : {R"({"metainfo":"not base64!"})", R"({})", R"({"filename":""})", R"({"metainfo":5})",
                           R"({"filename":"x","files-wanted":["a"]})"})
    EXPECT_NE("success", call(std::string(R"({"method":"torrent-add","arguments":)") + args + "}")["result"]) << args;
  EXPECT_TRUE(service.calls.empty());
}

}  // namespace
