// A URL with its checks, and the text conversions between code pages.
// Conversions never throw: on failure the text keeps its value and one
// ERROR line goes to the "url_object" logger.
#pragma once

#include <string>

#include "platform/types.h"

class url_object {
 public:
  url_object() = default;
  explicit url_object(std::string url) : m_url(std::move(url)) {}

  const std::string& url() const { return m_url; }
  void set_url(std::string url) { m_url = std::move(url); }

  // The URL starts (case-insensitively) with one of the supported schemes:
  // http, ftp, mms, rtsp, https, ftps, mmst, rtspt, peer.
  bool is_valid_url() const;
  // The host part (of the URL after a "url=" marker, when there is one) is a
  // dotted IPv4 address or a domain name whose labels are letters, digits
  // and inner hyphens and whose last label is two or three letters or one of
  // the longer top-level domains.
  bool is_valid_host() const;
  // The host part as above ("" when there is none).
  std::string host() const;
  // The name the URL's resource would be saved under: the last path segment,
  // else a name with a known extension in the query, else "index.html";
  // characters not allowed in names become '_'.
  std::string file_name() const;

  static bool is_url(const std::string& text);

 private:
  std::string m_url;
};

// The code page the charset detector reports for `text`; 0 when unknown.
UINT get_code_page(const std::string& text);

// Converts `text` in place from UTF-8 to the ANSI code page, through fixed
// buffers of 1024 UTF-16 units and 1024 bytes; characters the code page lacks
// become '_'. Longer texts and texts that are not valid UTF-8 stay unchanged.
void utf8_to_gb2312(std::string& text);

// Percent-encodes `text`, a text of `code_page`, character by character:
// unreserved ASCII characters (letters, digits, "-", "_", ".", "~") stay,
// every byte of any other character becomes "%XX". False (text unchanged)
// when the text cannot be walked in that code page.
bool encode_use(std::string& text, UINT code_page);

// Convert `text` from its detected code page (the ANSI code page when the
// detector cannot tell) to UTF-8, respectively to the ANSI code page, through
// UTF-16. False (text unchanged) on failure.
bool to_utf8(std::string& text);
bool to_cpacp(std::string& text);
