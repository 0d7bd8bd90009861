// Reference-counted bases of the module's own COM objects.
//
// An object is born with count 1 (its creator's reference); the Release
// that brings the count to 0 sets it back to 1 and deletes the object, so
// that the destructor's check (count exactly 1) passes on the ordinary path.
// Deleting an object directly is allowed only while its count is 1; any
// other count at destruction raises the release assertion. Each live
// object holds the module's lock count. QueryInterface is the derived
// class's business.
#pragma once

#include <atomic>
#include <string>

#include "platform/critical_section.h"
#include "platform/types.h"

// Interlocked count: may be AddRef'd and Released from any thread.
class CUnknownMultiThread {
 public:
  explicit CUnknownMultiThread(const char* name);
  virtual ~CUnknownMultiThread() noexcept(false);
  CUnknownMultiThread(const CUnknownMultiThread&) = delete;
  CUnknownMultiThread& operator=(const CUnknownMultiThread&) = delete;

  ULONG AddRef();
  ULONG Release();

  // Adds a reference unless the last one is already gone, and says whether
  // it did. For a holder of an uncounted pointer to the object, which the
  // object withdraws while it is destroyed: REQUIRES the holder's lock, the
  // one under which the destructor withdraws the pointer, so that the object
  // cannot be freed meanwhile.
  bool add_ref_unless_destroyed();

 protected:
  ULONG ref_count() const { return m_dwRef.load(); }

 private:
  std::string m_name;
  platform::critical_section m_cs;  // no operation of the base takes it
  std::atomic<ULONG> m_dwRef{1};
  // Set by the Release that reached 0, before the count is set back to 1.
  std::atomic<bool> m_destroyed{false};
};

// Plain count: for objects used on one thread only.
class CUnknownSingleThread {
 public:
  explicit CUnknownSingleThread(const char* name);
  virtual ~CUnknownSingleThread() noexcept(false);
  CUnknownSingleThread(const CUnknownSingleThread&) = delete;
  CUnknownSingleThread& operator=(const CUnknownSingleThread&) = delete;

  ULONG AddRef();
  ULONG Release();

 protected:
  ULONG ref_count() const { return m_dwRef; }

 private:
  std::string m_name;
  ULONG m_dwRef = 1;
};

// Raises the release assertion for an object destroyed with a count other
// than 1; `expression` names the base class (see UnknownBase.cpp).
void check_count_at_destruction(ULONG count, const char* expression, const std::string& name);
