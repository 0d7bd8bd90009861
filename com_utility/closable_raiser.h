// The sink list of a kernel object that can be closed when the kernel module
// goes away: closing lets go of every sink still attached (each one reported
// by the raiser as not detached), after which nothing can be attached and
// nothing is raised. A broadcast under way keeps the list it started with.
#pragma once

#include <memory>
#include <mutex>

#include "com_utility/EventsRaiser.h"

template <class I>
class closable_raiser {
 public:
  using raiser = CEventsRaiser<I, unlimited_sinks>;

  explicit closable_raiser(REFIID sink_iid) : m_raiser(std::make_shared<raiser>(sink_iid)) {}

  // E_FAIL once closed.
  HRESULT attach(I* sink) {
    auto r = current();
    return r ? r->AttachEvents(sink) : E_FAIL;
  }
  // E_UNEXPECTED once closed (nothing is attached any more).
  HRESULT detach(I* sink) {
    auto r = current();
    return r ? r->DetachEvents(sink) : E_UNEXPECTED;
  }
  template <class... Params, class... Args>
  void broadcast(HRESULT (STDMETHODCALLTYPE I::*method)(Params...), const Args&... args) {
    if (auto r = current()) r->broadcast(method, args...);
  }
  std::size_t sink_count() const {
    auto r = current();
    return r ? r->sink_count() : 0;
  }
  void close() {
    std::shared_ptr<raiser> gone;
    {
      std::lock_guard<std::mutex> lock(m_lock);
      gone.swap(m_raiser);
    }
  }

 private:
  std::shared_ptr<raiser> current() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_raiser;
  }

  mutable std::mutex m_lock;
  std::shared_ptr<raiser> m_raiser;
};
