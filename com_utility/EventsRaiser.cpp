#include "com_utility/EventsRaiser.h"

#include <log4cplus/logger.h>
#include <log4cplus/loggingmacros.h>

#include "com_utility/com_boundary.h"
#include "com_utility/module_location.h"
#include "platform/codepage.h"

namespace {

log4cplus::Logger& logger() {
  static log4cplus::Logger instance = log4cplus::Logger::getInstance("CEventsRaiser");
  return instance;
}

// The identifier as StringFromIID gives it, in the ANSI code page.
std::string iid_text(REFIID iid) {
  LPOLESTR wide = nullptr;
  if (FAILED(StringFromIID(iid, &wide)) || !wide) return std::string();
  std::string text;
  const int n = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (n > 1) {
    text.resize(static_cast<std::size_t>(n));
    WideCharToMultiByte(CP_ACP, 0, wide, -1, text.data(), n, nullptr, nullptr);
    text.resize(static_cast<std::size_t>(n - 1));
  }
  CoTaskMemFree(wide);
  return text;
}

// Sinks are located by their first own method (slot 3).
constexpr int kFirstOwnSlot = 3;

}  // namespace

namespace events_raiser_log {

void attached(REFIID iid, IUnknown* sink, const void* raiser) noexcept {
  log_quietly([&] {
    LOG4CPLUS_DEBUG(logger(), "AttachEvents. Event [" << iid_text(iid) << "] at ["
                                                      << get_interface_location(sink, kFirstOwnSlot)
                                                      << "] attach to [" << raiser);
  });
}

void detached(REFIID iid, IUnknown* sink, const void* raiser) noexcept {
  log_quietly([&] {
    LOG4CPLUS_DEBUG(logger(), "DetachEvents. Event [" << iid_text(iid) << "] at ["
                                                      << get_interface_location(sink, kFirstOwnSlot)
                                                      << "] detach to [" << raiser);
  });
}

void left_attached(REFIID iid, IUnknown* sink) noexcept {
  log_quietly([&] {
    LOG4CPLUS_FATAL(logger(), "Event [" << iid_text(iid) << "] at [" << get_interface_location(sink, kFirstOwnSlot)
                                        << "] didn't DetachEvents!!");
  });
}

}  // namespace events_raiser_log
