// btshell download and btshell seed: one task made through the shell as a
// host makes it (transfer_task.h), watched until its wanted files are
// complete (an upload task: until its data is checked), then, for seeding,
// kept running for the time asked; a progress display on stderr, the report
// on stdout.
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <optional>

#include "host/btshell/commands.h"
#include "host/btshell/interrupt_signals.h"
#include "host/btshell/printers.h"
#include "host/btshell/progress_meter.h"
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

std::size_t terminal_width() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

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

// How long the task runs once complete; none: until interrupted.
std::optional<std::chrono::seconds> time_after_completion(const command_line& line, bool upload) {
  if (!upload) return std::chrono::seconds(line.transfer.seed_after);
  if (line.transfer.seed_for) return std::chrono::seconds(*line.transfer.seed_for);
  return std::nullopt;
}

// Watches `task` until it fails, is interrupted, or has run for the time
// asked once complete; fills the outcome and the last state of `report`.
void watch(transfer_task& task, const SEED_FILE_INFO& seed, std::optional<std::chrono::seconds> after,
           const interrupt_signals& signals, progress_display& display, transfer_report& report) {
  bool complete = false;
  std::optional<clock::time_point> end;
  for (;;) {
    for (const task_event_queue::event& e : task.events().take()) {
      if (e.number != 3) continue;  // status and progress are read below
      const ULONG index = static_cast<ULONG>(e.value);
      report.completed.push_back(index);
      if (index < seed.file_count) display.note("file complete: " + file_path(seed.files[index]));
    }
    report.info = task.info();
    display.show(report.info);
    const clock::time_point now = clock::now();
    if (report.info.task_status == bt_task_failed) {
      report.failure = task.failure();
      report.outcome = transfer_outcome::failed;
      return;
    }
    if (!complete && is_complete(report.info.task_status)) {
      complete = true;
      if (after) end = now + *after;
    }
    report.outcome = complete ? transfer_outcome::complete : transfer_outcome::interrupted;
    if ((report.signal = signals.caught()) != 0) {
      display.note("signal " + std::to_string(report.signal) + ": stopping the task (it saves its state)");
      return;
    }
    if (end && now >= *end) return;
    task.events().wait(kTick);
  }
}

int exit_status(const transfer_report& report) {
  switch (report.outcome) {
    case transfer_outcome::complete: return exit_ok;
    case transfer_outcome::failed: return exit_failed;
    case transfer_outcome::interrupted: return 128 + report.signal;
  }
  return exit_failed;
}

int run_transfer(const session_settings& settings, const command_line& line, bool upload, std::ostream& out,
                 std::ostream& err) {
  task_request request;
  request.seed = line.arguments[0];
  request.data_folder = folder_argument(line.arguments[1]);
  request.files = line.transfer.files;
  std::string error;
  if (!peer_items(line.transfer.peers, request.extras, error)) {
    err << "btshell: " << error << '\n';
    return exit_failed;
  }
  host_session session(settings);
  if (!open_session(session, err)) return exit_failed;
  IBitTorrent2* shell = session.shell();
  SEED_FILE_INFO* raw = nullptr;
  const HRESULT parsed = shell->ParseSeedFile(to_tag_string(request.seed), &raw);
  seed_info_ptr seed(raw, seed_info_release{shell});
  if (parsed != S_OK || !seed) return report_failure(err, "ParseSeedFile", request.seed, parsed);
  if (upload)
    request.how = task_creation::upload;
  else if (shell->IsTempFileExist(to_tag_string(""), to_tag_string(request.seed)) == S_OK)
    request.how = task_creation::continued;  // the task's state is beside the seed

  transfer_report report;
  report.seed = request.seed;
  report.info_hash = info_hash_hex(seed->info_hash);
  report.data_folder = request.data_folder;
  report.how = request.how;
  const interrupt_signals signals;
  progress_display display(err, isatty(STDERR_FILENO) ? progress_display::style::bar : progress_display::style::lines,
                           terminal_width(), kLineInterval);
  const clock::time_point began = clock::now();
  transfer_task task(session);
  const HRESULT created = task.create(request);
  if (FAILED(created)) return report_failure(err, task_creation_operation(request.how), request.seed, created);
  report.made_before_kernel = task.made_before_kernel();
  if (report.made_before_kernel)
    display.note(std::string("task: ") + task_creation_operation(request.how) +
                 " gave a proxy task; the shell asked the host for " + request_text(*session.host().downloader()));
  task.start();
  if (!task.fetch_kernel()) {
    display.note("kernel: the kernel module could not be installed from " + session.modules_dir());
    report.info = task.info();
    report.failure = task.failure();
    report.outcome = transfer_outcome::failed;
  } else {
    if (report.made_before_kernel)
      display.note("kernel: installed from " + session.modules_dir() + "; the proxy handed over to the kernel's task");
    watch(task, *seed, time_after_completion(line, upload), signals, display, report);
    report.received = task.received_bytes();
    report.sent = task.sent_bytes();
    for (ULONG i = 0; i < seed->file_count; ++i)
      report.files.push_back({file_path(seed->files[i]), task.file_state(i)});
  }
  report.stop_result = task.stop();
  report.seconds = std::chrono::duration<double>(clock::now() - began).count();
  display.finish(report.info);
  if (line.json)
    out << transfer_report_json(report).dump(2) << '\n';
  else
    print_transfer_report(out, report);
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
