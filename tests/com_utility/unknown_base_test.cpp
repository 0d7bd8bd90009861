#include "com_utility/UnknownBase.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>

#include "com_utility/module_location.h"
#include "common/qvnew.h"
#include "platform/module.h"
#include "platform/structured_exception.h"

namespace {

class counted : public CUnknownMultiThread {
 public:
  explicit counted(bool* destroyed) : CUnknownMultiThread("counted_object"), destroyed_(destroyed) {}
  ~counted() override { *destroyed_ = true; }

 private:
  bool* destroyed_;
};

// Asks for a reference while its last one is being released.
class late_holder : public CUnknownMultiThread {
 public:
  explicit late_holder(bool* refused) : CUnknownMultiThread("late_holder"), refused_(refused) {}
  ~late_holder() override { *refused_ = !add_ref_unless_destroyed(); }

 private:
  bool* refused_;
};

TEST(UnknownBase, ReleaseToZeroDeletesAndHoldsTheModuleLockMeanwhile) {
  const LONG locks = platform::module_lock_count();
  bool destroyed = false;
  auto* object = new counted(&destroyed);
  EXPECT_EQ(platform::module_lock_count(), locks + 1);
  EXPECT_EQ(object->AddRef(), 2u);
  EXPECT_EQ(object->Release(), 1u);
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(platform::module_lock_count(), locks);
}

TEST(UnknownBase, NoReferenceIsAddedOnceTheLastOneIsGone) {
  bool refused = false;
  auto* object = new late_holder(&refused);
  EXPECT_TRUE(object->add_ref_unless_destroyed());
  EXPECT_EQ(object->Release(), 1u);
  EXPECT_EQ(object->Release(), 0u);  // the destructor's own check still sees 1
  EXPECT_TRUE(refused);
}

TEST(UnknownBase, DeletingWithAnExtraReferenceRaisesTheReleaseAssertion) {
  const LONG locks = platform::module_lock_count();
  bool destroyed = false;
  auto* object = new counted(&destroyed);
  object->AddRef();
  try {
    delete object;
    FAIL() << "no assertion raised";
  } catch (const platform::structured_exception& e) {
    EXPECT_EQ(e.code, 0xE0008001u);
    EXPECT_EQ(e.flags, static_cast<DWORD>(EXCEPTION_NONCONTINUABLE));
    // The GBK note naming the base comes first, then the condition.
    EXPECT_EQ(e.text.rfind("(\"\xC4\xB3 CUnknownMultiThread ", 0), 0u) << e.text;
    EXPECT_NE(e.text.find("\",m_dwRef == 1) not true, detail: counted_object@" + get_module_file_name() +
                          " file: com_utility/UnknownBase.cpp line: "),
              std::string::npos)
        << e.text;
  }
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(platform::module_lock_count(), locks);
}

TEST(MemoryRouting, AllocationAssertions) {
  struct {
    const char* expression;
    void (*call)();
  } cases[] = {
      {"size > 0", [] { qv_allocate(0); }},
      {"p != NULL", [] { qv_deallocate(nullptr); }},
      {"_msize calls must debug", [] {
         void* p = qv_allocate(8);
         struct guard { void* p; ~guard() { qv_deallocate(p); } } g{p};
         qv_msize(p);
       }},
  };
  for (const auto& c : cases) {
    try {
      c.call();
      ADD_FAILURE() << c.expression << ": no assertion";
    } catch (const platform::structured_exception& e) {
      EXPECT_EQ(e.code, 0xE0008001u);
      EXPECT_EQ(e.text.rfind(std::string(c.expression) + " not ture, file: common/qvnew.cpp, line: ", 0), 0u) << e.text;
    }
  }
}

// The event raiser's log lines name where a sink's table lies; a table in
// no module (here in heap memory) is reported, not followed.
TEST(ModuleLocation, InterfaceWhoseTableIsInNoModule) {
  void* table[4] = {nullptr, nullptr, nullptr, new char[16]};
  void* fake_object = table;
  auto* fake = reinterpret_cast<IUnknown*>(&fake_object);
  char expected[64];
  std::snprintf(expected, sizeof expected, "Bad IUnknown:0x%08" PRIXPTR, reinterpret_cast<std::uintptr_t>(fake));
  EXPECT_EQ(get_interface_location(fake, 3), expected);
  delete[] static_cast<char*>(table[3]);
}

}  // namespace
