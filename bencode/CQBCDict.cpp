#include "bencode/CQBCDict.h"

#include <algorithm>
#include <memory>

#include "bencode/bc_factory.h"
#include "bencode/bc_node.h"
#include "bencode/bc_scan.h"

CQBCDict::~CQBCDict() { clear(); }

void CQBCDict::clear() {
  for (auto& e : items_) delete e.second;
  items_.clear();
}

void CQBCDict::set(std::string key, CQBCObj* value) {
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
  auto it = std::lower_bound(items_.begin(), items_.end(), key,
                             [](const entry& e, std::string_view k) { return std::string_view(e.first) < k; });
  return it != items_.end() && it->first == key ? it->second : nullptr;
}

void CQBCDict::assign(const bc_node& dict) {
  clear();
  items_.reserve(dict.size());
  bool sorted = true;
  for (const auto& [key, value] : dict.entries()) {
    std::unique_ptr<CQBCObj> owner(bc_make_object(value));
    items_.emplace_back(std::string(key.string_value()), owner.get());
    owner.release();
    if (sorted && items_.size() > 1 && !(items_[items_.size() - 2].first < items_.back().first)) sorted = false;
  }
  if (!sorted) normalise();
}

void CQBCDict::normalise() {
  // Stable: among equal keys the file order stays, so the last one wins.
  std::stable_sort(items_.begin(), items_.end(), [](const entry& a, const entry& b) { return a.first < b.first; });
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
  // A failed or empty parse also drops what an earlier one left, so that
  // the value always reflects the last input.
  clear();
  bc_document doc;
  const int consumed = doc.parse(buf, len);
  if (consumed > 0) assign(doc.root());
  return consumed;
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
