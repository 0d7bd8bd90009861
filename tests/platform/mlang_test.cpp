#include <gtest/gtest.h>

#include <string>

#include "platform/codepage.h"
#include "platform/com_ptr.h"
#include "platform/guid.h"
#include "platform/mlang.h"
#include "platform/module.h"

namespace {

TEST(mlang, builtin_detector_is_a_counted_com_object) {
  EXPECT_EQ(platform::guid_to_string(IID_IMultiLanguage2), "{DCCFC164-2B38-11D2-B7EC-00C04F8F5D9A}");
  const LONG locks = platform::module_lock_count();
  IMultiLanguage2* mlang = platform::create_builtin_mlang();
  EXPECT_EQ(platform::module_lock_count(), locks + 1);
  void *unknown = nullptr, *same = nullptr;
  ASSERT_EQ(mlang->QueryInterface(IID_IUnknown, &unknown), S_OK);
  ASSERT_EQ(mlang->QueryInterface(IID_IMultiLanguage2, &same), S_OK);
  EXPECT_EQ(unknown, static_cast<void*>(mlang));
  EXPECT_EQ(same, static_cast<void*>(mlang));
  void* other = &other;
  EXPECT_EQ(mlang->QueryInterface(IID_IClassFactory, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(mlang->Release(), 2u);
  EXPECT_EQ(mlang->Release(), 1u);
  EXPECT_EQ(mlang->Release(), 0u);
  EXPECT_EQ(platform::module_lock_count(), locks);
}

// Calls DetectInputCodepage through its slot number, as a caller compiled
// against the Windows declaration would.
HRESULT detect_through_slot(IMultiLanguage2* mlang, const std::string& text, DetectEncodingInfo* out, INT* count) {
  using slot_fn = HRESULT (*)(IMultiLanguage2*, DWORD, DWORD, char*, INT*, DetectEncodingInfo*, INT*);
  void** table = *reinterpret_cast<void***>(mlang);
  auto fn = reinterpret_cast<slot_fn>(table[platform::kDetectInputCodepageSlot]);
  INT size = static_cast<INT>(text.size());
  return fn(mlang, 0, 0, const_cast<char*>(text.data()), &size, out, count);
}

TEST(mlang, builtin_detection) {
  auto mlang = com_ptr<IMultiLanguage2>::adopt(platform::create_builtin_mlang());
  struct { UINT acp; std::string text; HRESULT result; INT count; UINT code_page; INT confidence; } cases[] = {
      {CP_UTF8, "", S_FALSE, 0, 0, 0}, {CP_UTF8, "plain ascii", S_OK, 1, 20127, 100},
      {CP_UTF8, "caf\xC3\xA9", S_OK, 1, 65001, 100}, {CP_UTF8, "\xE4\xB8\xAD\xF0\x9F\x98\x80", S_OK, 1, 65001, 100},
      {CP_UTF8, "caf\xE9", S_FALSE, 0, 0, 0}, {1252, "caf\xE9", S_OK, 1, 1252, 25},
      {936, "\xD6\xD0\xCE\xC4", S_OK, 1, 936, 25},
      // Ill-formed UTF-8: overlong, surrogate, beyond U+10FFFF, truncated, stray continuation.
      {1252, "\xC0\xAF", S_OK, 1, 1252, 25}, {1252, "\xE0\x80\xAF", S_OK, 1, 1252, 25},
      {1252, "\xED\xA0\x80", S_OK, 1, 1252, 25}, {1252, "\xF4\x90\x80\x80", S_OK, 1, 1252, 25},
      {1252, "\xE4\xB8", S_OK, 1, 1252, 25}, {1252, "a\x80", S_OK, 1, 1252, 25},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    platform::set_ansi_code_page(c.acp);
    DetectEncodingInfo out[8] = {};
    INT count = 8;
    EXPECT_EQ(detect_through_slot(mlang.get(), c.text, out, &count), c.result);
    EXPECT_EQ(count, c.count);
    if (c.count > 0) {
      EXPECT_EQ(out[0].nCodePage, c.code_page);
      EXPECT_EQ(out[0].nConfidence, c.confidence);
    }
  }
  platform::set_ansi_code_page(CP_UTF8);
  // Bad arguments are refused.
  char text[] = "abc";
  INT size = 3, count = 8, none = 0, negative = -1;
  DetectEncodingInfo out[8];
  EXPECT_EQ(mlang->DetectInputCodepage(0, 0, nullptr, &size, out, &count), E_INVALIDARG);
  EXPECT_EQ(mlang->DetectInputCodepage(0, 0, text, nullptr, out, &count), E_INVALIDARG);
  EXPECT_EQ(mlang->DetectInputCodepage(0, 0, text, &size, nullptr, &count), E_INVALIDARG);
  EXPECT_EQ(mlang->DetectInputCodepage(0, 0, text, &size, out, &none), E_INVALIDARG);
  EXPECT_EQ(mlang->DetectInputCodepage(0, 0, text, &negative, out, &count), E_INVALIDARG);
  EXPECT_EQ(mlang->Reserved3(), E_NOTIMPL);
}

}  // namespace
