#include "platform/mlang.h"

#include <atomic>

#include "platform/codepage.h"
#include "platform/module.h"

namespace platform {

bool is_well_formed_utf8(const char* text, std::size_t size, bool* has_multibyte) {
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  bool multibyte = false;
  std::size_t i = 0;
  while (i < size) {
    const unsigned char b = s[i];
    if (b < 0x80) {
      ++i;
      continue;
    }
    std::size_t len;
    unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
      len = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3;
      if (b == 0xE0) lo = 0xA0;       // no overlong forms
      if (b == 0xED) hi = 0x9F;       // no surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;       // nothing above U+10FFFF
    } else {
      return false;
    }
    if (size - i < len) return false;
    if (s[i + 1] < lo || s[i + 1] > hi) return false;
    for (std::size_t k = 2; k < len; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) return false;
    }
    multibyte = true;
    i += len;
  }
  if (has_multibyte) *has_multibyte = multibyte;
  return true;
}

namespace {

class builtin_mlang final : public mlang_detector {
 public:
  builtin_mlang() { module_lock(); }
  builtin_mlang(const builtin_mlang&) = delete;
  builtin_mlang& operator=(const builtin_mlang&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    return query_single_interface<IMultiLanguage2>(this, IID_IMultiLanguage2, riid, ppv);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }


  HRESULT STDMETHODCALLTYPE DetectInputCodepage(DWORD, DWORD, char* text, INT* size, DetectEncodingInfo* results,
                                                INT* count) override {
    if (text == nullptr || size == nullptr || results == nullptr || count == nullptr || *size < 0 ||
        *count < 1) {
      return E_INVALIDARG;
    }
    if (*size == 0) {
      *count = 0;
      return S_FALSE;
    }
    bool multibyte = false;
    DetectEncodingInfo& best = results[0];
    best.nLangID = 0;
    best.nDocPercent = 100;
    if (is_well_formed_utf8(text, static_cast<std::size_t>(*size), &multibyte)) {
      best.nCodePage = multibyte ? CP_UTF8 : kCodePageUsAscii;
      best.nConfidence = kDetectorSureConfidence;
    } else if (GetACP() != CP_UTF8) {
      best.nCodePage = GetACP();
      best.nConfidence = kDetectorGuessConfidence;
    } else {
      *count = 0;
      return S_FALSE;
    }
    *count = 1;
    return S_OK;
  }

 private:
  ~builtin_mlang() { module_unlock(); }

  std::atomic<ULONG> refs_{1};
};

}  // namespace

IMultiLanguage2* create_builtin_mlang() { return new builtin_mlang; }

}  // namespace platform
