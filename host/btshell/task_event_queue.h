// The host's sink on a task: keeps every event it hears, in order, for the
// thread that waits for them. A kernel task raises its events on the
// kernel's own thread (through the shell's proxy as well), while the host
// calls the task and reads the events on its own: every operation here may
// be called on any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "com_utility/UnknownBase.h"
#include "interfaces/IBtTask.h"
#include "platform/com_ptr.h"

namespace btshell {

class task_event_queue : public IBtTaskEvents, public CUnknownMultiThread {
 public:
  struct event {
    int number;       // 1 to 4: OnBtTaskEvent1 ... OnBtTaskEvent4
    ULONG_PTR value;
  };

  // The caller holds the one reference of the new sink. Without history
  // the events are forgotten once taken (a host that runs for long).
  static com_ptr<task_event_queue> create(bool keep_history = true);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return CUnknownMultiThread::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return CUnknownMultiThread::Release(); }
  HRESULT STDMETHODCALLTYPE OnBtTaskEvent1(ULONG_PTR value) override { return heard(1, value); }
  HRESULT STDMETHODCALLTYPE OnBtTaskEvent2(ULONG_PTR value) override { return heard(2, value); }
  HRESULT STDMETHODCALLTYPE OnBtTaskEvent3(ULONG_PTR value) override { return heard(3, value); }
  HRESULT STDMETHODCALLTYPE OnBtTaskEvent4(ULONG_PTR value) override { return heard(4, value); }

  // Waits at most `limit` for an event that take() has not returned yet;
  // true when there is one.
  bool wait(std::chrono::milliseconds limit);
  // The events that take() has not returned yet, oldest first.
  std::vector<event> take();
  // Every event heard, oldest first (without history: those not taken yet).
  std::vector<event> heard() const;

 private:
  explicit task_event_queue(bool keep_history)
      : CUnknownMultiThread("btshell task events"), keep_history_(keep_history) {}
  HRESULT heard(int number, ULONG_PTR value);

  mutable std::mutex lock_;
  std::condition_variable arrived_;
  std::vector<event> events_;
  std::size_t taken_ = 0;
  const bool keep_history_;
};

// "OnBtTaskEvent3(2)".
std::string event_text(const task_event_queue::event& e);

}  // namespace btshell
