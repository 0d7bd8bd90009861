#include "kernel/kernel_settings_service.h"

#include "kernel/kernel_call.h"
#include "kernel/kernel_session.h"
#include "kernel/task_limits.h"

kernel_settings_service::kernel_settings_service(IUnknown& owner, std::shared_ptr<kernel_session> session)
    : member_interface(owner), session_(std::move(session)) {}

HRESULT kernel_settings_service::SetValue(tagSTRING key, tagSTRING value) {
  return kernel_call("SetValue", [&] { return session_->change_setting(to_std_string(key), to_std_string(value)); });
}

HRESULT kernel_settings_service::GetValue(tagSTRING key, IStringSetter* value) {
  if (!value) return E_POINTER;
  return kernel_call("GetValue", [&] {
    std::string text;
    if (!session_->setting(to_std_string(key), text)) return E_INVALIDARG;
    set_text(value, text);
    return S_OK;
  });
}

HRESULT kernel_settings_service::SetTaskValue(tagSTRING info_hash, tagSTRING key, tagSTRING value) {
  return kernel_call("SetTaskValue", [&] {
    std::string hash_hex;
    if (!upper_case_info_hash(to_std_string(info_hash), hash_hex)) return E_INVALIDARG;
    return session_->set_task_limit(hash_hex, to_std_string(key), to_std_string(value));
  });
}
