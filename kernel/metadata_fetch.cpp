#include "kernel/metadata_fetch.h"

#include <libtorrent/magnet_uri.hpp>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "kernel/fetch_core.h"
#include "kernel/kernel_call.h"
#include "kernel/kernel_session.h"
#include "platform/com_ptr.h"

namespace {

constexpr char kBtihPrefix[] = "urn:btih:";
constexpr std::size_t kHexHashDigits = 40;

// The link with every "%XX" decoded, in lower case.
std::string decoded_lower(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      c = static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
      i += 2;
    }
    out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return out;
}

// libtorrent checks base32 hashes but reads a 40-digit one only as far as it
// is hexadecimal: its digits are checked here.
bool hex_hash_is_whole(const std::string& link) {
  const std::string text = decoded_lower(link);
  const std::size_t at = text.rfind(kBtihPrefix);
  if (at == std::string::npos) return false;
  const std::size_t start = at + std::strlen(kBtihPrefix);
  const std::string value = text.substr(start, text.find('&', start) - start);
  return value.size() != kHexHashDigits ||
         std::all_of(value.begin(), value.end(), [](unsigned char c) { return std::isxdigit(c); });
}

}  // namespace

bool read_magnet_link(const std::string& link, lt::add_torrent_params& params) {
  lt::error_code ec;
  lt::parse_magnet_uri(link, params, ec);
  return !ec && params.info_hashes.has_v1() && hex_hash_is_whole(link);
}

metadata_fetcher::metadata_fetcher(IUnknown& owner, std::shared_ptr<kernel_session> session)
    : member_interface(owner), session_(std::move(session)) {}

HRESULT metadata_fetcher::StartFetch(tagSTRING magnet_link, IBtMetadataFetch** fetch) {
  if (!fetch) return E_POINTER;
  *fetch = nullptr;
  return kernel_call("StartFetch", [&] {
    const std::string link = to_std_string(magnet_link);
    lt::add_torrent_params params;
    if (!read_magnet_link(link, params)) {
      LOG4CPLUS_WARN(kernel_logger(), "StartFetch: " << link << " is no magnet link with a v1 info hash");
      return E_INVALIDARG;
    }
    const auto core = std::make_shared<fetch_core>(params);
    // Made first, so that whatever happens next its end removes the torrent.
    com_ptr<metadata_fetch> made = com_ptr<metadata_fetch>::adopt(new metadata_fetch(session_, core));
    LOG4CPLUS_INFO(kernel_logger(), "metadata fetch " << core->info_hash() << " for " << link);
    session_->add_fetch(core);
    *fetch = made.detach();
    return S_OK;
  });
}

metadata_fetch::metadata_fetch(std::shared_ptr<kernel_session> session, std::shared_ptr<fetch_core> core)
    : CUnknownMultiThread("metadata_fetch"), session_(std::move(session)), core_(std::move(core)) {}

metadata_fetch::~metadata_fetch() {
  kernel_call("metadata_fetch::~metadata_fetch", [&] {
    session_->end_fetch(core_);
    return S_OK;
  });
}

HRESULT metadata_fetch::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IBtMetadataFetch)) return E_NOINTERFACE;
  *ppv = static_cast<IBtMetadataFetch*>(this);
  AddRef();
  return S_OK;
}

HRESULT metadata_fetch::GetState(ULONG* state, ULONG* peers) {
  return kernel_call("GetState", [&] {
    const bt_fetch_state now = core_->state(peers);
    if (state) *state = now;
    return S_OK;
  });
}

HRESULT metadata_fetch::GetSeed(IStringSetter* seed) {
  if (!seed) return E_POINTER;
  return kernel_call("GetSeed", [&] {
    std::string bytes;
    if (core_->seed(bytes)) {
      set_text(seed, bytes);
      return S_OK;
    }
    return core_->state(nullptr) == bt_fetch_failed ? E_FAIL : E_PENDING;
  });
}

HRESULT metadata_fetch::GetFailureText(IStringSetter* text) {
  return kernel_call("GetFailureText", [&] {
    set_text(text, core_->failure_text());
    return S_OK;
  });
}
