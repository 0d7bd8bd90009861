// btshell download and btshell seed: one task made through the shell as a
// host makes it (transfer_task.h), watched until its wanted files are
// complete (an upload task: until its data is checked), then, for seeding,
// kept running for the time or up to the upload ratio asked; a progress
// display on stderr, the report on stdout. The settings in force (the
// options over the settings file, host_settings::resolve) reach the kernel
// through kernel_link as it registers; a seed given by URL or magnet link
// is made a file of the state folder first.
#include <unistd.h>

#include <log4cplus/logger.h>
#include <log4cplus/loggingmacros.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>

#include "host/btshell/commands.h"
#include "host/btshell/file_selection.h"
#include "host/btshell/interrupt_signals.h"
#include "host/btshell/kernel_link.h"
#include "host/btshell/magnet_fetch.h"
#include "host/btshell/magnet_link.h"
#include "host/btshell/logging_setup.h"
#include "host/btshell/peers_view.h"
#include "host/btshell/printers.h"
#include "host/btshell/progress_meter.h"
#include "host/btshell/seed_url.h"
#include "host/btshell/settings_view.h"
#include "host/settings/host_settings.h"
#include "host/btshell/swarm_notes.h"
#include "host/btshell/transfer_report.h"
#include "host/btshell/transfer_task.h"
#include "host/download_lib/module_downloader.h"
#include "interfaces/bt_task_status.h"
#include "interfaces/string_types.h"

namespace btshell {

namespace {

using clock = std::chrono::steady_clock;

// How often the task is looked at when it raises no event.
constexpr std::chrono::milliseconds kTick{250};
// Between two plain progress lines.
constexpr std::chrono::seconds kLineInterval{3};

bool is_complete(ULONG status) { return status == bt_task_finished || status == bt_task_seeding; }

std::string file_path(const SEED_FILE_ITEM& item) {
  return std::string(item.path, item.path_len) + std::string(item.name, item.name_len);
}

std::string request_text(const module_downloader& downloader) {
  const std::vector<module_downloader::request> requests = downloader.requests();
  if (requests.empty()) return "nothing";
  const module_downloader::request& r = requests.back();
  return r.name + " " + std::to_string(r.major) + "." + std::to_string(r.minor);
}

// When the task ends once complete: after a time, once an upload ratio is
// reached, whichever comes first; neither: when interrupted.
struct seeding_end {
  std::optional<std::chrono::seconds> after;
  std::optional<double> ratio;
};

seeding_end seeding_end_of(const command_line& line, bool upload) {
  seeding_end end;
  end.ratio = line.transfer.seed_ratio;
  const std::optional<unsigned> seconds = upload ? line.transfer.seed_for : line.transfer.seed_after;
  if (seconds)
    end.after = std::chrono::seconds(*seconds);
  else if (!upload && !end.ratio)
    end.after = std::chrono::seconds(0);  // a download ends once complete
  return end;
}

// The files completed in this run, each told once ("file complete:"): as
// their events come, and, after the stop, every file that is complete under
// another name than it had when the kernel's task began, whether or not its
// event came (a kernel names a file finally once it is verified). So the
// report holds every file that completed, whatever the events did.
class completed_files {
 public:
  completed_files(const SEED_FILE_INFO& seed, progress_display& display, std::vector<ULONG>& completed)
      : seed_(seed), display_(display), completed_(completed), told_(seed.file_count, false) {}

  // Where each file is as the kernel's task begins.
  void began(const transfer_task& task) {
    for (ULONG i = 0; i < seed_.file_count; ++i) at_start_.push_back(task.disk_path(i));
  }
  // The completions among the events that have come.
  void take(task_event_queue& events) {
    for (const task_event_queue::event& e : events.take())
      if (e.number == 3) add(e.value);  // status and progress are read from the task
  }
  // After the stop (every event raised before it is in the queue): the
  // events left, then each file's state, into `files`.
  void settle(const transfer_task& task, std::vector<transfer_report::file>& files) {
    take(task.events());
    for (ULONG i = 0; i < seed_.file_count; ++i) {
      files.push_back({file_path(seed_.files[i]), task.file_state(i)});
      if (files.back().state.state == 2 && i < at_start_.size() && task.disk_path(i) != at_start_[i]) add(i);
    }
  }

 private:
  void add(ULONG_PTR index) {
    if (index >= told_.size() || told_[index]) return;
    told_[index] = true;
    completed_.push_back(static_cast<ULONG>(index));
    display_.note("file complete: " + file_path(seed_.files[index]));
  }

  const SEED_FILE_INFO& seed_;
  progress_display& display_;
  std::vector<ULONG>& completed_;
  std::vector<bool> told_;
  std::vector<std::string> at_start_;
};

// Watches `task` until it fails, is interrupted, or has seeded as `end`
// says once complete; fills the outcome and the last state of `report`.
// `peers`: what --peers shows; null without it.
void watch(transfer_task& task, const seeding_end& end, const interrupt_signals& signals, progress_display& display,
           swarm_notes& notes, peers_watch* peers, completed_files& completed, transfer_report& report) {
  static const std::vector<std::string> kNothingBelow;
  bool complete = false;
  std::optional<clock::time_point> deadline;
  for (;;) {
    completed.take(task.events());
    report.info = task.info();
    const clock::time_point now = clock::now();
    display.show(report.info, peers ? peers->look(task, report.info, now) : kNothingBelow, now);
    if (report.info.task_status == bt_task_failed) {
      report.failure = task.failure();
      report.failure_text = task.failure_text();
      report.outcome = transfer_outcome::failed;
      return;
    }
    if (!complete && is_complete(report.info.task_status)) {
      complete = true;
      if (end.after) deadline = now + *end.after;
    }
    report.outcome = complete ? transfer_outcome::complete : transfer_outcome::interrupted;
    if ((report.signal = signals.caught()) != 0) {
      display.note("signal " + std::to_string(report.signal) + ": stopping the task (it saves its state)");
      return;
    }
    if (deadline && now >= *deadline) return;
    if (complete && end.ratio) {
      const transfer_totals totals = task.totals();
      if (upload_ratio(totals.sent_all, totals.received_all, report.info.total_size) >= *end.ratio) {
        char ratio[32];
        std::snprintf(ratio, sizeof ratio, "%g", *end.ratio);
        display.note(std::string("upload ratio ") + ratio + " reached: stopping the task");
        return;
      }
    }
    if (notes.due(report.info, now)) {
      const std::string note = notes.note(task.swarm());
      if (!note.empty()) display.note(note);
    }
    task.events().wait(kTick);
  }
}

int exit_status(const transfer_report& report) {
  switch (report.outcome) {
    case transfer_outcome::complete: return report.state_saved() ? exit_ok : exit_failed;
    case transfer_outcome::failed: return exit_failed;
    case transfer_outcome::interrupted: return 128 + report.signal;
  }
  return exit_failed;
}

// The data folder as the task needs it: a download's is made with its
// parents (the shell makes one level only, and tells no reason); a seed
// uploads what is there and makes none. False with the reason written.
bool prepare_data_folder(const std::string& folder, bool upload, std::ostream& err) {
  std::error_code error;
  if (upload) {
    if (std::filesystem::is_directory(folder, error)) return true;
    err << "btshell: the data folder " << folder
        << (std::filesystem::exists(folder, error) ? " is not a folder" : " does not exist")
        << " (seed uploads the files already in it and makes no folder)\n";
    return false;
  }
  std::filesystem::create_directories(folder, error);
  if (!error && std::filesystem::is_directory(folder, error)) return true;
  err << "btshell: cannot make the data folder " << folder << ": "
      << (error ? error.message() : std::string("a file is in the way")) << '\n';
  return false;
}

// Where --peers tells the changes in the swarm: the log when one is asked
// for (-v, --log-config), else plain lines when there is no bar to show them.
std::function<void(const std::string&)> peer_changes_teller(const command_line& line, bool bar,
                                                            progress_display& display) {
  if (line.verbose || !line.log_config.empty())
    return [](const std::string& change) {
      LOG4CPLUS_INFO(log4cplus::Logger::getInstance(LOG4CPLUS_TEXT("btshell.peers")),
                     LOG4CPLUS_STRING_TO_TSTRING(change));
    };
  if (!bar) return [&display](const std::string& change) { display.note(change); };
  return nullptr;
}

// Ends the process now, the report written: a second interruption asked
// for a quick end, and the state is saved.
[[noreturn]] void end_quickly(std::ostream& out, std::ostream& err, int status) {
  out.flush();
  err.flush();
  std::fflush(nullptr);
  std::_Exit(status);
}

int run_transfer(const session_settings& settings, const command_line& line, bool upload, std::ostream& out,
                 std::ostream& err) {
  host_settings::in_force in_force;
  std::string error;
  if (!host_settings::resolve(line.settings.config, true, line.settings.values, in_force, error)) {
    err << "btshell: " << error << '\n';
    return exit_usage;
  }
  const host_settings::settings& values = in_force.values;
  task_request request;
  request.seed = line.arguments[0];
  request.data_folder = folder_argument(line.arguments[1]);
  if (!peer_items(line.transfer.peers, request.extras, error)) {
    err << "btshell: " << error << '\n';
    return exit_failed;
  }
  // Caught until the session is closed: a signal of the same request that
  // comes while the modules are let go must not end btshell half-way.
  interrupt_signals signals;
  host_session session(settings);
  if (!open_session(session, err)) return exit_failed;
  IBitTorrent2* shell = session.shell();
  // Attached before anything loads the kernel module: the kernel takes the
  // settings as it registers, before its session opens a socket.
  const attached_kernel_link kernel(session.host());
  kernel->set_session(host_settings::kernel_values(values));
  const auto note = [&err](const std::string& text) { err << text << '\n'; };
  // Seeds fetched by URL or made from a magnet link's metadata are kept
  // where the daemon keeps its seeds, and the task's state beside them.
  const std::string torrents = values.state_dir + "/torrents/";
  if (is_seed_url(request.seed)) {
    request.seed = seed_from_url(shell, request.seed, torrents, signals, note, error);
    if (request.seed.empty()) {
      err << "btshell: " << error << '\n';
      return exit_failed;
    }
  } else if (is_magnet_link(request.seed)) {
    if (const auto magnet = parse_magnet_link(request.seed))
      if (!peer_items(magnet->peers, request.extras, error)) {
        err << "btshell: " << error << '\n';
        return exit_failed;
      }
    request.seed = seed_from_magnet(session, *kernel, request.seed, torrents, signals, note, error);
    if (request.seed.empty()) {
      err << "btshell: " << error << '\n';
      return exit_failed;
    }
  }
  SEED_FILE_INFO* raw = nullptr;
  const HRESULT parsed = shell->ParseSeedFile(to_tag_string(request.seed), &raw);
  seed_info_ptr seed(raw, seed_info_release{shell});
  if (parsed != S_OK || !seed) return report_failure(err, "ParseSeedFile", request.seed, parsed);
  if (!line.transfer.files.empty()) {
    std::vector<std::string> paths;
    for (ULONG i = 0; i < seed->file_count; ++i) paths.push_back(file_path(seed->files[i]));
    if (!select_files(line.transfer.files, paths, request.files, error)) {
      err << "btshell: " << error << '\n';
      return exit_failed;
    }
  }
  if (upload)
    request.how = task_creation::upload;
  else if (shell->IsTempFileExist(to_tag_string(""), to_tag_string(request.seed)) == S_OK)
    request.how = task_creation::continued;  // the task's state is beside the seed

  if (!prepare_data_folder(request.data_folder, upload, err)) return exit_failed;

  transfer_report report;
  report.seed = request.seed;
  report.info_hash = info_hash_hex(seed->info_hash);
  report.data_folder = request.data_folder;
  report.how = request.how;
  for (ULONG i = 0; i < seed->tracker_count; ++i)
    report.seed_trackers.emplace_back(seed->trackers[i].url, seed->trackers[i].url_len);
  // The task limits of the settings file hold for this task too.
  kernel->set_task(report.info_hash, host_settings::task_values(values.task_download_limit, values.task_upload_limit,
                                                                values.task_connections_limit));
  const progress_display::style shown = stderr_style(!line.log_config.empty());
  const bool bar = shown == progress_display::style::bar;
  progress_display display(err, shown, STDERR_FILENO, kLineInterval);
  // While the display lives, what btshell tells goes through it, above the bar.
  std::ostream& told = display.text();
  const log_lines_to log_lines([&display](const std::string& text) { display.note(text); });
  completed_files completed(*seed, display, report.completed);
  const clock::time_point began = clock::now();
  transfer_task task(session);
  const HRESULT created = task.create(request);
  if (FAILED(created)) return report_failure(told, task_creation_operation(request.how), request.seed, created);
  report.made_before_kernel = task.made_before_kernel();
  if (report.made_before_kernel)
    display.note(std::string("task: ") + task_creation_operation(request.how) +
                 " gave a proxy task; the shell asked the host for " + request_text(*session.host().downloader()));
  task.start();
  const bool fetched = task.fetch_kernel();
  const std::string refused = kernel->refused();
  if (!fetched) {
    display.note("kernel: the kernel module could not be installed from " + session.modules_dir());
    report.info = task.info();
    report.failure = task.failure();
    report.outcome = transfer_outcome::failed;
  } else if (!refused.empty()) {
    // Run with settings other than those asked for, it would not do what
    // the user said (listen elsewhere, say): stopped at once instead.
    report.info = task.info();
    report.failure_text = "the kernel refused the settings " + refused;
    report.outcome = transfer_outcome::failed;
  } else {
    completed.began(task);
    if (report.made_before_kernel)
      display.note("kernel: installed from " + session.modules_dir() + "; the proxy handed over to the kernel's task");
    swarm_notes notes(line.transfer.peers, seed->tracker_count, clock::now());
    std::optional<peers_watch> peers;
    if (line.transfer.show_peers) peers.emplace(peer_changes_teller(line, bar, display));
    watch(task, seeding_end_of(line, upload), signals, display, notes, peers ? &*peers : nullptr, completed, report);
    report.totals = task.totals();
    report.swarm = task.swarm();
    report.upload_ratio = upload_ratio(report.totals.sent_all, report.totals.received_all, report.info.total_size);
    report.settings = kernel_settings_json(*kernel);
  }
  report.stop_result = task.stop();
  const bool hurried = signals.state_saved();
  if (fetched) completed.settle(task, report.files);
  report.seconds = std::chrono::duration<double>(clock::now() - began).count();
  display.finish(report.info);
  if (line.json)
    out << transfer_report_json(report).dump(2) << '\n';
  else
    print_transfer_report(out, report);
  out.flush();  // the report is out, whatever ends the process later
  if (hurried) end_quickly(out, err, exit_status(report));
  return exit_status(report);
}

}  // namespace

int run_download(const session_settings& settings, const command_line& line, std::ostream& out, std::ostream& err) {
  return run_transfer(settings, line, false, out, err);
}

int run_seed(const session_settings& settings, const command_line& line, std::ostream& out, std::ostream& err) {
  return run_transfer(settings, line, true, out, err);
}

}  // namespace btshell
