// Bencoded values: the abstract base and the pieces every value shares.
//
// A value parses itself from a byte buffer and writes itself back in
// canonical bencoded form. Parsing never throws and never logs: it returns
// the number of bytes consumed, or -1 for malformed input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "bencode/bc_arena.h"

// Deepest nesting of lists and dictionaries a parse accepts. Real seed files
// use a handful of levels; anything deeper is refused like malformed input so
// that no input can exhaust the stack (parsing, encoding and destruction all
// recurse once per level).
constexpr int kBencodeMaxNestingDepth = 512;

// Most items one parse accepts: every list element counts one, every
// dictionary entry two (its key and its value). An item costs the decoded
// tree at most about 110 bytes besides the bytes of its strings, so no input
// makes a parse commit more than about 420 MiB besides those bytes. Real
// seeds hold 7 to 15 items per file: a seed of 100,000 files uses a sixth of
// the allowance. Input beyond it is refused like malformed input.
constexpr int kBencodeMaxItems = 4000000;

// Receives encoded bytes; lets a value stream its encoding into a hash or a
// buffer without building the whole text first.
class CQBCSink {
 public:
  virtual void write(const char* data, std::size_t size) = 0;
  void put(char c) { write(&c, 1); }

 protected:
  ~CQBCSink() = default;
};

class CQBCObj {
 public:
  enum : std::uint32_t { BC_INT = 0, BC_STRING = 1, BC_LIST = 2, BC_DICT = 3 };

  virtual ~CQBCObj() = default;
  virtual std::uint32_t type() const = 0;
  // Bytes consumed (> 0) or -1.
  virtual int parse(const char* buf, int len) = 0;
  virtual int parse(const std::string& s);
  // The canonical bencoded form.
  virtual std::string encode() const;
  // The same bytes, written piecewise into `out`.
  virtual void encode_to(CQBCSink& out) const = 0;

  // Values come from the thread's active arena, if any (bc_arena.h).
  static void* operator new(std::size_t size) { return bencode_detail::bc_allocate(size); }
  static_assert(alignof(std::string) <= 8 && alignof(std::int64_t) <= 8, "values fit bc_allocate's alignment");
  static void operator delete(void* p) noexcept { bencode_detail::bc_deallocate(p); }

 protected:
  CQBCObj() = default;
  CQBCObj(const CQBCObj&) = delete;
  CQBCObj& operator=(const CQBCObj&) = delete;
};

namespace bencode_detail {

// Counts the list and dictionary levels being parsed on this thread; a level
// beyond kBencodeMaxNestingDepth makes `ok()` false. The outermost level
// records where its input starts (see offset_in_parse).
class nesting_guard {
 public:
  explicit nesting_guard(const char* buf);
  ~nesting_guard();
  nesting_guard(const nesting_guard&) = delete;
  nesting_guard& operator=(const nesting_guard&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_;
};

// Counts `n` more items of the parse under way on this thread (the count
// starts again with each outermost container); false once the parse holds
// more than kBencodeMaxItems.
bool count_items(int n);

// Offset of `p` from the start of the outermost container being parsed.
std::int64_t offset_in_parse(const char* p);

// Whether the input parsed on this thread since the innermost dictionary
// began is in canonical form (the form encode() writes). Parses that meet a
// non-canonical form (leading zeros, "-0", unsorted or repeated keys...)
// clear it; a dictionary sets it at its start and folds it into the outer
// one's at its end.
bool canonical_so_far();
void set_canonical(bool canonical);
inline void mark_noncanonical() { set_canonical(false); }

// Decimal text of a 64-bit value into `buf` (at least 21 bytes); returns the
// length. The most negative value is written with its full magnitude.
int format_int64(std::int64_t value, char* buf);

}  // namespace bencode_detail
