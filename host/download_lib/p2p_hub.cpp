#include "host/download_lib/p2p_hub.h"

#include "interfaces/string_types.h"

p2p_hub::p2p_hub() : CUnknownMultiThread("p2p_hub") {}

HRESULT p2p_hub::QueryInterface(REFIID riid, void** ppv) {
  return query_single_interface<IP2p>(this, IID_IP2p, riid, ppv);
}

HRESULT p2p_hub::NotifyFileMoved(tagSTRING old_path, tagSTRING new_path) {
  notice n{notice::moved, to_std_string(old_path), to_std_string(new_path)};
  platform::critical_section_lock lock(lock_);
  notices_.push_back(std::move(n));
  return S_OK;
}

HRESULT p2p_hub::NotifyFileDeleted(tagSTRING path) {
  notice n{notice::deleted, to_std_string(path), std::string()};
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
