#include "host/kernel_probe/kernel_probe.h"

#include "com_utility/StringSetter.h"

namespace {

tagSTRING view(const std::string& s) { return tagSTRING{static_cast<ULONG>(s.size()), s.c_str()}; }

}  // namespace

kernel_probe::kernel_probe(IUnknown* kernel) {
  if (kernel) kernel->QueryInterface(IID_IBtKernelProbe, probe_.put_void());
}

std::vector<std::string> kernel_probe::journal() const {
  std::vector<std::string> lines;
  if (!probe_) return lines;
  CStringArraySetter setter(&lines);
  probe_->GetJournal(&setter);
  return lines;
}

std::vector<std::string> kernel_probe::journal(const std::string& prefix) const {
  std::vector<std::string> selected;
  for (std::string& line : journal())
    if (line.compare(0, prefix.size(), prefix) == 0) selected.push_back(std::move(line));
  return selected;
}

void kernel_probe::clear_journal() const {
  if (probe_) probe_->ClearJournal();
}

void kernel_probe::set_result(const std::string& operation, HRESULT result) const {
  if (probe_) probe_->SetResult(view(operation), result);
}

void kernel_probe::set_value(const std::string& key, ULONG value) const {
  if (probe_) probe_->SetValue(view(key), value);
}

void kernel_probe::reset_answers() const {
  if (probe_) probe_->ResetAnswers();
}

HRESULT kernel_probe::set_option(ULONG option, bool on) const {
  return probe_ ? probe_->SetOption(option, on ? TRUE : FALSE) : E_POINTER;
}

HRESULT kernel_probe::raise_kernel_event1(ULONG_PTR value) const {
  return probe_ ? probe_->RaiseKernelEvent1(value) : E_POINTER;
}

HRESULT kernel_probe::raise_kernel_event2(ULONG_PTR value1, ULONG_PTR value2) const {
  return probe_ ? probe_->RaiseKernelEvent2(value1, value2) : E_POINTER;
}

HRESULT kernel_probe::raise_task_event(ULONG task_id, ULONG event, ULONG_PTR value) const {
  return probe_ ? probe_->RaiseTaskEvent(task_id, event, value) : E_POINTER;
}

com_ptr<IBtTask3> kernel_probe::task(ULONG task_id) const {
  com_ptr<IBtTask3> t;
  if (probe_) probe_->GetTask(task_id, IID_IBtTask3, t.put_void());
  return t;
}

ULONG kernel_probe::tasks_created() const {
  ULONG created = 0;
  if (probe_) probe_->GetTaskCounts(&created, nullptr);
  return created;
}

ULONG kernel_probe::tasks_alive() const {
  ULONG alive = 0;
  if (probe_) probe_->GetTaskCounts(nullptr, &alive);
  return alive;
}

ULONG kernel_probe::sink_count(ULONG task_id) const {
  ULONG count = 0;
  if (probe_) probe_->GetSinkCount(task_id, &count);
  return count;
}
