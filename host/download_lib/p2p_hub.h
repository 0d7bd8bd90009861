// The host's P2P hub: a small real implementation of what the plugin module
// relies on. It keeps, in order, every file it is told was moved or deleted.
// Its own operations (slots 3 to 9) are not served.
#pragma once

#include <string>
#include <vector>

#include "com_utility/UnknownBase.h"
#include "interfaces/IP2p.h"
#include "platform/critical_section.h"

class p2p_hub : public IP2p, public CUnknownMultiThread {
 public:
  struct notice {
    enum kind_t { moved, deleted } kind;
    std::string path;      // the deleted file, or the old path of a moved one
    std::string new_path;  // empty for a deletion
  };

  p2p_hub();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return CUnknownMultiThread::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return CUnknownMultiThread::Release(); }
  HRESULT STDMETHODCALLTYPE Reserved3() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved4() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved5() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved6() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved7() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved8() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved9() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NotifyFileMoved(tagSTRING old_path, tagSTRING new_path) override;
  HRESULT STDMETHODCALLTYPE NotifyFileDeleted(tagSTRING path) override;

  std::vector<notice> notices() const;
  void clear();

 private:
  mutable platform::critical_section lock_;
  std::vector<notice> notices_;
};
