// A view of one value of a bc_document: its type, its integer or bytes, its
// elements or entries, and its canonical encoding. Nodes are small values;
// they stay valid while their document holds the same decoding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>

#include "bencode/CQBCSink.h"
#include "bencode/bc_document.h"

class bc_node {
 public:
  // Same codes as CQBCObj::type(); NONE for a null node.
  enum type_t : std::uint32_t { INT = 0, STRING = 1, LIST = 2, DICT = 3, NONE = 0xFFFFFFFF };

  // A null node: no value (what a failed lookup gives).
  bc_node() = default;

  explicit operator bool() const { return doc_ != nullptr; }
  type_t type() const { return doc_ ? static_cast<type_t>(token().kind) : NONE; }
  bool is_int() const { return type() == INT; }
  bool is_string() const { return type() == STRING; }
  bool is_list() const { return type() == LIST; }
  bool is_dict() const { return type() == DICT; }

  // The integer (0 when this is none).
  std::int64_t int_value() const;
  // The bytes of a string (empty when this is none).
  std::string_view string_value() const {
    return is_string() ? std::string_view(doc_->buf_ + token().offset, token().extent) : std::string_view();
  }

  // Elements of a list in order; entries of a dictionary as (key, value)
  // pairs in the order of the input, repeated keys included. Empty for
  // other values.
  template <bool Entries>
  class child_range;
  using element_range = child_range<false>;
  using entry_range = child_range<true>;
  element_range elements() const;
  entry_range entries() const;
  // How many elements or entries (0 for other values); walks them.
  std::size_t size() const;

  // The value of a dictionary's `key`: the last one when the key is repeated
  // (a later entry replaces an earlier one); null when there is none or this
  // is not a dictionary.
  bc_node find(std::string_view key) const;

  // A list's or dictionary's bytes as the input holds them (empty for other
  // values).
  std::string_view raw() const;
  // Whether a list's or dictionary's raw() is its canonical encoding.
  bool canonical() const;
  // Writes the canonical encoding: integers without leading zeros, lengths
  // in plain digits, dictionary keys in byte order with the last of
  // repeated keys.
  void encode_to(CQBCSink& out) const;

 private:
  friend class bc_document;
  bc_node(const bc_document* doc, std::uint32_t index) : doc_(doc), index_(index) {}
  const bc_token& token() const { return doc_->token(index_); }
  // The node after this value and everything in it.
  bc_node next() const {
    const bc_token& t = token();
    return bc_node(doc_, index_ + (t.kind == bc_token::LIST || t.kind == bc_token::DICT ? t.extent : 1));
  }
  // The first element or entry key of a container (its end token when empty).
  bc_node first() const { return bc_node(doc_, index_ + 1); }
  // The end token of a container.
  bc_node last() const { return bc_node(doc_, index_ + token().extent - 1); }
  bool is_end() const { return token().kind == bc_token::END; }

  const bc_document* doc_ = nullptr;
  std::uint32_t index_ = 0;
};

template <bool Entries>
class bc_node::child_range {
 public:
  class iterator {
   public:
    // An element, or an entry's key (a string node) and its value.
    auto operator*() const {
      if constexpr (Entries) {
        return std::pair<bc_node, bc_node>{node_, node_.next()};
      } else {
        return node_;
      }
    }
    iterator& operator++() {
      node_ = Entries ? node_.next().next() : node_.next();
      return *this;
    }
    bool operator!=(const iterator& other) const { return node_.index_ != other.node_.index_; }

   private:
    friend class child_range;
    explicit iterator(bc_node node) : node_(node) {}
    bc_node node_;
  };
  iterator begin() const { return iterator(begin_); }
  iterator end() const { return iterator(end_); }

 private:
  friend class bc_node;
  child_range(bc_node begin, bc_node end) : begin_(begin), end_(end) {}
  bc_node begin_, end_;
};

inline bc_node::element_range bc_node::elements() const {
  return is_list() ? element_range(first(), last()) : element_range(bc_node(), bc_node());
}

inline bc_node::entry_range bc_node::entries() const {
  return is_dict() ? entry_range(first(), last()) : entry_range(bc_node(), bc_node());
}

inline bc_node bc_node::find(std::string_view key) const {
  bc_node found;
  for (const auto& [k, value] : entries()) {
    const bc_token& t = k.token();
    if (t.extent == key.size() && std::string_view(doc_->buf_ + t.offset, t.extent) == key) {
      found = value;
      // Canonical keys are unique: the first match is the only one.
      if (token().canonical) break;
    }
  }
  return found;
}
