#include "bencode/CQBCDict.h"

#include <algorithm>
#include <memory>

#include "bencode/CQBCString.h"
#include "bencode/bc_factory.h"

namespace {

bool key_less(const CQBCDict::entry& a, const CQBCDict::entry& b) { return a.first < b.first; }

}  // namespace

CQBCDict::~CQBCDict() { clear(); }

void CQBCDict::clear() {
  canonical_ = false;
  for (auto& e : items_) delete e.second;
  // The storage goes too: it may belong to an arena that is about to go.
  container().swap(items_);
}

void CQBCDict::set(std::string key, CQBCObj* value) {
  canonical_ = false;
  std::unique_ptr<CQBCObj> owner(value);
  auto it = std::lower_bound(items_.begin(), items_.end(), key,
                             [](const entry& e, const std::string& k) { return e.first < k; });
  if (it != items_.end() && it->first == key) {
    delete it->second;
    it->second = owner.release();
  } else {
    items_.emplace(it, std::move(key), value);
    owner.release();
  }
}

CQBCObj* CQBCDict::lookup(std::string_view key) const {
  // Most dictionaries of a seed have a handful of keys: a scan that rejects
  // on length first beats a binary search there.
  if (items_.size() <= 8) {
    for (const auto& e : items_) {
      if (e.first.size() == key.size() && std::string_view(e.first) == key) return e.second;
    }
    return nullptr;
  }
  auto it = std::lower_bound(items_.begin(), items_.end(), key,
                             [](const entry& e, std::string_view k) { return std::string_view(e.first) < k; });
  return it != items_.end() && it->first == key ? it->second : nullptr;
}

void CQBCDict::normalise() {
  // Stable: among equal keys the file order stays, so the last one wins.
  std::stable_sort(items_.begin(), items_.end(), key_less);
  auto out = items_.begin();
  for (auto it = items_.begin(); it != items_.end(); ++it) {
    auto next = it + 1;
    if (next != items_.end() && next->first == it->first) {
      delete it->second;
      it->second = nullptr;
      continue;
    }
    if (out != it) *out = std::move(*it);
    ++out;
  }
  items_.erase(out, items_.end());
}

int CQBCDict::parse(const char* buf, int len) {
  if (buf == nullptr || len < 2 || buf[0] != 'd') return -1;
  // Every container counts as one level, an empty one too.
  bencode_detail::nesting_guard level(buf);
  if (!level.ok()) return -1;
  // An empty dictionary also drops what an earlier parse left, so that the
  // value always reflects the last input.
  clear();
  const bool outer_canonical = bencode_detail::canonical_so_far();
  bencode_detail::set_canonical(true);
  int position = 1;
  bool sorted = true;
  if (buf[1] == 'e') {
    position = 2;
  } else {
    position = parse_entries(buf, len, sorted);
    if (position < 0) return -1;
  }
  if (!sorted) {
    normalise();
    bencode_detail::mark_noncanonical();
  }
  canonical_ = bencode_detail::canonical_so_far();
  parsed_offset_ = bencode_detail::offset_in_parse(buf);
  parsed_size_ = position;
  bencode_detail::set_canonical(outer_canonical && canonical_);
  return position;
}

int CQBCDict::parse_entries(const char* buf, int len, bool& sorted) {
  int position = 1;
  items_.reserve(4);
  do {
    // A key must be a string; any other value would be made and thrown away,
    // so refuse it at its first byte.
    const char* key = nullptr;
    int key_size = 0;
    const unsigned first = static_cast<unsigned char>(buf[position]) - static_cast<unsigned>('0');
    const int key_consumed = first <= 9 && bencode_detail::count_items(2)
                                 ? CQBCString::scan(buf + position, len - position, key, key_size)
                                 : -1;
    if (key_consumed < 1) {
      clear();
      return -1;
    }
    position += key_consumed;
    CQBCObj* value = nullptr;
    const int consumed = bc_create_object(buf + position, len - position, &value);
    if (consumed < 1 || consumed >= len - position) {
      delete value;
      clear();
      return -1;
    }
    std::unique_ptr<CQBCObj> owner(value);
    items_.emplace_back(std::string(key, static_cast<std::size_t>(key_size)), value);
    owner.release();
    if (sorted && items_.size() > 1 && !(items_[items_.size() - 2].first < items_.back().first)) sorted = false;
    position += consumed;
  } while (buf[position] != 'e');
  return position + 1;
}

void CQBCDict::encode_to(CQBCSink& out) const {
  out.put('d');
  char text[24];
  for (const auto& e : items_) {
    int n = bencode_detail::format_int64(static_cast<std::int64_t>(e.first.size()), text);
    text[n++] = ':';
    out.write(text, static_cast<std::size_t>(n));
    out.write(e.first.data(), e.first.size());
    e.second->encode_to(out);
  }
  out.put('e');
}
