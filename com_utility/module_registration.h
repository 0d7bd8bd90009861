// The object that a module installed by the host's module downloader
// (interfaces/module_entry.h) registers with its host, from
// DownloadLibModuleLoad to DownloadLibModuleUnload.
#pragma once

#include <initializer_list>
#include <utility>
#include <vector>

#include "interfaces/IDownloadLib.h"
#include "platform/com_ptr.h"

// Withdraws what `host` has registered under `iid`, but only while that is
// `object` (compared as IUnknown): a later registration by someone else stays.
void unregister_if_ours(IDownloadLib* host, REFIID iid, IUnknown* object);

// Registers `object` under each of `iids`, in order, as the face it answers
// for that IID. On a failure withdraws what it registered and answers it.
HRESULT register_faces(IDownloadLib* host, const std::vector<IID>& iids, IUnknown* object);
// Withdraws `object`'s registrations under `iids`, the last one first.
void unregister_faces(IDownloadLib* host, const std::vector<IID>& iids, IUnknown* object);

// `T` serves `Face`, the interface registered under the IID, and has
// close(): let go of every reference out of the module (its event sinks).
// Other faces of the object may be registered before it, so that a host
// that learns of `Face` finds them already there.
// Not thread-safe: the host loads and unloads a module on one thread.
template <class T, class Face>
class module_registration {
 public:
  // `first`: the IIDs registered before `iid`, in order; the object answers
  // QueryInterface for each.
  explicit module_registration(REFIID iid, std::initializer_list<IID> first = {}) : m_iid(iid), m_first(first) {}

  // DownloadLibModuleLoad: E_POINTER for a null host, S_FALSE when
  // registered already, else the object that `make` returns (a com_ptr<T>)
  // registered with `host` (not counted: it outlives its modules) under
  // the first IIDs and then `iid`; a failure withdraws them all.
  template <class Make>
  HRESULT load(IDownloadLib* host, Make&& make) {
    if (!host) return E_POINTER;
    if (m_object) return S_FALSE;
    com_ptr<T> object = make();
    IUnknown* face = static_cast<Face*>(object.get());
    HRESULT hr = register_faces(host, m_first, face);
    if (SUCCEEDED(hr)) {
      hr = host->RegisterInstance(m_iid, face);
      if (FAILED(hr)) unregister_faces(host, m_first, face);
    }
    if (FAILED(hr)) {
      object->close();
      return hr;
    }
    m_object = std::move(object);
    m_host = host;
    return S_OK;
  }

  // DownloadLibModuleUnload's work: withdraws the registrations while they
  // are still this object's (`iid` first, then the others, the last one
  // first), closes the object and lets it go.
  void unload() {
    if (!m_object) return;
    IUnknown* face = static_cast<Face*>(m_object.get());
    unregister_if_ours(m_host, m_iid, face);
    unregister_faces(m_host, m_first, face);
    m_object->close();
    m_object.reset();
    m_host = nullptr;
  }

 private:
  IID m_iid;
  std::vector<IID> m_first;
  com_ptr<T> m_object;
  IDownloadLib* m_host = nullptr;
};
