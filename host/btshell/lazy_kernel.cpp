// The lazy-kernel scenario: the host creates a task and gives it commands
// before the kernel module exists; the shell hands out a proxy task and asks
// the host for the kernel; when the host's module downloader installs it,
// the proxy has the kernel create the real task and replays the commands in
// order. The recording kernel's journal shows what reached the kernel.
#include <string>
#include <vector>

#include "host/btshell/commands.h"
#include "host/btshell/printers.h"
#include "host/btshell/task_event_queue.h"
#include "host/download_lib/host_service.h"
#include "host/download_lib/module_downloader.h"
#include "interfaces/IVirtualTask.h"
#include "interfaces/string_types.h"

namespace btshell {

namespace {

void heading(std::ostream& out, int step, const std::string& text) {
  out << '\n' << step << ". " << text << '\n';
}

void call(std::ostream& out, const std::string& what, HRESULT result) {
  out << "  " << what << " -> " << result_text(result) << '\n';
}

std::string real_task_text(IVirtualTask* virtual_task) {
  com_ptr<ITask> real;
  const HRESULT hr = virtual_task->GetRealTask(real.put());
  if (FAILED(hr)) return "GetRealTask failed: " + result_text(hr);
  return real ? "the kernel's task" : "none yet";
}

std::string requests_text(const module_downloader& downloader) {
  std::string text;
  for (const module_downloader::request& r : downloader.requests()) {
    if (!text.empty()) text += ", ";
    text += r.name + " " + std::to_string(r.major) + "." + std::to_string(r.minor);
  }
  return text.empty() ? std::string("none") : text;
}

}  // namespace

int run_lazy_kernel(const session_settings& settings, const command_line& line, std::ostream& out,
                    std::ostream& err) {
  const std::string& seed = line.arguments[0];
  const std::string& data_folder = line.arguments[1];
  host_session session(settings);
  if (!open_session(session, err)) return exit_failed;
  IBitTorrent2* shell = session.shell();
  download_lib& host = session.host();
  module_downloader& downloader = *host.downloader();
  host_service& service = *host.service();
  const std::string folder = folder_argument(data_folder);

  out << "plugin module:  " << session.loaded_module() << '\n';
  out << "modules folder: " << settings.modules_dir << '\n';
  out << "kernel registered with the host: " << (host.is_registered(IID_IBitTorrentKernel) ? "yes" : "no") << '\n';

  heading(out, 1, "The host creates a task; the kernel module is not there yet");
  com_ptr<IBtTask> created;
  const HRESULT created_hr = shell->CreateNewTask(to_tag_string(seed), to_tag_string(folder), 0, nullptr, 0,
                                                  nullptr, created.put());
  call(out, "CreateNewTask(" + seed + ", " + folder + ")", created_hr);
  if (created_hr != S_OK || !created) {
    err << "btshell: CreateNewTask " << seed << ": " << result_text(created_hr) << '\n';
    return exit_failed;
  }
  com_ptr<IBtTask3> task;
  com_ptr<IVirtualTask> virtual_task;
  if (FAILED(created.query(IID_IBtTask3, task)) || FAILED(created.query(IID_IVirtualTask, virtual_task))) {
    err << "btshell: the task handed out answers neither IBtTask3 nor IVirtualTask\n";
    return exit_failed;
  }
  created.reset();
  // Every call is made before its line is written, so that log lines (-v)
  // never land inside a line of the report.
  const std::string no_real_task = real_task_text(virtual_task.get());
  const HRESULT not_failed = virtual_task->IsModuleDownloadFailed();
  out << "  the task is a proxy: real task " << no_real_task << ", IsModuleDownloadFailed -> "
      << result_text(not_failed) << '\n';
  out << "  module downloader: requested " << requests_text(downloader) << "; " << downloader.pending_count()
      << " pending\n";
  out << "  host events:\n";
  print_host_events(out, service.events(), 0, "    ");
  const std::size_t events_seen = service.events().size();

  heading(out, 2, "The host gives the task its commands; the proxy records them");
  com_ptr<task_event_queue> sink = task_event_queue::create();
  const HRESULT attached = task->AttachEvents(sink.get());
  call(out, "AttachEvents(host sink)", attached);
  call(out, "SetDispatchStrategy(2)", task->SetDispatchStrategy(2));
  call(out, "SetStatParam(\"source\", \"btshell\", \"demo\", 7)",
       task->SetStatParam(to_tag_string("source"), to_tag_string("btshell"), to_tag_string("demo"), 7));
  const ULONG wanted[] = {0};
  call(out, "ResetNeedDownloadFile([0])", task->ResetNeedDownloadFile(1, wanted));
  const ULONG order[] = {1, 0};
  call(out, "SetFileDownOrder([1,0])", task->SetFileDownOrder(2, order));
  call(out, "StartTask()", task->StartTask());

  heading(out, 3, "The module downloader serves the request: libbt_kernel.so is loaded and registers its kernel");
  const std::size_t ended = downloader.complete_pending();
  out << "  complete_pending() -> " << ended << " request(s) ended\n";
  out << "  host events:\n";
  print_host_events(out, service.events(), events_seen, "    ");
  kernel_probe kernel = session.kernel();
  if (!kernel.valid() && session.host().is_registered(IID_IBitTorrentKernel)) {
    if (SUCCEEDED(attached)) task->DetachEvents(sink.get());
    err << "btshell: the kernel module of " << settings.modules_dir
        << " keeps no journal: lazy-kernel shows the recording kernel's\n";
    return exit_failed;
  }
  if (!kernel.valid()) {
    LONG detail = 0;
    const HRESULT detail_hr = task->GetFailureDetail(&detail);
    const HRESULT failed = virtual_task->IsModuleDownloadFailed();
    out << "  no kernel: IsModuleDownloadFailed -> " << result_text(failed) << ", GetFailureDetail -> "
        << result_text(detail_hr) << ", code " << detail << '\n';
    if (SUCCEEDED(attached)) task->DetachEvents(sink.get());
    err << "btshell: the kernel module could not be installed from " << settings.modules_dir
        << " (is libbt_kernel.so there?)\n";
    return exit_failed;
  }
  const std::string real_task = real_task_text(virtual_task.get());
  out << "  the proxy's real task: " << real_task << '\n';
  const std::vector<std::string> journal = kernel.journal();
  out << "  the kernel's journal: the real task created, the recorded commands replayed in order\n";
  print_lines(out, journal, 0, "    ");

  heading(out, 4, "The real task raises an event; the proxy relays it to the host's sink");
  call(out, "task1 raises OnBtTaskEvent1(42)", kernel.raise_task_event(1, 1, 42));
  const std::vector<task_event_queue::event> heard = sink->heard();
  out << "  the host's sink heard:";
  for (const task_event_queue::event& e : heard) out << ' ' << event_text(e);
  out << (heard.empty() ? " nothing\n" : "\n");

  heading(out, 5, "The host calls the task, which now goes straight to the kernel; then stops and releases it");
  call(out, "SetDispatchStrategy(3)", task->SetDispatchStrategy(3));
  call(out, "DetachEvents(host sink)", task->DetachEvents(sink.get()));
  call(out, "StopTask()", task->StopTask());
  task.reset();
  virtual_task.reset();
  const std::vector<std::string> later = kernel.journal();
  out << "  the kernel's journal since:\n";
  print_lines(out, later, journal.size(), "    ");
  const ULONG created_count = kernel.tasks_created();
  const ULONG alive_count = kernel.tasks_alive();
  out << "  kernel tasks: " << created_count << " created, " << alive_count << " alive\n";
  return exit_ok;
}

}  // namespace btshell
