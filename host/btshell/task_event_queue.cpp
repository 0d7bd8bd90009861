#include "host/btshell/task_event_queue.h"

namespace btshell {

com_ptr<task_event_queue> task_event_queue::create(bool keep_history) {
  return com_ptr<task_event_queue>::adopt(new task_event_queue(keep_history));
}

HRESULT task_event_queue::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IBtTaskEvents) {
    *ppv = static_cast<IBtTaskEvents*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

HRESULT task_event_queue::heard(int number, ULONG_PTR value) {
  {
    std::lock_guard<std::mutex> lock(lock_);
    events_.push_back({number, value});
  }
  arrived_.notify_all();
  return S_OK;
}

bool task_event_queue::wait(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(lock_);
  return arrived_.wait_for(lock, limit, [this] { return taken_ < events_.size(); });
}

std::vector<task_event_queue::event> task_event_queue::take() {
  std::lock_guard<std::mutex> lock(lock_);
  std::vector<event> fresh(events_.begin() + static_cast<std::ptrdiff_t>(taken_), events_.end());
  taken_ = events_.size();
  if (!keep_history_) {
    events_.clear();
    taken_ = 0;
  }
  return fresh;
}

std::vector<task_event_queue::event> task_event_queue::heard() const {
  std::lock_guard<std::mutex> lock(lock_);
  return events_;
}

std::string event_text(const task_event_queue::event& e) {
  return "OnBtTaskEvent" + std::to_string(e.number) + "(" + std::to_string(e.value) + ")";
}

}  // namespace btshell
