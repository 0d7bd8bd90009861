#include "common/qvnew.h"

#include "common/release_assert.h"
#include "mp/mp.h"
#include "platform/structured_exception.h"

namespace {

[[noreturn]] void allocation_assert_failed(const char* expression, const char* file, int line) {
  platform::raise_exception(RELEASE_ASSERT_CODE, EXCEPTION_NONCONTINUABLE,
                            allocation_assert_text(expression, file, line));
}

}  // namespace

std::string allocation_assert_text(const char* expression, const char* file, int line) {
  std::string text(expression);
  text += " not ture, file: ";
  text += file;
  text += ", line: ";
  text += std::to_string(line);
  return text;
}

void* qv_allocate(std::size_t size) {
  if (size == 0) allocation_assert_failed("size > 0", __FILE__, __LINE__);
  return mp_gt(size);
}

void qv_deallocate(void* p) {
  if (p == nullptr) allocation_assert_failed("p != NULL", __FILE__, __LINE__);
  mp_gv(p);
}

void* qv_allocate_zeroed(std::size_t size) {
  if (size == 0) allocation_assert_failed("size > 0", __FILE__, __LINE__);
  return mp_gz(size);
}

std::size_t qv_msize(void* p) {
  allocation_assert_failed("_msize calls must debug", __FILE__, __LINE__);
  return mp_ms(p);  // not reached: the assertion does not continue
}
