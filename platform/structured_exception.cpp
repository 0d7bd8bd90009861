#include "platform/structured_exception.h"

#include <utility>

namespace platform {

void raise_exception(DWORD code, DWORD flags, std::string text) {
  throw structured_exception{code, flags, std::move(text)};
}

}  // namespace platform

void RaiseException(DWORD code, DWORD flags, DWORD nargs, const ULONG_PTR* args) {
  std::string text;
  if (nargs > 0 && args && args[0]) text = reinterpret_cast<const char*>(args[0]);
  platform::raise_exception(code, flags, std::move(text));
}
