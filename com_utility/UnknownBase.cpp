#include "com_utility/UnknownBase.h"

#include "com_utility/module_location.h"
#include "common/release_assert.h"
#include "platform/module.h"

namespace {

// The expression texts of the destruction check. The note in front of the
// condition is stored in the GBK code page, as the module has always logged
// it; it reads: "the reference count of a class derived from <base> is
// wrong at destruction".
const char kMultiThreadExpression[] =
    "(\"\xC4\xB3 CUnknownMultiThread \xC5\xC9\xC9\xFA\xC0\xE0\xCE\xF6\xB9\xB9\xCA\xB1\xD2\xFD\xD3\xC3"
    "\xBC\xC6\xCA\xFD\xB2\xBB\xD5\xFD\xC8\xB7\",m_dwRef == 1)";
const char kSingleThreadExpression[] =
    "(\"\xC4\xB3 CUnknownSingleThread \xC5\xC9\xC9\xFA\xC0\xE0\xCE\xF6\xB9\xB9\xCA\xB1\xD2\xFD\xD3\xC3"
    "\xBC\xC6\xCA\xFD\xB2\xBB\xD5\xFD\xC8\xB7\",m_dwRef == 1)";

// The Release that brings the count to 0 marks the object as destroyed, sets
// the count back to 1 (so that the destructor's check passes) and deletes it.
template <class Base, class Count, class Mark>
ULONG release(Base* object, Count& count, Mark mark_destroyed) {
  const ULONG remaining = --count;
  if (remaining != 0) return remaining;
  mark_destroyed();
  count = 1;
  delete object;
  return 0;
}

}  // namespace

void check_count_at_destruction(ULONG count, const char* expression, const std::string& name) {
  if (count != 1) release_assert_failed(expression, name + "@" + get_module_file_name(), __FILE__, __LINE__);
}

CUnknownMultiThread::CUnknownMultiThread(const char* name) : m_name(name ? name : "") { platform::module_lock(); }

CUnknownMultiThread::~CUnknownMultiThread() noexcept(false) {
  platform::module_unlock();
  check_count_at_destruction(m_dwRef.load(), kMultiThreadExpression, m_name);
}

ULONG CUnknownMultiThread::AddRef() { return ++m_dwRef; }

ULONG CUnknownMultiThread::Release() {
  return release(this, m_dwRef, [this] { m_destroyed = true; });
}

bool CUnknownMultiThread::add_ref_unless_destroyed() {
  ULONG count = m_dwRef.load();
  do {
    if (count == 0) return false;
  } while (!m_dwRef.compare_exchange_weak(count, count + 1));
  if (!m_destroyed.load()) return true;
  // That was the count set back to 1 for the destructor's check: undone
  // before the destructor can get at it (the caller holds its lock).
  --m_dwRef;
  return false;
}

CUnknownSingleThread::CUnknownSingleThread(const char* name) : m_name(name ? name : "") { platform::module_lock(); }

CUnknownSingleThread::~CUnknownSingleThread() noexcept(false) {
  platform::module_unlock();
  check_count_at_destruction(m_dwRef, kSingleThreadExpression, m_name);
}

ULONG CUnknownSingleThread::AddRef() { return ++m_dwRef; }

ULONG CUnknownSingleThread::Release() {
  return release(this, m_dwRef, [] {});
}
