// The SHA-1 of every piece of a torrent's bytes, on every core: what
// `btshell create` writes into a seed and what `btshell verify` checks the
// data against. The bytes are the files in the torrent's order, one after
// the other; pieces run across file boundaries. Each worker takes a run of
// consecutive pieces at a time and reads it with large sequential reads.
//
// Thread-safety: run() is called once, from one thread, and starts and
// joins the workers itself; hashed_bytes() may be read from any thread
// while run() works (the progress display does). The results are read once
// run() has returned.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace btshell {

inline constexpr std::size_t kSha1Size = 20;

// One stretch of the torrent's bytes: the first `length` bytes of a file,
// or padding, which is zeros and is never read.
struct hash_source {
  std::string path;  // empty for padding
  std::int64_t length = 0;
  bool padding = false;
};

class piece_hasher {
 public:
  // `piece_length` > 0; `threads` 0: one worker per core.
  piece_hasher(std::vector<hash_source> sources, std::int64_t piece_length, unsigned threads = 0);

  // Hashes every piece. A piece some byte of which cannot be read (the file
  // is missing, shorter than its length, or a read fails) is marked
  // unreadable; the first failure of each source is kept.
  void run();

  std::int64_t total_bytes() const { return total_; }
  std::size_t piece_count() const { return readable_.size(); }
  std::int64_t piece_length() const { return piece_length_; }
  // The bytes hashed so far (read or padding), unreadable pieces included.
  std::uint64_t hashed_bytes() const { return hashed_.load(std::memory_order_relaxed); }

  // After run(): the digests, kSha1Size bytes a piece (an unreadable
  // piece's are zeros), and which pieces could be read whole.
  const std::string& digests() const { return digests_; }
  bool readable(std::size_t piece) const { return readable_[piece] != 0; }
  // The errno of the first failure of source `i` (ENOENT when it is
  // missing, ENODATA when it ended early); 0 when none.
  int failure(std::size_t i) const { return failures_[i]; }
  bool all_readable() const;

 private:
  void work();
  void fail(std::size_t source, int error);

  const std::vector<hash_source> sources_;
  const std::int64_t piece_length_;
  std::int64_t total_ = 0;
  std::vector<std::int64_t> offsets_;  // where each source starts
  unsigned threads_;
  std::size_t pieces_per_job_ = 1;
  std::atomic<std::size_t> next_job_{0};
  std::atomic<std::uint64_t> hashed_{0};
  // Each piece and each source is written by the one worker that holds it
  // (a source's failure by the first worker to see one, under failures_lock_).
  std::string digests_;
  std::vector<unsigned char> readable_;
  std::vector<int> failures_;
  std::mutex failures_lock_;
};

}  // namespace btshell
