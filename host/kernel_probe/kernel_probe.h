// C++ face of IBtKernelProbe for tests and the command-line host: works on a
// kernel made in-process and on one living in libbt_kernel.so alike.
#pragma once

#include <string>
#include <vector>

#include "interfaces/IBtKernelProbe.h"
#include "interfaces/IBtTask.h"
#include "platform/com_ptr.h"

class kernel_probe {
 public:
  // Queries `kernel` for IID_IBtKernelProbe; valid() says whether it answered.
  explicit kernel_probe(IUnknown* kernel);

  bool valid() const { return static_cast<bool>(probe_); }
  IBtKernelProbe* get() const { return probe_.get(); }

  std::vector<std::string> journal() const;
  // The journal lines that begin with `prefix` (e.g. "task1." or "kernel.").
  std::vector<std::string> journal(const std::string& prefix) const;
  void clear_journal() const;

  void set_result(const std::string& operation, HRESULT result) const;
  void set_value(const std::string& key, ULONG value) const;
  void reset_answers() const;
  HRESULT set_option(ULONG option, bool on) const;

  HRESULT raise_kernel_event1(ULONG_PTR value) const;
  HRESULT raise_kernel_event2(ULONG_PTR value1, ULONG_PTR value2) const;
  HRESULT raise_task_event(ULONG task_id, ULONG event, ULONG_PTR value) const;

  // Null when the task is gone.
  com_ptr<IBtTask3> task(ULONG task_id) const;
  ULONG tasks_created() const;
  ULONG tasks_alive() const;
  // Sinks of the kernel (task_id 0) or of a live task; 0 when the task is gone.
  ULONG sink_count(ULONG task_id = 0) const;

 private:
  com_ptr<IBtKernelProbe> probe_;
};
