#include "host/download_lib/p2p_hub.h"

#include "host/download_lib/host_text.h"

p2p_hub::p2p_hub() : CUnknownMultiThread("p2p_hub") {}

HRESULT p2p_hub::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IP2p)) return E_NOINTERFACE;
  *ppv = static_cast<IP2p*>(this);
  AddRef();
  return S_OK;
}

HRESULT p2p_hub::NotifyFileMoved(tagSTRING old_path, tagSTRING new_path) {
  notice n{notice::moved, host_text::from(old_path), host_text::from(new_path)};
  platform::critical_section_lock lock(lock_);
  notices_.push_back(std::move(n));
  return S_OK;
}

HRESULT p2p_hub::NotifyFileDeleted(tagSTRING path) {
  notice n{notice::deleted, host_text::from(path), std::string()};
  platform::critical_section_lock lock(lock_);
  notices_.push_back(std::move(n));
  return S_OK;
}

std::vector<p2p_hub::notice> p2p_hub::notices() const {
  platform::critical_section_lock lock(lock_);
  return notices_;
}

void p2p_hub::clear() {
  platform::critical_section_lock lock(lock_);
  notices_.clear();
}
