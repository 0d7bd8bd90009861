#include "common/url_object.h"

#include <log4cplus/loggingmacros.h>

#include <climits>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

#include "common/charset_analyser.h"
#include "common/common_char_iterator.h"
#include "common/utf_8_decoder.h"
#include "common/utility.h"
#include "platform/mlang.h"
#include "platform/codepage.h"
#include "platform/winerror.h"

namespace {

const log4cplus::Logger& logger() {
  static const log4cplus::Logger instance = log4cplus::Logger::getInstance(LOG4CPLUS_TEXT("url_object"));
  return instance;
}

constexpr int kWideCapacity = 1024;
constexpr int kNarrowCapacity = 1024;

const char* const kSchemes[] = {"http://", "ftp://", "mms://", "rtsp://", "https://",
                                "ftps://", "mmst://", "rtspt://", "peer://"};
const char* const kLongTopLevelDomains[] = {"arpa", "coop", "info", "aero", "museum", "name"};
const char kUrlMarker[] = "url=";
const char kDefaultFileName[] = "index.html";
const char kBadNameChars[] = "\\/:*?\"<>|\t\r\n";
const char* const kKnownExtensions[] = {".msi", ".asf", ".avi", ".exe", ".iso", ".mp3", ".mpeg", ".mpg",
                                        ".mpga", ".rar", ".rmvb", ".tar", ".wma", ".wmp", ".wmv", ".zip"};

bool starts_with(const std::string& text, const char* prefix) { return text.compare(0, std::strlen(prefix), prefix) == 0; }

bool ends_with(const std::string& text, const char* suffix) {
  const std::size_t n = std::strlen(suffix);
  return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

bool is_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Everything after "scheme://" (or the whole text without one).
std::string after_scheme(const std::string& url) {
  const std::size_t p = url.find("://");
  return p == std::string::npos ? url : url.substr(p + 3);
}

bool is_ipv4(const std::string& host) {
  int parts = 0;
  std::size_t i = 0;
  while (i <= host.size()) {
    std::size_t j = i;
    int value = 0;
    while (j < host.size() && is_digit(host[j]) && j - i < 3) value = value * 10 + (host[j++] - '0');
    if (j == i || value > 255 || (j < host.size() && host[j] != '.')) return false;
    ++parts;
    i = j + 1;
  }
  return parts == 4;
}

bool has_known_extension(const std::string& name) {
  const std::string lower = to_lower_ascii(name);
  for (const char* ext : kKnownExtensions) {
    if (ends_with(lower, ext)) return true;
  }
  return false;
}

std::string clean_name(std::string name) {
  for (char& c : name) {
    if (c != 0 && std::strchr(kBadNameChars, c) != nullptr) c = '_';
  }
  return name;
}

template <class Convert>
bool guarded(const char* what, Convert convert) {
  try {
    return convert();
  } catch (const std::exception& e) {
    LOG4CPLUS_ERROR(logger(), what << " error:" << e.what());
  } catch (...) {
    LOG4CPLUS_ERROR(logger(), what << " unknown error");
  }
  return false;
}

// text (code page `from`) -> `to`, through UTF-16, sized to fit.
bool convert(std::string& text, UINT from, UINT to) {
  if (text.empty()) return true;
  if (text.size() > static_cast<std::size_t>(INT_MAX)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    LOG4CPLUS_ERROR(logger(), "MultiByteToWideChar error:" << GetLastError());
    return false;
  }
  const int size = static_cast<int>(text.size());
  const int units = MultiByteToWideChar(from, 0, text.data(), size, nullptr, 0);
  std::vector<WCHAR> wide(units > 0 ? static_cast<std::size_t>(units) : 1);
  if (units == 0 || MultiByteToWideChar(from, 0, text.data(), size, wide.data(), units) == 0) {
    LOG4CPLUS_ERROR(logger(), "MultiByteToWideChar error:" << GetLastError());
    return false;
  }
  const UINT target = to == CP_ACP ? GetACP() : to;
  const char* replacement = target == CP_UTF8 ? nullptr : "_";
  const int bytes = WideCharToMultiByte(to, 0, wide.data(), units, nullptr, 0, replacement, nullptr);
  std::string out(bytes > 0 ? static_cast<std::size_t>(bytes) : 0, '\0');
  if (bytes == 0 || WideCharToMultiByte(to, 0, wide.data(), units, &out[0], bytes, replacement, nullptr) == 0) {
    LOG4CPLUS_ERROR(logger(), "WideCharToMultiByte error:" << GetLastError());
    return false;
  }
  text.swap(out);
  return true;
}

UINT source_code_page(const std::string& text) {
  const UINT detected = get_code_page(text);
  return detected == 0 ? GetACP() : detected;
}

}  // namespace

bool url_object::is_url(const std::string& text) {
  const std::string lower = to_lower_ascii(text);
  for (const char* scheme : kSchemes) {
    if (starts_with(lower, scheme)) return true;
  }
  return false;
}

bool url_object::is_valid_url() const { return is_url(m_url); }

std::string url_object::host() const {
  std::string url = m_url;
  const std::size_t marker = to_lower_ascii(url).find(kUrlMarker);
  if (marker != std::string::npos) url = url.substr(marker + sizeof(kUrlMarker) - 1);
  std::string rest = after_scheme(url);
  rest = rest.substr(0, rest.find_first_of("/?#"));
  const std::size_t at = rest.rfind('@');
  if (at != std::string::npos) rest = rest.substr(at + 1);
  return rest.substr(0, rest.find(':'));
}

bool url_object::is_valid_host() const {
  const std::string name = to_lower_ascii(host());
  if (name.empty()) return false;
  if (is_ipv4(name)) return true;
  if (name == "localhost") return true;
  std::size_t start = 0;
  std::string last;
  int labels = 0;
  while (start <= name.size()) {
    std::size_t end = name.find('.', start);
    if (end == std::string::npos) end = name.size();
    const std::string label = name.substr(start, end - start);
    if (label.empty() || label.front() == '-' || label.back() == '-' || label.size() > 63) return false;
    for (char c : label) {
      if (!is_alpha(c) && !is_digit(c) && c != '-') return false;
    }
    last = label;
    ++labels;
    start = end + 1;
  }
  if (labels < 2) return false;
  bool letters = true;
  for (char c : last) letters = letters && is_alpha(c);
  if (letters && (last.size() == 2 || last.size() == 3)) return true;
  for (const char* tld : kLongTopLevelDomains) {
    if (last == tld) return true;
  }
  return false;
}

std::string url_object::file_name() const {
  std::string rest = after_scheme(m_url);
  const std::size_t fragment = rest.find('#');
  if (fragment != std::string::npos) rest.resize(fragment);
  std::string query;
  const std::size_t q = rest.find('?');
  if (q != std::string::npos) {
    query = rest.substr(q + 1);
    rest.resize(q);
  }
  const std::size_t slash = rest.find('/');
  const std::string path = slash == std::string::npos ? std::string() : rest.substr(slash);
  std::string name = path.substr(path.rfind('/') + 1);
  if (!name.empty() && has_known_extension(name)) return clean_name(name);
  // A download script often names the file in its query ("get.php?f=a.zip").
  std::size_t start = 0;
  while (start < query.size()) {
    std::size_t end = query.find('&', start);
    if (end == std::string::npos) end = query.size();
    std::string value = query.substr(start, end - start);
    const std::size_t eq = value.find('=');
    if (eq != std::string::npos) value = value.substr(eq + 1);
    value = value.substr(value.find_last_of('/') == std::string::npos ? 0 : value.find_last_of('/') + 1);
    if (has_known_extension(value)) return clean_name(value);
    start = end + 1;
  }
  return name.empty() ? std::string(kDefaultFileName) : clean_name(name);
}

UINT get_code_page(const std::string& text) { return charset_analyser::instance().detect(text); }

void utf8_to_gb2312(std::string& text) {
  if (text.empty()) return;
  // Well-formed UTF-8 that fits the buffers converts to itself when the ANSI
  // code page is UTF-8: nothing to do then.
  if (GetACP() == CP_UTF8 && text.size() <= static_cast<std::size_t>(kNarrowCapacity) &&
      platform::is_well_formed_utf8(text.data(), text.size(), nullptr)) {
    return;
  }
  try {
    // Only the units the conversion writes are read: the buffer needs no clearing.
    WCHAR wide[kWideCapacity];
    int units = 0;
    if (text.size() > static_cast<std::size_t>(INT_MAX)) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
    } else {
      // Text that is not UTF-8 after all is left as it is, not patched up
      // with replacement characters.
      units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), wide,
                                  kWideCapacity);
    }
    if (units == 0) {
      LOG4CPLUS_ERROR(logger(), "MultiByteTowide error:" << GetLastError());
      return;
    }
    char narrow[kNarrowCapacity];
    // A UTF-8 target takes no replacement character: it can write every one.
    const char* replacement = GetACP() == CP_UTF8 ? nullptr : "_";
    const int bytes = WideCharToMultiByte(CP_ACP, 0, wide, units, narrow, kNarrowCapacity, replacement, nullptr);
    if (bytes == 0) {
      LOG4CPLUS_ERROR(logger(), "widechartomu error:" << GetLastError());
      return;
    }
    text.assign(narrow, static_cast<std::size_t>(bytes));
  } catch (const std::exception& e) {
    LOG4CPLUS_ERROR(logger(), "utf8_to_gb2312 error:" << e.what());
  } catch (...) {
    LOG4CPLUS_ERROR(logger(), "utf8_to_gb2312 unknown error");
  }
}

bool encode_use(std::string& text, UINT code_page) {
  return guarded("encode_use", [&] {
    if (text.empty()) return true;
    if (text.size() > static_cast<std::size_t>(INT_MAX)) return false;
    const int length = static_cast<int>(text.size());
    std::unique_ptr<character_iterator> it;
    if (code_page == CP_UTF8) {
      it = std::make_unique<utf_8_decoder>(text.data(), length);
    } else {
      it = std::make_unique<common_char_iterator>(code_page, text.data(), length);
    }
    if (!it->valid()) return false;
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    std::size_t pos = 0;
    it->reset();
    while (!it->at_end() && pos < text.size()) {
      const int char_len = it->next();
      if (char_len <= 0) {
        LOG4CPLUS_ERROR(logger(), "char_len is zero");
        return false;
      }
      const auto n = static_cast<std::size_t>(char_len);
      const char c = text[pos];
      if (n == 1 && (is_alpha(c) || is_digit(c) || c == '-' || c == '_' || c == '.' || c == '~')) {
        out += c;
      } else {
        for (std::size_t k = 0; k < n && pos + k < text.size(); ++k) {
          const auto b = static_cast<unsigned char>(text[pos + k]);
          out += '%';
          out += hex[b >> 4];
          out += hex[b & 0x0F];
        }
      }
      pos += n;
    }
    text.swap(out);
    return true;
  });
}

bool to_utf8(std::string& text) {
  return guarded("to_utf8", [&] {
    const UINT from = source_code_page(text);
    if (from == CP_UTF8) return true;
    return convert(text, from, CP_UTF8);
  });
}

bool to_cpacp(std::string& text) {
  return guarded("to_cpacp", [&] {
    const UINT from = source_code_page(text);
    if (from == GetACP()) return true;
    return convert(text, from, CP_ACP);
  });
}
