#include <gtest/gtest.h>

#include <string>

#include "common/charset_analyser.h"
#include "common/url_object.h"
#include "platform/codepage.h"
#include "platform/com_ptr.h"
#include "support/log_capture.h"

namespace {

class url_object_test : public ::testing::Test {
 protected:
  void SetUp() override {
    auto detector = com_ptr<IMultiLanguage2>::adopt(platform::create_builtin_mlang());
    charset_analyser::init(detector.get());
  }
  void TearDown() override {
    charset_analyser::uninit();
    platform::set_ansi_code_page(CP_UTF8);
  }
  int errors() const { return static_cast<int>(cap_.texts("url_object", log4cplus::ERROR_LOG_LEVEL).size()); }

  bts_test::log_capture cap_;
};

// Texts that do not fit the conversion buffers are kept and the failure logged.
TEST_F(url_object_test, utf8_to_ansi_code_page) {
  std::string wide;
  for (int i = 0; i < 600; ++i) wide += "\xE4\xB8\xAD";  // fits in UTF-16, needs 1200 bytes in 936
  // (Conversions that fit are checked through the parser's names.)
  struct { UINT acp; std::string in, out, error; } cases[] = {
      {1252, "a\xE4\xB8\xAD\xF0\x9F\x98\x80" "b", "a__b", ""},  // one "_" per character
      {1252, std::string(1024, 'x'), std::string(1024, 'x'), ""},
      {1252, std::string(1025, 'x'), std::string(1025, 'x'), "MultiByteTowide error:122"},
      // Not UTF-8 after all: kept, whatever the ANSI code page.
      {1252, "a\xC3" "b\xE9", "a\xC3" "b\xE9", "MultiByteTowide error:1113"},
      {CP_UTF8, "\xE4\xB8", "\xE4\xB8", "MultiByteTowide error:1113"},
      {936, wide, wide, "widechartomu error:122"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in.substr(0, 12));
    cap_.clear();
    platform::set_ansi_code_page(c.acp);
    std::string text = c.in;
    utf8_to_gb2312(text);
    EXPECT_EQ(text, c.out);
    EXPECT_EQ(errors(), c.error.empty() ? 0 : 1);
    if (!c.error.empty()) {
      EXPECT_EQ(cap_.count("url_object", log4cplus::ERROR_LOG_LEVEL, c.error), 1);
    }
  }
}

// The scheme check and the host check, each row giving the host found.
TEST_F(url_object_test, url_and_host_checks) {
  struct { const char* url; const char* host; bool valid_url, valid_host; } cases[] = {
      {"HTTP://user:pw@Example.ORG:8080/x?y", "Example.ORG", true, true},
      {"Peer://museum.museum", "museum.museum", true, true}, {"rtspt://192.168.1.10/x", "192.168.1.10", true, true},
      {"http://example.website", "example.website", true, false}, {"http://256.1.1.1/", "256.1.1.1", true, false},
      {"http://a..com/", "a..com", true, false}, {"http://a_b.com/", "a_b.com", true, false},
      {"http://redirect.invalid_/go?url=http://target.net/f.zip", "target.net", true, true},
      {"http:///path", "", true, false}, {"", "", false, false}, {"http:/a.com", "", false, false},
      {"file:///etc/passwd", "", false, false}, {" http://a.com", "", false, true}, {"httpx://a", "", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    url_object url(c.url);
    EXPECT_EQ(url.is_valid_url(), c.valid_url);
    if (c.valid_url) {
      EXPECT_EQ(url.host(), c.host);
    }
    EXPECT_EQ(url.is_valid_host(), c.valid_host);
  }
}

TEST_F(url_object_test, file_name_of_a_url) {
  struct { const char* url; const char* name; } cases[] = {
      {"http://a.com/dir/setup.EXE?x=1#frag", "setup.EXE"}, {"http://a.com", "index.html"},
      {"http://a.com/get.php?f=/x/y/movie.rmvb", "movie.rmvb"}, {"http://a.com/page", "page"},
      {"http://a.com/a%7Cb:c", "a%7Cb_c"}, {"http://a.com/x?q=%22", "x"},
  };
  for (const auto& c : cases) EXPECT_EQ(url_object(c.url).file_name(), c.name) << c.url;
}

TEST_F(url_object_test, percent_encoding) {
  struct { UINT code_page; std::string in, out; bool ok; } cases[] = {
      {CP_UTF8, "a b/\xC3\xA9-_.~", "a%20b%2F%C3%A9-_.~", true}, {936, "x\xD6\xD0y", "x%D6%D0y", true},
      {1252, "\xE9!", "%E9%21", true}, {CP_UTF8, "", "", true},
      {CP_UTF8, "\xC3" "A", "\xC3" "A", false}, {12345, "abc", "abc", false},  // failures keep the text
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    std::string text = c.in;
    EXPECT_EQ(encode_use(text, c.code_page), c.ok);
    EXPECT_EQ(text, c.out);
  }
  EXPECT_EQ(errors(), 1);  // the unknown code page
}

}  // namespace
