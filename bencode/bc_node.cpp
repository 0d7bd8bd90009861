#include "bencode/bc_node.h"

#include <algorithm>
#include <vector>

#include "bencode/bc_scan.h"

namespace {

bool is_container(const bc_token& t) { return t.kind == bc_token::LIST || t.kind == bc_token::DICT; }

}  // namespace

std::int64_t bc_node::int_value() const {
  if (!is_int()) return 0;
  // The decoding proved the text: "i", an optional "-", digits, "e".
  const char* p = doc_->buf_ + token().offset + 1;
  const bool negative = *p == '-';
  if (negative) ++p;
  std::uint64_t value = 0;
  for (; *p != 'e'; ++p) value = value * 10 + static_cast<unsigned>(*p - '0');
  return static_cast<std::int64_t>(negative ? 0 - value : value);
}

std::size_t bc_node::size() const {
  if (!doc_ || !is_container(token())) return 0;
  std::size_t n = 0;
  for (bc_node item = first(); !item.is_end(); item = item.next()) ++n;
  return is_dict() ? n / 2 : n;
}

std::string_view bc_node::raw() const {
  if (!doc_ || !is_container(token())) return std::string_view();
  const bc_token& end = doc_->token(index_ + token().extent - 1);
  return std::string_view(doc_->buf_ + token().offset, end.offset + 1 - token().offset);
}

bool bc_node::canonical() const { return doc_ && is_container(token()) && token().canonical; }

void bc_node::encode_to(CQBCSink& out) const {
  char text[24];
  switch (type()) {
    case INT: {
      text[0] = 'i';
      int n = 1 + bencode_detail::format_int64(int_value(), text + 1);
      text[n++] = 'e';
      out.write(text, static_cast<std::size_t>(n));
      return;
    }
    case STRING: {
      const std::string_view bytes = string_value();
      int n = bencode_detail::format_int64(static_cast<std::int64_t>(bytes.size()), text);
      text[n++] = ':';
      out.write(text, static_cast<std::size_t>(n));
      out.write(bytes.data(), bytes.size());
      return;
    }
    case LIST:
      if (canonical()) break;
      out.put('l');
      for (bc_node item : elements()) item.encode_to(out);
      out.put('e');
      return;
    case DICT: {
      if (canonical()) break;
      // Stable: among equal keys the input order stays, and the last wins.
      std::vector<std::pair<bc_node, bc_node>> sorted;
      for (const auto& entry : entries()) sorted.push_back(entry);
      std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
        return a.first.string_value() < b.first.string_value();
      });
      out.put('d');
      for (std::size_t i = 0; i < sorted.size(); ++i) {
        if (i + 1 < sorted.size() && sorted[i + 1].first.string_value() == sorted[i].first.string_value()) continue;
        sorted[i].first.encode_to(out);
        sorted[i].second.encode_to(out);
      }
      out.put('e');
      return;
    }
    case NONE:
      return;
  }
  const std::string_view bytes = raw();
  out.write(bytes.data(), bytes.size());
}
