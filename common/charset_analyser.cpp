#include "common/charset_analyser.h"

#include <log4cplus/loggingmacros.h>

#include <climits>

#include "common/release_assert.h"
#include "platform/com_ptr.h"

namespace {

const log4cplus::Logger& logger() {
  static const log4cplus::Logger instance = log4cplus::Logger::getInstance(LOG4CPLUS_TEXT("charset_analyser"));
  return instance;
}

constexpr int kMaxGuesses = 8;

}  // namespace

charset_analyser::~charset_analyser() noexcept(false) {
  RELEASE_ASSERT_TEXT(_pi_mlang.load() == nullptr, "_pi_mlang == NULL", "release_assert");
  RELEASE_ASSERT_TEXT(_ref_count.load() == 0, "_ref_count == 0", "release_assert");
}

bool charset_analyser::attach(IMultiLanguage2* mlang) {
  std::lock_guard<std::mutex> lock(_lock);
  if (mlang != nullptr && _pi_mlang.load() == nullptr) {
    mlang->AddRef();
    _pi_mlang.store(mlang);
  }
  ++_ref_count;
  return true;
}

void charset_analyser::detach() {
  IMultiLanguage2* released = nullptr;
  {
    std::lock_guard<std::mutex> lock(_lock);
    if (_ref_count.load() <= 0) {
      REPORT_ASSERT(logger(), "_ref_count > 0", "detach without attach");
      return;
    }
    if (--_ref_count == 0) released = _pi_mlang.exchange(nullptr);
  }
  if (released != nullptr) released->Release();
}

UINT charset_analyser::detect(const std::string& text) const { return batch(*this).detect(text.data(), text.size()); }

charset_analyser::batch::batch(const charset_analyser& analyser) {
  std::lock_guard<std::mutex> lock(analyser._lock);
  mlang_ = com_ptr<IMultiLanguage2>(analyser._pi_mlang.load());
}

UINT charset_analyser::batch::detect(const char* text, std::size_t size) const {
  if (!mlang_) {
    LOG4CPLUS_ERROR(logger(), "pointer to mlang com object is not created yet!!");
    return 0;
  }
  if (text == nullptr) text = "";
  DetectEncodingInfo guesses[kMaxGuesses] = {};
  INT length = size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<INT>(size);
  INT count = kMaxGuesses;
  const HRESULT hr = mlang_->DetectInputCodepage(0, 0, const_cast<char*>(text), &length, guesses, &count);
  if (FAILED(hr)) {
    LOG4CPLUS_ERROR(logger(), "mlang interface function DetectInputCodepage call error!!");
    return 0;
  }
  if (count < 1 || guesses[0].nConfidence < kMinConfidence) return 0;
  return guesses[0].nCodePage;
}

bool charset_analyser::init(IMultiLanguage2* mlang) { return instance().attach(mlang); }

void charset_analyser::uninit() {
  charset_analyser* analyser = existing();
  if (analyser == nullptr) return;
  analyser->detach();
  if (analyser->_ref_count.load() == 0 && analyser->_pi_mlang.load() == nullptr) {
    destroy();
  } else {
    REPORT_ASSERT(logger(), "_ref_count == 0", "release_assert");
  }
}
