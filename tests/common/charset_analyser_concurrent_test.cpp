// The charset analyser's users attaching, detaching and detecting from
// several threads at once.
#include <gtest/gtest.h>

#include "common/charset_analyser.h"
#include "platform/codepage.h"
#include "platform/com_ptr.h"
#include "platform/mlang.h"
#include "support/run_together.h"

namespace {

// Counts its references through the detector it wraps, so that the test can
// tell how many the analyser holds.
ULONG references_of(IMultiLanguage2* object) {
  object->AddRef();
  return object->Release();
}

TEST(ConcurrentCharsetAnalyser, UsersComeAndGoWhileTheFirstKeepsTheObject) {
  auto mlang = com_ptr<IMultiLanguage2>::adopt(platform::create_builtin_mlang());
  charset_analyser& analyser = charset_analyser::instance();
  ASSERT_EQ(analyser.ref_count(), 0);
  analyser.attach(mlang.get());  // the first user stays throughout
  const std::string utf8 = "\xE4\xB8\xAD\xE6\x96\x87";

  bts_test::run_together(4, [&](int role) {
    for (int k = 0; k < 2000; ++k) {
      if (role == 0) {
        EXPECT_EQ(analyser.detect(utf8), CP_UTF8);
      } else {
        analyser.attach(mlang.get());
        analyser.detach();
      }
    }
  });
  EXPECT_EQ(analyser.ref_count(), 1);
  EXPECT_EQ(references_of(mlang.get()), 2u);

  // With no user between them, the count crosses zero again and again: the
  // object is let go and taken again, and the last detach lets it go for good.
  analyser.detach();
  bts_test::run_together(4, [&](int) {
    for (int k = 0; k < 2000; ++k) {
      analyser.attach(mlang.get());
      analyser.detach();
    }
  });
  EXPECT_EQ(analyser.ref_count(), 0);
  EXPECT_EQ(analyser.mlang(), nullptr);
  EXPECT_EQ(references_of(mlang.get()), 1u);
  charset_analyser::destroy();
}

}  // namespace
