#include "kernel/kernel_call.h"

log4cplus::Logger& kernel_logger() {
  static log4cplus::Logger instance = log4cplus::Logger::getInstance("bt_kernel");
  return instance;
}

void log_call_failure(const char* operation, const char* what) noexcept {
  try {
    LOG4CPLUS_ERROR(kernel_logger(), operation << ": " << what);
  } catch (...) {
    // Nothing more can be said without memory.
  }
}

HRESULT not_meaningful_here(const char* operation) noexcept {
  try {
    LOG4CPLUS_INFO(kernel_logger(), operation << " has no meaning for this kernel");
  } catch (...) {
  }
  return E_NOTIMPL;
}

void set_text(IStringSetter* setter, const std::string& text) {
  if (setter) setter->SetString(static_cast<ULONG>(text.size()), text.data());
}
