#include "bt_shell/BtShell.h"

#include <algorithm>

#include "bt_shell/shell_log.h"
#include "common/release_assert.h"

log4cplus::Logger& shell_logger() {
  static log4cplus::Logger instance = log4cplus::Logger::getInstance("CBtShell");
  return instance;
}

CBtShell::CBtShell(std::shared_ptr<module_context> context)
    : CUnknownMultiThread("CBtShell"), _context(std::move(context)), _subscribers(IID_IBitTorrentEvents) {
  LOG4CPLUS_INFO(shell_logger(), "CBtShell ");
}

CBtShell::~CBtShell() {
  _reimport_para_container_ptr.reset();
  LOG4CPLUS_INFO(shell_logger(), "~CBtShell ");
  _loading_listenners.clear();
  drop_kernel();
}

HRESULT CBtShell::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (IsEqualIID(riid, IID_IBitTorrent2) || IsEqualIID(riid, IID_IBitTorrent)) {
    *ppv = static_cast<IBitTorrent2*>(this);
  } else if (IsEqualIID(riid, IID_IBitTorrentTest) || IsEqualIID(riid, IID_IUnknown)) {
    *ppv = static_cast<IBitTorrentTest*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

HRESULT CBtShell::AttachEvents(IBitTorrentEvents* sink) {
  return guarded("AttachEvents", [&] { return _subscribers.AttachEvents(sink); });
}

HRESULT CBtShell::DetachEvents(IBitTorrentEvents* sink) {
  return guarded("DetachEvents", [&] { return _subscribers.DetachEvents(sink); });
}

HRESULT CBtShell::kernel_events::OnBitTorrentEvent1(ULONG_PTR value) {
  return m_owner.guarded("OnBitTorrentEvent1", [&] {
    m_owner._subscribers.broadcast(&IBitTorrentEvents::OnBitTorrentEvent1, value);
    return S_OK;
  });
}

HRESULT CBtShell::kernel_events::OnBitTorrentEvent2(ULONG_PTR value1, ULONG_PTR value2) {
  return m_owner.guarded("OnBitTorrentEvent2", [&] {
    m_owner._subscribers.broadcast(&IBitTorrentEvents::OnBitTorrentEvent2, value1, value2);
    return S_OK;
  });
}

HRESULT CBtShell::ReservedOperation(ULONG_PTR) {
  return guarded("ReservedOperation", [] { return S_OK; });
}

void CBtShell::init() {
  LOG4CPLUS_INFO(shell_logger(), "init ");
  IDownloadLib* host = _context->download_lib();
  RELEASE_ASSERT_TEXT(host != nullptr, "NULL != GetDownloadLib()", "");
  host->AttachEvents(&_registry_events);
}

void CBtShell::uninit() {
  LOG4CPLUS_INFO(shell_logger(), "uninit ");
  IDownloadLib* host = _context->download_lib();
  RELEASE_ASSERT_TEXT(host != nullptr, "NULL != GetDownloadLib()", "");
  host->DetachEvents(&_registry_events);
  if (_module_events_attached) {
    IModuleDownloader* downloader = _context->module_downloader();
    RELEASE_ASSERT_TEXT(downloader != nullptr, "GetModuleDownloader()!= NULL", "");
    downloader->DetachEvents(&_downloader_events);
    _module_events_attached = false;
  }
  // After uninit the host no longer tells the shell that the kernel goes
  // away, so let go of it now: the kernel holds a reference on the shell's
  // sink, and keeping both would keep both alive past the module's end.
  drop_kernel();
  _uninitialised = true;
}

bool CBtShell::add_loading_listenner(bt_kernel_loading_listenner* listener) {
  platform::critical_section_lock guard(_listeners_lock);
  if (std::find(_loading_listenners.begin(), _loading_listenners.end(), listener) != _loading_listenners.end())
    return false;
  _listeners_to_tell.reserve(_loading_listenners.size() + 1);
  _loading_listenners.push_back(listener);
  return true;
}

bool CBtShell::remove_loading_listenner(bt_kernel_loading_listenner* listener) {
  platform::critical_section_lock guard(_listeners_lock);
  auto it = std::find(_loading_listenners.begin(), _loading_listenners.end(), listener);
  if (it == _loading_listenners.end()) return false;
  _loading_listenners.erase(it);
  return true;
}

std::size_t CBtShell::loading_listener_count() const {
  platform::critical_section_lock guard(_listeners_lock);
  return _loading_listenners.size();
}

void CBtShell::tell_listeners(ULONG error_code) {
  // Each listener is held by a reference for its call: another thread may
  // release the host's last one meanwhile. One that is being destroyed
  // already is passed over; its destructor takes it off the list.
  std::vector<bt_kernel_loading_listenner*> held;
  {
    platform::critical_section_lock guard(_listeners_lock);
    held.swap(_listeners_to_tell);  // reserved for as many as are listed
    for (bt_kernel_loading_listenner* listener : _loading_listenners)
      if (listener->hold_for_call()) held.push_back(listener);
  }
  for (bt_kernel_loading_listenner* listener : held) {
    // Listeners leave the list during their own call when the hand-over
    // succeeds; one that left before its turn (stopped meanwhile) is not
    // called.
    bool listed = false;
    {
      platform::critical_section_lock guard(_listeners_lock);
      listed = std::find(_loading_listenners.begin(), _loading_listenners.end(), listener) !=
               _loading_listenners.end();
    }
    if (listed) listener->loading_complete(error_code);
    listener->release_after_call();
  }
  held.clear();
  platform::critical_section_lock guard(_listeners_lock);
  if (held.capacity() > _listeners_to_tell.capacity()) _listeners_to_tell.swap(held);
}

void CBtShell::log_status_entry(const char* operation) const {
  LOG4CPLUS_DEBUG(shell_logger(), operation << ",_bt_shell_status: " << static_cast<LONG>(_bt_shell_status));
}
