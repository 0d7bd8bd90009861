// The part of the MLang service the module uses: code-page detection through
// IMultiLanguage2::DetectInputCodepage, and a built-in detector object for
// hosts that offer none.
#pragma once

#include "platform/unknwn.h"

// {DCCFC164-2B38-11D2-B7EC-00C04F8F5D9A}
inline constexpr IID IID_IMultiLanguage2 = {
    0xDCCFC164, 0x2B38, 0x11D2, {0xB7, 0xEC, 0x00, 0xC0, 0x4F, 0x8F, 0x5D, 0x9A}};

struct DetectEncodingInfo {
  UINT nLangID;
  UINT nCodePage;
  INT nDocPercent;
  INT nConfidence;
};

// Slot order of the Windows interface up to DetectInputCodepage. The module
// calls nothing but DetectInputCodepage; the slots before it are kept as
// placeholders (the Windows method each one stands for is named beside it).
struct IMultiLanguage2 : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Reserved3() = 0;   // GetNumberOfCodePageInfo
  virtual HRESULT STDMETHODCALLTYPE Reserved4() = 0;   // GetCodePageInfo
  virtual HRESULT STDMETHODCALLTYPE Reserved5() = 0;   // GetFamilyCodePage
  virtual HRESULT STDMETHODCALLTYPE Reserved6() = 0;   // EnumCodePages
  virtual HRESULT STDMETHODCALLTYPE Reserved7() = 0;   // GetCharsetInfo
  virtual HRESULT STDMETHODCALLTYPE Reserved8() = 0;   // IsConvertible
  virtual HRESULT STDMETHODCALLTYPE Reserved9() = 0;   // ConvertString
  virtual HRESULT STDMETHODCALLTYPE Reserved10() = 0;  // ConvertStringToUnicode
  virtual HRESULT STDMETHODCALLTYPE Reserved11() = 0;  // ConvertStringFromUnicode
  virtual HRESULT STDMETHODCALLTYPE Reserved12() = 0;  // ConvertStringReset
  virtual HRESULT STDMETHODCALLTYPE Reserved13() = 0;  // GetRfc1766FromLcid
  virtual HRESULT STDMETHODCALLTYPE Reserved14() = 0;  // GetLcidFromRfc1766
  virtual HRESULT STDMETHODCALLTYPE Reserved15() = 0;  // EnumRfc1766
  virtual HRESULT STDMETHODCALLTYPE Reserved16() = 0;  // GetRfc1766Info
  virtual HRESULT STDMETHODCALLTYPE Reserved17() = 0;  // CreateConvertCharset
  virtual HRESULT STDMETHODCALLTYPE Reserved18() = 0;  // ConvertStringInIStream
  virtual HRESULT STDMETHODCALLTYPE Reserved19() = 0;  // ConvertStringToUnicodeEx
  virtual HRESULT STDMETHODCALLTYPE Reserved20() = 0;  // ConvertStringFromUnicodeEx
  virtual HRESULT STDMETHODCALLTYPE Reserved21() = 0;  // DetectCodepageInIStream
  // Slot 22. Fills up to *pnScores guesses, best first, and sets *pnScores to
  // their number.
  virtual HRESULT STDMETHODCALLTYPE DetectInputCodepage(DWORD dwFlag, DWORD dwPrefWinCodePage, char* pSrcStr,
                                                        INT* pcSrcSize, DetectEncodingInfo* lpEncoding,
                                                        INT* pnScores) = 0;
};

namespace platform {

// An MLang object serving only detection: the slots before
// DetectInputCodepage answer E_NOTIMPL.
struct mlang_detector : IMultiLanguage2 {
  HRESULT STDMETHODCALLTYPE Reserved3() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved4() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved5() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved6() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved7() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved8() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved9() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved10() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved11() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved12() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved13() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved14() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved15() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved16() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved17() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved18() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved19() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved20() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved21() override { return E_NOTIMPL; }
};

// Slot of DetectInputCodepage in the interface's table.
constexpr int kDetectInputCodepageSlot = 22;

// Code page and confidences the built-in detector reports.
constexpr UINT kCodePageUsAscii = 20127;
constexpr INT kDetectorSureConfidence = 100;
constexpr INT kDetectorGuessConfidence = 25;

// A new built-in detector with one reference owned by the caller. It answers:
// empty text: S_FALSE and no guess; text of 7-bit bytes only: 20127 (US-ASCII);
// well-formed UTF-8 with at least one multi-byte sequence: 65001; anything
// else: the ANSI code page with a low confidence, or no guess (S_FALSE) when
// the ANSI code page is itself UTF-8. Sure answers carry confidence 100.
IMultiLanguage2* create_builtin_mlang();

// Whether [text, text + size) is well-formed UTF-8 (shortest forms, no
// surrogates, nothing above U+10FFFF); *has_multibyte tells whether any
// sequence is longer than one byte.
bool is_well_formed_utf8(const char* text, std::size_t size, bool* has_multibyte);

}  // namespace platform
