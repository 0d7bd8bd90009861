#include "host/download_lib/host_service.h"

host_service::host_service() : CUnknownMultiThread("host_service") {}

HRESULT host_service::QueryInterface(REFIID riid, void** ppv) {
  return query_single_interface<IHostService>(this, IID_IHostService, riid, ppv);
}

HRESULT host_service::ReportEvent(ULONG kind, ULONG event_id, LONG param1, LONG param2) {
  platform::critical_section_lock lock(lock_);
  events_.push_back(reported_event{kind, event_id, param1, param2});
  return S_OK;
}

HRESULT host_service::GetNewConnectInfo(ULONG_PTR value1, ULONG_PTR value2, ULONG* result_size, ULONG* result) {
  platform::critical_section_lock lock(lock_);
  connect_calls_.push_back(connect_info_call{value1, value2});
  if (result_size) *result_size = result_size_;
  if (result) *result = result_;
  return S_OK;
}

std::vector<host_service::reported_event> host_service::events() const {
  platform::critical_section_lock lock(lock_);
  return events_;
}

std::vector<host_service::connect_info_call> host_service::connect_info_calls() const {
  platform::critical_section_lock lock(lock_);
  return connect_calls_;
}

void host_service::set_connect_info(ULONG result_size, ULONG result) {
  platform::critical_section_lock lock(lock_);
  result_size_ = result_size;
  result_ = result;
}

void host_service::clear() {
  platform::critical_section_lock lock(lock_);
  events_.clear();
  connect_calls_.clear();
}
