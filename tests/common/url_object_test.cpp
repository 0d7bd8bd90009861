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

TEST_F(url_object_test, utf8_to_ansi_code_page) {
  struct {
    UINT acp;
    std::string in;
    std::string out;
  } cases[] = {
      {1252, "\xC3\xA9", "\xE9"},
      {1252, "a\xE4\xB8\xAD" "b", "a_b"},
      {936, "\xE4\xB8\xAD\xC3\xA9", "\xD6\xD0\xA8\xA6"},
      {936, "\xF0\x9F\x98\x80", "_"},
      {CP_UTF8, "\xE4\xB8\xAD\xF0\x9F\x98\x80", "\xE4\xB8\xAD\xF0\x9F\x98\x80"},
      {1252, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    platform::set_ansi_code_page(c.acp);
    std::string text = c.in;
    utf8_to_gb2312(text);
    EXPECT_EQ(text, c.out);
  }
  EXPECT_EQ(errors(), 0);
}

TEST_F(url_object_test, utf8_to_ansi_code_page_keeps_texts_that_do_not_fit) {
  platform::set_ansi_code_page(1252);
  // 1024 units fit; 1025 do not.
  std::string fits(1024, 'x');
  utf8_to_gb2312(fits);
  EXPECT_EQ(fits, std::string(1024, 'x'));
  std::string longer(1025, 'x');
  utf8_to_gb2312(longer);
  EXPECT_EQ(longer, std::string(1025, 'x'));
  EXPECT_EQ(cap_.count("url_object", log4cplus::ERROR_LOG_LEVEL, "MultiByteTowide error:122"), 1);

  // 600 characters fit the UTF-16 buffer but need 1200 bytes in code page 936.
  platform::set_ansi_code_page(936);
  std::string wide;
  for (int i = 0; i < 600; ++i) wide += "\xE4\xB8\xAD";
  const std::string before = wide;
  utf8_to_gb2312(wide);
  EXPECT_EQ(wide, before);
  EXPECT_EQ(cap_.count("url_object", log4cplus::ERROR_LOG_LEVEL, "widechartomu error:122"), 1);
  EXPECT_EQ(errors(), 2);
}

TEST_F(url_object_test, url_check) {
  for (const char* url : {"http://a.com", "HTTP://A.COM", "ftp://x", "mms://x", "rtsp://x", "https://x", "ftps://x",
                          "mmst://x", "rtspt://x", "Peer://x"}) {
    EXPECT_TRUE(url_object(url).is_valid_url()) << url;
  }
  for (const char* url : {"", "http:/a.com", "file:///etc/passwd", " http://a.com", "httpx://a", "magnet:?xt=1"}) {
    EXPECT_FALSE(url_object(url).is_valid_url()) << url;
  }
}

TEST_F(url_object_test, host_check) {
  struct {
    const char* url;
    const char* host;
    bool valid;
  } cases[] = {
      {"http://www.example.com/a", "www.example.com", true},
      {"http://user:pw@Example.ORG:8080/x?y", "Example.ORG", true},
      {"http://museum.museum", "museum.museum", true},
      {"http://a.info", "a.info", true},
      {"http://192.168.1.10/x", "192.168.1.10", true},
      {"http://localhost:80/", "localhost", true},
      {"http://example.website", "example.website", false},
      {"http://256.1.1.1/", "256.1.1.1", false},
      {"http://-a.com/", "-a.com", false},
      {"http://a..com/", "a..com", false},
      {"http://nodot/", "nodot", false},
      {"http://a_b.com/", "a_b.com", false},
      {"http://redirect.invalid_/go?url=http://target.net/f.zip", "target.net", true},
      {"http:///path", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    url_object url(c.url);
    EXPECT_EQ(url.host(), c.host);
    EXPECT_EQ(url.is_valid_host(), c.valid);
  }
}

TEST_F(url_object_test, file_name_of_a_url) {
  struct {
    const char* url;
    const char* name;
  } cases[] = {
      {"http://a.com/dir/setup.exe", "setup.exe"},
      {"http://a.com/dir/setup.EXE?x=1#frag", "setup.EXE"},
      {"http://a.com/", "index.html"},
      {"http://a.com", "index.html"},
      {"http://a.com/get.php?id=3&file=pack.zip", "pack.zip"},
      {"http://a.com/get.php?f=/x/y/movie.rmvb", "movie.rmvb"},
      {"http://a.com/page", "page"},
      {"http://a.com/a%7Cb:c", "a%7Cb_c"},
      {"http://a.com/x?q=%22", "x"},
  };
  for (const auto& c : cases) EXPECT_EQ(url_object(c.url).file_name(), c.name) << c.url;
}

TEST_F(url_object_test, percent_encoding) {
  struct {
    UINT code_page;
    std::string in;
    std::string out;
  } cases[] = {
      {CP_UTF8, "a b/\xC3\xA9-_.~", "a%20b%2F%C3%A9-_.~"},
      {936, "x\xD6\xD0y", "x%D6%D0y"},
      {1252, "\xE9!", "%E9%21"},
      {CP_UTF8, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    std::string text = c.in;
    EXPECT_TRUE(encode_use(text, c.code_page));
    EXPECT_EQ(text, c.out);
  }
  std::string invalid = "\xC3" "A";
  EXPECT_FALSE(encode_use(invalid, CP_UTF8));
  EXPECT_EQ(invalid, "\xC3" "A");
  std::string unknown_page = "abc";
  EXPECT_FALSE(encode_use(unknown_page, 12345));
  EXPECT_EQ(unknown_page, "abc");
  EXPECT_EQ(cap_.count("url_object", log4cplus::ERROR_LOG_LEVEL,
                       "encode_use error:MultiByteToWideChar call error, code:87"),
            1);
}

TEST_F(url_object_test, conversions_through_utf16) {
  platform::set_ansi_code_page(1252);
  std::string text = "caf\xE9";  // not UTF-8: taken as the ANSI code page
  EXPECT_TRUE(to_utf8(text));
  EXPECT_EQ(text, "caf\xC3\xA9");
  EXPECT_TRUE(to_utf8(text));  // already UTF-8
  EXPECT_EQ(text, "caf\xC3\xA9");
  EXPECT_TRUE(to_cpacp(text));
  EXPECT_EQ(text, "caf\xE9");
  std::string chinese = "\xE4\xB8\xAD";
  EXPECT_TRUE(to_cpacp(chinese));
  EXPECT_EQ(chinese, "_");
  EXPECT_EQ(errors(), 0);

  platform::set_ansi_code_page(12345);  // a code page the platform cannot convert
  std::string bytes = "caf\xE9";
  EXPECT_FALSE(to_utf8(bytes));
  EXPECT_EQ(bytes, "caf\xE9");
  EXPECT_EQ(cap_.count("url_object", log4cplus::ERROR_LOG_LEVEL, "MultiByteToWideChar error:87"), 1);
}

}  // namespace
