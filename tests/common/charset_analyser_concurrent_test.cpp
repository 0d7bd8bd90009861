// The charset analyser's users attaching, detecting and detaching from
// several threads at once.
#include <gtest/gtest.h>

#include "common/charset_analyser.h"
#include "platform/codepage.h"
#include "platform/com_ptr.h"
#include "platform/mlang.h"
#include "support/run_together.h"

namespace {

ULONG references_of(IMultiLanguage2* object) {
  object->AddRef();
  return object->Release();
}

// With no steady user the count crosses zero again and again: the object is
// let go and taken again while other users attach and detect. A user that
// has attached always finds the object held, and nobody calls it after the
// last detach let it go.
TEST(ConcurrentCharsetAnalyser, UsersComeAndGoAndEachFindsTheObjectHeld) {
  auto mlang = com_ptr<IMultiLanguage2>::adopt(platform::create_builtin_mlang());
  charset_analyser& analyser = charset_analyser::instance();
  ASSERT_EQ(analyser.ref_count(), 0);
  const std::string utf8 = "\xE4\xB8\xAD\xE6\x96\x87";

  bts_test::run_together(4, [&](int) {
    for (int k = 0; k < 2000; ++k) {
      analyser.attach(mlang.get());
      ASSERT_EQ(analyser.detect(utf8), CP_UTF8);
      analyser.detach();
    }
  });
  EXPECT_EQ(analyser.ref_count(), 0);
  EXPECT_EQ(analyser.mlang(), nullptr);
  EXPECT_EQ(references_of(mlang.get()), 1u);
  charset_analyser::destroy();
}

}  // namespace
