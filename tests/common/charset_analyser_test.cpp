#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/charset_analyser.h"
#include "common/release_assert.h"
#include "platform/structured_exception.h"
#include "support/log_capture.h"

namespace {

// An MLang object that answers DetectInputCodepage from a script and records
// how it was called.
struct scripted_mlang final : platform::mlang_detector {
  HRESULT result = S_OK;
  std::vector<DetectEncodingInfo> answer;
  int refs = 1;
  DWORD flag = 99, preferred = 99;
  std::string text;
  INT capacity = 0;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }
  HRESULT STDMETHODCALLTYPE DetectInputCodepage(DWORD f, DWORD p, char* src, INT* size, DetectEncodingInfo* out,
                                                INT* count) override {
    flag = f;
    preferred = p;
    text.assign(src, static_cast<std::size_t>(*size));
    capacity = *count;
    const INT n = std::min<INT>(*count, static_cast<INT>(answer.size()));
    for (INT i = 0; i < n; ++i) out[i] = answer[static_cast<std::size_t>(i)];
    *count = n;
    return result;
  }
};

class charset_analyser_test : public ::testing::Test {
 protected:
  void TearDown() override {
    // Leave no instance behind for the next test, whatever this one did.
    if (charset_analyser* a = charset_analyser::existing()) {
      while (a->ref_count() > 0) a->detach();
      charset_analyser::destroy();
    }
  }
  bts_test::log_capture cap_;
};

TEST_F(charset_analyser_test, detect_follows_the_best_guess_and_its_confidence) {
  EXPECT_EQ(charset_analyser::instance().detect("abc"), 0u);  // no object yet
  EXPECT_EQ(cap_.texts("charset_analyser", log4cplus::ERROR_LOG_LEVEL).size(), 1u);
  scripted_mlang mlang;
  charset_analyser::init(&mlang);
  auto& analyser = charset_analyser::instance();
  struct { HRESULT result; std::vector<DetectEncodingInfo> answer; UINT expected; std::size_t error_lines; } cases[] = {
      {S_OK, {{0, 65001, 100, 51}}, 65001, 0}, {S_OK, {{0, 65001, 100, 50}, {0, 936, 100, 99}}, 0, 0},
      {S_OK, {{0, 936, 60, 99}, {0, 65001, 40, 99}}, 936, 0}, {S_OK, {}, 0, 0}, {S_FALSE, {}, 0, 0},
      {E_FAIL, {{0, 65001, 100, 100}}, 0, 1},
  };
  for (const auto& c : cases) {
    cap_.clear();
    mlang.result = c.result;
    mlang.answer = c.answer;
    EXPECT_EQ(analyser.detect(std::string("a\0b", 3)), c.expected);
    EXPECT_EQ(cap_.texts("charset_analyser", log4cplus::ERROR_LOG_LEVEL).size(), c.error_lines);
  }
  EXPECT_EQ(mlang.flag, 0u);
  EXPECT_EQ(mlang.preferred, 0u);
  EXPECT_EQ(mlang.text, std::string("a\0b", 3));
  EXPECT_EQ(mlang.capacity, 8);
  charset_analyser::uninit();
  EXPECT_EQ(mlang.refs, 1);
}

TEST_F(charset_analyser_test, the_last_detach_or_uninit_releases_the_object) {
  scripted_mlang first, second;
  auto& analyser = charset_analyser::instance();
  EXPECT_TRUE(analyser.attach(nullptr));
  EXPECT_TRUE(analyser.attach(&first));
  EXPECT_TRUE(analyser.attach(&second));  // one object is held: the first
  EXPECT_EQ(first.refs, 2);
  EXPECT_EQ(second.refs, 1);
  analyser.detach();
  analyser.detach();
  EXPECT_EQ(analyser.mlang(), &first);
  EXPECT_EQ(first.refs, 2);
  analyser.detach();
  EXPECT_EQ(analyser.mlang(), nullptr);
  EXPECT_EQ(first.refs, 1);
  // One detach too many is reported and changes nothing.
  analyser.detach();
  EXPECT_EQ(analyser.ref_count(), 0);
  EXPECT_EQ(cap_.texts("charset_analyser", log4cplus::ERROR_LOG_LEVEL).size(), 1u);
  cap_.clear();

  // uninit destroys the instance once every user is gone.
  scripted_mlang mlang;
  charset_analyser::init(&mlang);
  charset_analyser::init(&mlang);
  charset_analyser::uninit();
  // Started twice, stopped once: the instance stays and the imbalance is reported.
  ASSERT_NE(charset_analyser::existing(), nullptr);
  EXPECT_EQ(mlang.refs, 2);
  EXPECT_EQ(cap_.count_containing("charset_analyser", log4cplus::ERROR_LOG_LEVEL, "_ref_count == 0"), 1);
  charset_analyser::uninit();
  EXPECT_EQ(charset_analyser::existing(), nullptr);
  EXPECT_EQ(mlang.refs, 1);
  charset_analyser::uninit();  // nothing left to stop
}

std::string raised_text(void (*what)()) {
  try {
    what();
  } catch (const platform::structured_exception& e) {
    EXPECT_EQ(e.code, RELEASE_ASSERT_CODE);
    return e.text;
  }
  return "";
}

TEST_F(charset_analyser_test, destroying_an_attached_analyser_raises) {
  static scripted_mlang mlang;
  const std::string held = raised_text([] {
    charset_analyser::instance().attach(&mlang);
    charset_analyser::destroy();
  });
  EXPECT_EQ(held.rfind("_pi_mlang == NULL not true, detail: release_assert", 0), 0u) << held;
  EXPECT_EQ(charset_analyser::existing(), nullptr);
}

}  // namespace
