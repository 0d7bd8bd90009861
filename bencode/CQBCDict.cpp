#include "bencode/CQBCDict.h"

#include "bencode/CQBCString.h"
#include "bencode/bc_factory.h"

CQBCDict::~CQBCDict() { clear(); }

void CQBCDict::clear() {
  for (auto& entry : items_) delete entry.second;
  items_.clear();
}

void CQBCDict::set(std::string key, CQBCObj* value) {
  // Keys usually arrive sorted: append at the end without a search then.
  if (items_.empty() || items_.rbegin()->first < key) {
    items_.emplace_hint(items_.end(), std::move(key), value);
    return;
  }
  auto result = items_.try_emplace(std::move(key), value);
  if (!result.second) {
    delete result.first->second;
    result.first->second = value;
  }
}

CQBCObj* CQBCDict::lookup(const std::string& key) const {
  auto it = items_.find(key);
  return it == items_.end() ? nullptr : it->second;
}

int CQBCDict::parse(const char* buf, int len) {
  if (buf == nullptr || len < 2 || buf[0] != 'd') return -1;
  // Every container counts as one level, an empty one too.
  bencode_detail::nesting_guard level;
  if (!level.ok()) return -1;
  // An empty dictionary also drops what an earlier parse left, so that the value
  // always reflects the last input.
  clear();
  if (buf[1] == 'e') return 2;
  int position = 1;
  do {
    // A key must be a string; any other value would be made and thrown away,
    // so refuse it at its first byte.
    const char* key = nullptr;
    int key_size = 0;
    const unsigned first = static_cast<unsigned char>(buf[position]) - static_cast<unsigned>('0');
    const int key_consumed =
        first <= 9 ? CQBCString::scan(buf + position, len - position, key, key_size) : -1;
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
    set(std::string(key, static_cast<std::size_t>(key_size)), value);
    position += consumed;
  } while (buf[position] != 'e');
  return position + 1;
}

void CQBCDict::encode_to(CQBCSink& out) const {
  out.put('d');
  char text[24];
  for (const auto& entry : items_) {
    int n = bencode_detail::format_int64(static_cast<std::int64_t>(entry.first.size()), text);
    text[n++] = ':';
    out.write(text, static_cast<std::size_t>(n));
    out.write(entry.first.data(), entry.first.size());
    entry.second->encode_to(out);
  }
  out.put('e');
}
