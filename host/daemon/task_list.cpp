#include "host/daemon/task_list.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "platform/posix_fd.h"

namespace daemon_host {
namespace {

using json = nlohmann::json;

constexpr int kListVersion = 1;

json to_json(const task_record& t) {
  return json{{"id", t.id},
              {"hash", t.hash},
              {"name", t.name},
              {"seed", t.seed},
              {"magnet", t.magnet},
              {"data-dir", t.data_dir},
              {"wanted", t.wanted},
              {"started", t.started},
              {"download-limit", t.download_limit},
              {"upload-limit", t.upload_limit},
              {"download-limited", t.download_limited},
              {"upload-limited", t.upload_limited},
              {"peer-limit", t.peer_limit},
              {"added", t.added},
              {"done", t.done}};
}

// False for an entry that lacks what a task needs or holds values of the wrong kind.
bool from_json(const json& j, task_record& t) {
  try {
    t.id = j.at("id").get<std::int64_t>();
    t.hash = j.at("hash").get<std::string>();
    t.name = j.value("name", std::string());
    t.seed = j.value("seed", std::string());
    t.magnet = j.value("magnet", std::string());
    t.data_dir = j.at("data-dir").get<std::string>();
    t.wanted = j.value("wanted", std::vector<ULONG>());
    t.started = j.value("started", true);
    t.download_limit = j.value("download-limit", std::int64_t{0});
    t.upload_limit = j.value("upload-limit", std::int64_t{0});
    t.download_limited = j.value("download-limited", false);
    t.upload_limited = j.value("upload-limited", false);
    t.peer_limit = j.value("peer-limit", 0);
    t.added = j.value("added", std::int64_t{0});
    t.done = j.value("done", std::int64_t{0});
  } catch (const json::exception&) {
    return false;
  }
  if (t.id <= 0 || t.hash.size() != 40 || t.data_dir.empty() || (t.seed.empty() && t.magnet.empty())) return false;
  if (t.data_dir.back() != '/') t.data_dir += '/';
  return true;
}

}  // namespace

task_list load_task_list(const std::string& path, std::vector<std::string>& problems) {
  task_list list;
  std::string text;
  if (platform::read_file_whole(path, text) != 0) return list;
  const json document = json::parse(text, nullptr, false);
  if (document.is_discarded() || !document.is_object() || !document.contains("tasks") ||
      !document["tasks"].is_array()) {
    const std::string aside = path + ".damaged";
    std::rename(path.c_str(), aside.c_str());
    problems.push_back("the task list " + path + " is damaged; it was kept as " + aside +
                       " and the daemon starts without tasks");
    return list;
  }
  std::int64_t highest = 0;
  std::size_t position = 0;
  for (const json& entry : document["tasks"]) {
    ++position;
    task_record record;
    if (!from_json(entry, record)) {
      problems.push_back("entry " + std::to_string(position) + " of the task list " + path +
                         " is no task; it is skipped");
      continue;
    }
    if (record.id > highest) highest = record.id;
    list.tasks.push_back(std::move(record));
  }
  const json next = document.value("next-id", json(1));
  list.next_id = next.is_number_integer() ? next.get<std::int64_t>() : 1;
  const json totals = document.value("totals", json::object());
  if (totals.is_object()) {
    auto count = [&](const char* key) {
      const json v = totals.value(key, json(0));
      return v.is_number_integer() ? v.get<std::int64_t>() : 0;
    };
    list.totals = {count("uploaded"), count("downloaded"), count("files-added"), count("sessions"),
                   count("seconds-active")};
  }
  if (list.next_id <= highest) list.next_id = highest + 1;
  return list;
}

int save_task_list(const std::string& path, const task_list& list) {
  json tasks = json::array();
  for (const task_record& t : list.tasks) tasks.push_back(to_json(t));
  const std::string text =
      json{{"version", kListVersion},
           {"next-id", list.next_id},
           {"totals",
            {{"uploaded", list.totals.uploaded},
             {"downloaded", list.totals.downloaded},
             {"files-added", list.totals.files_added},
             {"sessions", list.totals.sessions},
             {"seconds-active", list.totals.seconds_active}}},
           {"tasks", std::move(tasks)}}
          .dump(1) +
      "\n";
  return platform::replace_file_whole(path, text.data(), text.size());
}

}  // namespace daemon_host
