#include "host/rpc/rpc_methods.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "common/utility.h"
#include "rpc/test_front.h"

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
  json call(const char* body) { return call(std::string(body)); }
  json call(const json& request) { return call(request.dump()); }
};

TEST_F(Methods, TorrentGetWritesEachFieldWithItsJsonType) {
  // Everything transmission-remote's -l, -i, -f, -pi and -it ask for, and
  // the web page's extras. An integer written as 0.0 drops the row from the
  // client's list.
  const struct { const char* names; bool (json::*is)() const noexcept; } kinds[] = {
      {"activityDate addedDate bandwidthPriority corruptEver dateCreated desiredAvailable doneDate downloadedEver "
       "downloadLimit error eta haveUnchecked haveValid id leftUntilDone peer-limit peersConnected "
       "peersGettingFromUs peersSendingToUs pieceCount pieceSize queuePosition rateDownload rateUpload "
       "secondsDownloading secondsSeeding seedRatioMode sizeWhenDone startDate status totalSize uploadLimit "
       "uploadedEver webseedsSendingToUs", &json::is_number_integer},
      {"metadataPercentComplete percentDone recheckProgress seedRatioLimit uploadRatio", &json::is_number_float},
      {"downloadLimited honorsSessionLimits isFinished isPrivate uploadLimited", &json::is_boolean},
      {"comment creator downloadDir errorString hashString magnetLink name", &json::is_string},
      {"fileStats files labels peers priorities trackerStats trackers wanted webseeds", &json::is_array},
  };
  json names = {"noSuchField"};
  for (const auto& k : kinds) {
    std::istringstream in(k.names);
    for (std::string name; in >> name;) names.push_back(name);
  }
  service.torrents[0].name = "bad \xff utf-8\x01";
  const json reply = call(json{{"method", "torrent-get"}, {"arguments", {{"fields", names}}}});
  ASSERT_EQ("success", reply["result"]);
  const json& t = reply["arguments"]["torrents"][0];
  EXPECT_EQ(names.size() - 1, t.size());  // the unknown field left out
  for (const auto& k : kinds) {
    std::istringstream in(k.names);
    for (std::string name; in >> name;) EXPECT_TRUE((t[name].*k.is)()) << name << " = " << t[name].dump();
  }
  EXPECT_EQ("bad \xef\xbf\xbd utf-8\x01", t["name"]);
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
      {{"pieceSize", "uploadRatio", "pieceCount"}, rpc::group_pieces | rpc::group_totals},
      {{"fileStats", "noSuchField"}, rpc::group_files},
  };
  for (const auto& r : rows) {
    EXPECT_EQ("success", call(json{{"method", "torrent-get"}, {"arguments", {{"fields", r.fields}}}})["result"]);
    EXPECT_EQ(r.groups, service.groups) << r.fields;
  }
  // The table form: names first, then a row a torrent; a field asked twice comes once.
  const json table = call(R"({"method":"torrent-get","arguments":{"fields":["id","name","id"],"format":"table"}})");
  EXPECT_EQ(json({{"id", "name"}, {1, "alpha"}, {2, "beta"}}), table["arguments"]["torrents"]);
  EXPECT_EQ("no fields specified", call(R"({"method":"torrent-get"})")["result"]);
}

TEST_F(Methods, IdsInEveryFormAndNoneForAnEmptyList) {
  const struct { const char* ids; bool all, recent; std::vector<std::int64_t> numbers; std::vector<std::string> hashes; } rows[] = {
      {"", true, false, {}, {}},
      {R"(,"ids":2)", false, false, {2}, {}},
      {R"(,"ids":[1,"BBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBB"])", false, false, {1}, {std::string(40, 'b')}},
      {R"(,"ids":"recently-active")", false, true, {}, {}},
      {R"(,"ids":[])", false, false, {}, {}},
  };
  for (const auto& r : rows) {
    EXPECT_EQ("success", call(std::string(R"({"method":"torrent-stop","arguments":{"x":0)") + r.ids + "}}")["result"]);
    EXPECT_EQ(r.all, service.which.all) << r.ids;
    EXPECT_EQ(r.recent, service.which.recently_active) << r.ids;
    EXPECT_EQ(r.numbers, service.which.ids) << r.ids;
    EXPECT_EQ(r.hashes, service.which.hashes) << r.ids;
  }
  // Ids that cannot be read refuse the request: a remove is never widened
  // to every torrent, nor the service called.
  service.calls.clear();
  for (const char* ids : {"\"garbage\"", "-1", "[1, 2.5]", "[{}]", "18446744073709551615", "true"})
    EXPECT_NE("success", call(std::string(R"({"method":"torrent-remove","arguments":{"ids":)") + ids + "}}")["result"]);
  EXPECT_TRUE(service.calls.empty());
  service.removed_ids = {7};
  const json recent = call(R"({"method":"torrent-get","arguments":{"ids":"recently-active","fields":["id"]}})");
  EXPECT_EQ(json({7}), recent["arguments"]["removed"]);
  EXPECT_FALSE(call(R"({"method":"torrent-get","arguments":{"fields":["id"]}})")["arguments"].contains("removed"));
}

TEST_F(Methods, TagsUnknownMethodsBadBodiesAndRefusedChanges) {
  const struct { std::string body; const char* result; json tag; } rows[] = {
      {R"({"method":"session-stats","tag":7})", "success", 7},
      {R"({"method":"session-stats","tag":"t"})", "success", "t"},
      {R"({"method":"session-stats","tag":[1]})", "success", nullptr},
      {R"({"method":"blow-up","tag":3})", "method name not recognized", 3},
      {R"({"tag":3})", "no method name", 3},
      {R"({"method":"session-get","arguments":[]})", "arguments must be an object", nullptr},
      {"", "the request is not a JSON object", nullptr},
      {"[1,2]", "the request is not a JSON object", nullptr},
      {"{\"method\":\"session-get\",\"tag\":\"\xff\"}", "the request is not a JSON object", nullptr},
      {std::string(100000, '[') + std::string(100000, ']'), "the request is not a JSON object", nullptr},
      // Refused, and nothing changed: a change that cannot be made is not a success.
      {R"({"method":"torrent-set","arguments":{"downloadLimit":-5}})", nullptr, nullptr},
      {R"({"method":"torrent-set","arguments":{"seedRatioLimit":2}})", nullptr, nullptr},
      {R"({"method":"session-set","arguments":{"alt-speed-enabled":true}})", nullptr, nullptr},
      {R"({"method":"session-set","arguments":{"peer-limit-global":1e3}})", nullptr, nullptr},
      {R"({"method":"session-set","arguments":{"download-dir":""}})", nullptr, nullptr},
  };
  for (const auto& r : rows) {
    service.calls.clear();
    const json reply = call(r.body);
    if (r.result) EXPECT_EQ(r.result, reply["result"]) << r.body.substr(0, 80);
    else EXPECT_NE("success", reply["result"]) << r.body;
    EXPECT_TRUE(r.result || service.calls.empty()) << r.body;
    EXPECT_EQ(r.tag, reply.contains("tag") ? reply["tag"] : json(nullptr)) << r.body.substr(0, 80);
  }
}

TEST_F(Methods, SessionAndTorrentChangesReachTheService) {
  service.session_state.version = "9.9";
  const json all = call(R"({"method":"session-get"})")["arguments"];
  EXPECT_EQ(16, all["rpc-version"]);
  EXPECT_EQ(1, all["rpc-version-minimum"]);
  EXPECT_TRUE(all["speed-limit-down"].is_number_integer() && all["download-dir-free-space"].is_number_integer());
  EXPECT_EQ(json({{"version", "9.9"}}), call(R"({"method":"session-get","arguments":{"fields":["version"]}})")["arguments"]);

  EXPECT_EQ("success", call(R"({"method":"session-set","arguments":{"speed-limit-down":50,
      "speed-limit-down-enabled":1,"download-dir":"/x","peer-limit-global":20}})")["result"]);
  const rpc::session_changes& s = service.session_changes;
  EXPECT_TRUE(s.speed_limit_down == 50 && s.speed_limit_down_enabled == true && s.download_dir == "/x" &&
              s.peer_limit_global == 20 && !s.speed_limit_up);

  EXPECT_EQ("success", call(R"({"method":"torrent-set","arguments":{"ids":[1],"downloadLimit":30,
      "downloadLimited":true,"peer-limit":9,"files-wanted":[],"files-unwanted":[0,2]}})")["result"]);
  const rpc::torrent_changes& c = service.changes;
  EXPECT_TRUE(c.download_limit == 30 && c.download_limited == true && c.peer_limit == 9 && c.every_file_wanted &&
              !c.every_file_unwanted && !c.upload_limit);
  EXPECT_EQ((std::vector<int>{0, 2}), c.files_unwanted);

  const struct { const char* method; rpc::torrent_action action; } actions[] = {
      {"torrent-start", rpc::torrent_action::start}, {"torrent-start-now", rpc::torrent_action::start},
      {"torrent-verify", rpc::torrent_action::verify}, {"torrent-stop", rpc::torrent_action::stop}};
  for (const auto& a : actions) {
    EXPECT_EQ("success", call(json{{"method", a.method}})["result"]);
    EXPECT_EQ(a.action, service.action) << a.method;
  }
  EXPECT_EQ("success", call(R"({"method":"torrent-remove","arguments":{"ids":2,"delete-local-data":true}})")["result"]);
  EXPECT_TRUE(service.delete_local_data);
  service.failure = "no such torrent";
  EXPECT_EQ("no such torrent", call(R"({"method":"torrent-stop","arguments":{"ids":9}})")["result"]);
}

TEST_F(Methods, TorrentAdd) {
  // The seed's bytes, NULs and high bytes included, arrive decoded; line
  // breaks in the base64 are dropped; metainfo wins over a filename.
  const std::string seed("d4:info\0\xff\xfe" "e", 11);
  std::string encoded = base64_encode(seed.data(), seed.size());
  encoded.insert(4, "\r\n");
  json reply = call(json{{"method", "torrent-add"},
                         {"arguments", {{"metainfo", encoded}, {"download-dir", "/d"}, {"paused", true},
                                        {"files-unwanted", json::array()}, {"filename", "ignored"}}}});
  ASSERT_EQ("success", reply["result"]);
  EXPECT_TRUE(service.added.metainfo == seed && service.added.filename.empty() && service.added.download_dir == "/d" &&
              service.added.paused && service.added.every_file_unwanted);
  EXPECT_EQ(json({{"hashString", std::string(40, 'a')}, {"id", 100}, {"name", "new"}}),
            reply["arguments"]["torrent-added"]);
  EXPECT_EQ(1, call(R"({"method":"torrent-add","arguments":{"filename":"alpha"}})")["arguments"]["torrent-duplicate"]["id"]);

  service.calls.clear();
  for (const char* args : {R"({"metainfo":"not base64!"})", R"({})", R"({"filename":""})", R"({"metainfo":5})",
                           R"({"filename":"x","files-wanted":["a"]})"})
    EXPECT_NE("success", call(std::string(R"({"method":"torrent-add","arguments":)") + args + "}")["result"]) << args;
  EXPECT_TRUE(service.calls.empty());
}

}  // namespace
