// A decoded bencoded value as one flat array of small tokens over the
// caller's buffer: no object per value, one allocation for the whole tree,
// and walks that run through memory in order. bc_node (bc_node.h) reads it.
//
// The buffer is not copied: it must outlive the document and every node
// taken from it, unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bencode/large_buffer.h"
#include "interfaces/seed_naming.h"

class bc_node;

// Deepest nesting of lists and dictionaries a decoding accepts. Real seed
// files use a handful of levels; anything deeper is refused like malformed
// input, so that no input can exhaust the stack of the walks that recurse
// once per level (encoding, building objects).
constexpr int kBencodeMaxNestingDepth = kSeedMaxDepth;

// Most items one decoding accepts: every list element counts one, every
// dictionary entry two (its key and its value). An item costs at most two
// tokens of 12 bytes: 96 MiB at the limit, and at most twice that while the
// token array grows. Real seeds hold 7 to 15 items per file: a seed of
// 100,000 files uses a sixth of the allowance. Input beyond it is refused
// like malformed input.
constexpr int kBencodeMaxItems = kSeedMaxItems;

// One value of the tree. Containers are followed by their contents and an
// end token; `extent` then counts the tokens from the container's own to its
// end token, so the next value starts `extent` tokens further on.
struct bc_token {
  enum kind_t : std::uint8_t { INT = 0, STRING = 1, LIST = 2, DICT = 3, END = 4 };

  std::uint32_t offset;  // string: its first byte of data; others: the "i", "l", "d" or "e"
  std::uint32_t extent;  // string: its size; integer: its length in the buffer; container: see above
  kind_t kind;
  // Containers: whether their bytes are already the canonical encoding
  // (plain integers and lengths, dictionary keys strictly ascending, all the
  // way down).
  bool canonical;
};

class bc_document {
 public:
  bc_document() = default;
  bc_document(const bc_document&) = delete;
  bc_document& operator=(const bc_document&) = delete;

  // Decodes the value that starts at `buf`: "i" an integer, "l" a list, "d" a
  // dictionary, a digit a string. Returns the bytes it takes (what follows is
  // not looked at), or -1 for malformed input, input nested deeper than
  // `depth_limit` or holding more than `item_limit` items; the document is
  // then empty. Never throws but std::bad_alloc (the document is then empty
  // too).
  int parse(const char* buf, int len, int depth_limit = kBencodeMaxNestingDepth,
            int item_limit = kBencodeMaxItems);
  // Why the last parse failed.
  enum failure_t { no_failure, malformed, too_deep, too_many_items };
  failure_t failure() const { return failure_; }

  // Forgets the value and lets its tokens go.
  void clear();

  bool empty() const { return count_ == 0; }
  // The decoded value; a null node when the document is empty.
  bc_node root() const;

 private:
  friend class bc_node;
  int decode(const char* buf, int len, int depth_limit, int item_limit);
  // Moves the tokens into larger storage, sized for a whole input of `len`
  // bytes of which `decoded` gave the tokens so far, and for `most` tokens
  // at the most.
  void grow(std::size_t decoded, std::size_t len, std::size_t most);
  const bc_token& token(std::uint32_t index) const { return reinterpret_cast<const bc_token*>(storage_.data())[index]; }
  bc_token* slots() const { return reinterpret_cast<bc_token*>(storage_.data()); }
  std::size_t capacity() const { return storage_.size() / sizeof(bc_token); }

  const char* buf_ = nullptr;
  large_buffer storage_;   // room for capacity() tokens
  std::size_t count_ = 0;  // tokens in use
  failure_t failure_ = no_failure;
};
