// CEventsRaiser: the list of event sinks attached to an object, and the
// broadcast of one event to all of them.
//
// Sinks are kept in attach order without duplicates; each entry holds one
// reference. Every broadcast works on its own snapshot of the list and holds
// a reference on each sink of the snapshot until the broadcast ends, so a
// sink may attach or detach sinks (itself included) from inside an event,
// and concurrent broadcasts do not disturb each other. Sink methods are
// called outside the raiser's lock; their results are ignored.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "platform/com_ptr.h"
#include "platform/critical_section.h"
#include "platform/unknwn.h"

namespace events_raiser_log {
// Log lines of the "CEventsRaiser" logger. A line that cannot be made (memory
// short) is left out: it never changes what the raiser does.
void attached(REFIID iid, IUnknown* sink, const void* raiser) noexcept;
void detached(REFIID iid, IUnknown* sink, const void* raiser) noexcept;
void left_attached(REFIID iid, IUnknown* sink) noexcept;
}  // namespace events_raiser_log

// The sink limit of a raiser that takes any number of sinks.
inline constexpr ULONG unlimited_sinks = 0xFFFFFFFF;

template <class I, ULONG MaxSinks>
class CEventsRaiser {
 public:
  // `sink_iid` is the identifier of I, used in the log lines.
  explicit CEventsRaiser(REFIID sink_iid) : m_sink_iid(sink_iid) {}
  CEventsRaiser(const CEventsRaiser&) = delete;
  CEventsRaiser& operator=(const CEventsRaiser&) = delete;

  // Sinks still attached are reported at FATAL and released. A sink's
  // Release may raise the release assertion, hence noexcept(false).
  virtual ~CEventsRaiser() noexcept(false) {
    for (I* sink : m_sinks) {
      events_raiser_log::left_attached(m_sink_iid, sink);
      sink->Release();
    }
    m_sinks.clear();
  }

  // E_FAIL when the list is full, E_UNEXPECTED when the sink is already
  // attached. std::bad_alloc when the list cannot grow; nothing is attached then.
  HRESULT AttachEvents(I* sink) {
    if (!sink) return E_POINTER;
    platform::critical_section_lock lock(m_lock);
    if (m_sinks.size() >= MaxSinks) return E_FAIL;
    if (std::find(m_sinks.begin(), m_sinks.end(), sink) != m_sinks.end()) return E_UNEXPECTED;
    m_sinks.push_back(sink);
    sink->AddRef();
    events_raiser_log::attached(m_sink_iid, sink, this);
    return S_OK;
  }

  // E_UNEXPECTED when the sink is not attached. A full list still lets
  // its sinks go.
  HRESULT DetachEvents(I* sink) {
    platform::critical_section_lock lock(m_lock);
    auto it = std::find(m_sinks.begin(), m_sinks.end(), sink);
    if (it == m_sinks.end()) return E_UNEXPECTED;
    events_raiser_log::detached(m_sink_iid, sink, this);
    m_sinks.erase(it);
    sink->Release();
    return S_OK;
  }

  // Calls `method` with `args` on every sink attached when the broadcast
  // starts, in attach order. std::bad_alloc when the snapshot cannot be
  // made; no sink is called then.
  template <class... Params, class... Args>
  void broadcast(HRESULT (STDMETHODCALLTYPE I::*method)(Params...), const Args&... args) {
    for (const com_ptr<I>& sink : snapshot()) (sink.get()->*method)(args...);
  }

  std::size_t sink_count() const {
    platform::critical_section_lock lock(m_lock);
    return m_sinks.size();
  }

 private:
  std::vector<com_ptr<I>> snapshot() const {
    platform::critical_section_lock lock(m_lock);
    std::vector<com_ptr<I>> copy;
    copy.reserve(m_sinks.size());
    for (I* sink : m_sinks) copy.emplace_back(sink);
    return copy;
  }

  IID m_sink_iid;
  std::vector<I*> m_sinks;
  mutable platform::critical_section m_lock;
};
