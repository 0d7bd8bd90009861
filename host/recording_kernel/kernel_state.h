// What the recording kernel and its tasks share: the journal, the configured
// answers and options, and the list of live tasks. Held by the kernel and by
// every task (a task may outlive the kernel object). Thread-safe.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "interfaces/seed_file_info.h"
#include "interfaces/string_types.h"
#include "platform/com_ptr.h"

class recording_task;

class kernel_state {
 public:
  kernel_state();

  // Appends a line, then hands it to the observer (if any) with no lock held.
  void record(std::string line);
  std::vector<std::string> journal() const;
  void set_observer(std::function<void(const std::string& line)> observer);
  void clear_journal();

  void set_result(const std::string& operation, HRESULT result);
  void set_value(const std::string& key, ULONG value);
  void reset_answers();
  // The configured result of `operation` ("kernel.X", or "X" of task `task_id`),
  // else `natural`.
  HRESULT kernel_result(const std::string& operation, HRESULT natural) const;
  HRESULT task_result(ULONG task_id, const std::string& operation, HRESULT natural) const;
  // The configured value of "task.<key>" / "task<N>.<key>", else 0.
  ULONG task_value(ULONG task_id, const std::string& key) const;
  ULONG kernel_value(const std::string& key) const;

  // Options of IBtKernelProbe.h; false for an unknown option.
  bool set_option(ULONG option, bool on);
  bool option(ULONG option) const;

  // Task bookkeeping: ids start at 1. The list holds no references.
  ULONG add_task(recording_task* task);
  void remove_task(ULONG id);
  // A counted pointer to a live task, or null. Not to be raced with that
  // task's last Release on another thread.
  com_ptr<recording_task> find_task(ULONG id) const;
  // Counted pointers to every live task, in creation order (same caveat).
  std::vector<com_ptr<recording_task>> live_tasks() const;
  ULONG tasks_created() const;
  ULONG tasks_alive() const;

  // Journal texts of arguments.
  static std::string text(const tagSTRING& s);
  static std::string list(ULONG count, const ULONG* items);
  static std::string trackers(ULONG count, const SEED_TRACKER_ITEM* items);
  static std::string pointer(const void* p);

 private:
  mutable std::mutex lock_;
  std::vector<std::string> journal_;
  std::function<void(const std::string& line)> observer_;
  std::map<std::string, HRESULT> results_;
  std::map<std::string, ULONG> values_;
  std::map<ULONG, bool> options_;
  std::map<ULONG, recording_task*> tasks_;
  ULONG created_ = 0;
};
