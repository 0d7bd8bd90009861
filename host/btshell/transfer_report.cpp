#include "host/btshell/transfer_report.h"

#include <cstdio>

#include "host/btshell/json_printers.h"
#include "host/btshell/printers.h"
#include "host/btshell/progress_meter.h"

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
      return "failed: " + failure_text(report.failure);
    case transfer_outcome::interrupted:
      return "interrupted by signal " + std::to_string(report.signal) +
             " before it was complete; running the command again continues";
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
  out << "status:         " << r.info.task_status << " (" << status_name(r.info.task_status) << "); StopTask "
      << result_text(r.stop_result) << '\n';
  out << "wanted:         " << byte_size_text(r.info.total_size) << ", " << byte_size_text(r.info.done_size)
      << " of it verified\n";
  out << "this run:       " << byte_size_text(r.received) << " received, " << byte_size_text(r.sent) << " sent in "
      << seconds_text(r.seconds) << '\n';
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
  if (r.failure != 0) failure = {{"code", r.failure}, {"meaning", failure_meaning(r.failure)}};
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
          {"wanted_bytes", r.info.total_size},
          {"done_bytes", r.info.done_size},
          {"received_bytes", r.received},
          {"sent_bytes", r.sent},
          {"uploaded_bytes", r.info.uploaded_size},
          {"seconds", r.seconds},
          {"files", files},
          {"completed_files", r.completed}};
}

}  // namespace btshell
