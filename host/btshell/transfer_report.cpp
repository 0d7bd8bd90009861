#include "host/btshell/transfer_report.h"

#include <cstdio>

#include "host/btshell/json_printers.h"
#include "host/btshell/printers.h"
#include "host/btshell/progress_meter.h"
#include "host/btshell/settings_view.h"
#include "interfaces/bt_task_status.h"

namespace btshell {

namespace {

const char* outcome_name(transfer_outcome outcome) {
  switch (outcome) {
    case transfer_outcome::complete: return "complete";
    case transfer_outcome::failed: return "failed";
    case transfer_outcome::interrupted: return "interrupted";
  }
  return "";
}

const char* file_state_name(ULONG state) {
  switch (state) {
    case 0: return "not wanted";
    case 1: return "incomplete";
    case 2: return "complete";
    default: return "unknown";
  }
}

const char* tracker_state_name(ULONG state) {
  switch (state) {
    case bt_tracker_not_contacted: return "not contacted";
    case bt_tracker_announcing: return "announcing";
    case bt_tracker_answered: return "answered";
    case bt_tracker_failed: return "failed";
    default: return "unknown";
  }
}

// A count the tracker did not give is all ones.
nlohmann::ordered_json count_json(ULONG count) {
  return count == 0xFFFFFFFFu ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(count);
}

// The peers the text report lists; the JSON lists them all.
constexpr std::size_t kPeersListed = 10;

// What a state that was not saved means for the next run.
constexpr char kNotSavedText[] =
    "not saved: running the command again checks the data on disk instead of continuing from the saved state";

std::string seconds_text(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", seconds);
  return text;
}

}  // namespace

std::string outcome_text(const transfer_report& report) {
  switch (report.outcome) {
    case transfer_outcome::complete:
      return report.how == task_creation::upload ? "complete: the data is checked and was offered to peers"
                                                  : "complete: every wanted file is complete and verified";
    case transfer_outcome::failed:
      if (report.failure == 0 && !report.failure_text.empty()) return "failed: " + report.failure_text;
      return "failed: " + failure_text(report.failure);
    case transfer_outcome::interrupted:
      return "interrupted by signal " + std::to_string(report.signal) + " before it was complete" +
             (report.state_saved() ? "; running the command again continues" : "");
  }
  return "";
}

void print_transfer_report(std::ostream& out, const transfer_report& r) {
  out << "seed:           " << r.seed << '\n';
  out << "info hash:      " << r.info_hash << '\n';
  out << "data folder:    " << r.data_folder << '\n';
  out << "task:           " << task_creation_operation(r.how)
      << (r.made_before_kernel ? ", a proxy until the kernel module arrived, then the kernel's task"
                               : ", the kernel's task")
      << '\n';
  out << "result:         " << outcome_text(r) << '\n';
  if (r.outcome == transfer_outcome::failed && r.failure != 0 && !r.failure_text.empty())
    out << "failure:        " << r.failure_text << '\n';
  // The kernel on libtorrent names the file it missed and where it looked;
  // for a kernel that tells nothing, where the files are looked for.
  if (r.outcome == transfer_outcome::failed && r.failure_text.empty() && r.how == task_creation::upload &&
      r.failure == bt_failure_data_incomplete)
    out << "failure:        the files are looked for straight in the data folder, as " << r.data_folder
        << "<their path inside the torrent>, with no folder named after the torrent\n";
  out << "status:         " << r.info.task_status << " (" << status_name(r.info.task_status) << "); StopTask "
      << result_text(r.stop_result) << '\n';
  if (!r.state_saved()) out << "state:          " << kNotSavedText << '\n';
  out << "wanted:         " << byte_size_text(r.info.total_size) << ", " << byte_size_text(r.info.done_size)
      << " of it verified\n";
  out << "this run:       " << byte_size_text(r.totals.received) << " received, " << byte_size_text(r.totals.sent)
      << " sent in " << seconds_text(r.seconds) << '\n';
  char ratio[32];
  std::snprintf(ratio, sizeof ratio, "%.2f", r.upload_ratio);
  out << "upload ratio:   " << ratio << " (over every run)\n";
  if (r.settings.is_object()) {
    out << "settings:      ";
    const char* separator = " ";
    for (const auto& [key, value] : r.settings.items()) {
      out << separator << key << " " << setting_text(value);
      separator = ", ";
    }
    out << '\n';
  }
  if (r.swarm.known) {
    out << "trackers:       " << r.swarm.trackers.size() << '\n';
    // What trackers and peers sent is shown with its control characters as '?'.
    for (const tracker_state& t : r.swarm.trackers)
      out << "  " << terminal_text(t.url) << ": " << terminal_text(t.answer) << '\n';
    out << "peers seen:     " << r.swarm.peers_seen.size() << '\n';
    for (std::size_t i = 0; i < r.swarm.peers_seen.size() && i < kPeersListed; ++i)
      out << "  " << terminal_text(r.swarm.peers_seen[i]) << '\n';
    if (r.swarm.peers_seen.size() > kPeersListed)
      out << "  ... and " << r.swarm.peers_seen.size() - kPeersListed << " more\n";
  } else {
    out << "trackers:       " << r.seed_trackers.size() << " (the kernel does not tell what they answered)\n";
    for (const std::string& url : r.seed_trackers) out << "  " << url << '\n';
  }
  out << "files:\n";
  for (const transfer_report::file& f : r.files) {
    std::string size = size_text(f.state.size);
    if (size.size() < 15) size.insert(0, 15 - size.size(), ' ');
    std::string state = file_state_name(f.state.state);
    state.resize(12, ' ');
    out << "  " << state << size << "  " << f.path << '\n';
  }
}

nlohmann::ordered_json transfer_report_json(const transfer_report& r) {
  nlohmann::ordered_json files = nlohmann::ordered_json::array();
  for (std::size_t i = 0; i < r.files.size(); ++i) {
    const transfer_report::file& f = r.files[i];
    files.push_back({{"index", i},
                     {"path", json_text(f.path)},
                     {"size", f.state.size},
                     {"done", f.state.done},
                     {"state", file_state_name(f.state.state)}});
  }
  nlohmann::ordered_json failure = nullptr;
  if (r.failure != 0)
    failure = {{"code", r.failure},
               {"meaning", failure_meaning(r.failure)},
               {"text", r.failure_text.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(json_text(r.failure_text))}};
  nlohmann::ordered_json trackers = nlohmann::ordered_json::array();
  nlohmann::ordered_json peers = nullptr;
  if (r.swarm.known) {
    for (const tracker_state& t : r.swarm.trackers)
      trackers.push_back({{"url", json_text(t.url)},
                          {"state", tracker_state_name(t.info.state)},
                          {"answer", json_text(t.answer)},
                          {"peers", t.info.peers},
                          {"seeds", count_json(t.info.seeds)},
                          {"leechers", count_json(t.info.leechers)}});
    peers = nlohmann::ordered_json::array();
    for (const std::string& p : r.swarm.peers_seen) peers.push_back(json_text(p));
  } else {
    for (const std::string& url : r.seed_trackers)
      trackers.push_back({{"url", json_text(url)}, {"state", nullptr}, {"answer", nullptr}, {"peers", nullptr},
                          {"seeds", nullptr}, {"leechers", nullptr}});
  }
  return {{"seed", json_text(r.seed)},
          {"info_hash", r.info_hash},
          {"data_folder", json_text(r.data_folder)},
          {"creation", task_creation_operation(r.how)},
          {"made_before_kernel", r.made_before_kernel},
          {"result", outcome_name(r.outcome)},
          {"signal", r.signal == 0 ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(r.signal)},
          {"failure", failure},
          {"status", r.info.task_status},
          {"status_name", status_name(r.info.task_status)},
          {"stop_result", r.stop_result},
          {"state_saved", r.state_saved()},
          {"wanted_bytes", r.info.total_size},
          {"done_bytes", r.info.done_size},
          {"received_bytes", r.totals.received},
          {"sent_bytes", r.totals.sent},
          {"uploaded_bytes", r.info.uploaded_size},
          {"upload_ratio", r.upload_ratio},
          {"seconds", r.seconds},
          {"settings", r.settings},
          {"files", files},
          {"completed_files", r.completed},
          {"trackers", trackers},
          {"peers_seen", peers}};
}

}  // namespace btshell
