// The object that a module installed by the host's module downloader
// (interfaces/module_entry.h) registers with its host, from
// DownloadLibModuleLoad to DownloadLibModuleUnload.
#pragma once

#include <utility>

#include "interfaces/IDownloadLib.h"
#include "platform/com_ptr.h"

// Withdraws what `host` has registered under `iid`, but only while that is
// `object` (compared as IUnknown): a later registration by someone else stays.
void unregister_if_ours(IDownloadLib* host, REFIID iid, IUnknown* object);

// `T` serves `Face`, the interface registered under the IID, and has
// close(): let go of every reference out of the module (its event sinks).
// Not thread-safe: the host loads and unloads a module on one thread.
template <class T, class Face>
class module_registration {
 public:
  explicit module_registration(REFIID iid) : m_iid(iid) {}

  // DownloadLibModuleLoad: E_POINTER for a null host, S_FALSE when
  // registered already, else the object that `make` returns (a com_ptr<T>)
  // registered with `host` (not counted: it outlives its modules).
  template <class Make>
  HRESULT load(IDownloadLib* host, Make&& make) {
    if (!host) return E_POINTER;
    if (m_object) return S_FALSE;
    com_ptr<T> object = make();
    const HRESULT hr = host->RegisterInstance(m_iid, static_cast<Face*>(object.get()));
    if (FAILED(hr)) return hr;
    m_object = std::move(object);
    m_host = host;
    return S_OK;
  }

  // DownloadLibModuleUnload's work: withdraws the registration while it is
  // still this object's, closes the object and lets it go.
  void unload() {
    if (!m_object) return;
    unregister_if_ours(m_host, m_iid, static_cast<Face*>(m_object.get()));
    m_object->close();
    m_object.reset();
    m_host = nullptr;
  }

 private:
  IID m_iid;
  com_ptr<T> m_object;
  IDownloadLib* m_host = nullptr;
};
