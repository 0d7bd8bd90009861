#include "host/btshell/piece_hasher.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>

#include "platform/posix_fd.h"

namespace btshell {

namespace {

// The bytes a worker takes at a time (whole pieces, at least one), and
// reads in one call.
constexpr std::int64_t kJobBytes = std::int64_t(16) << 20;
constexpr std::int64_t kReadBytes = std::int64_t(1) << 20;

struct digest_context_free {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

// Reads up to `size` bytes at `offset`; the bytes read, with `error` set
// when that is fewer (ENODATA: the file ended).
std::int64_t read_at(int fd, char* into, std::int64_t size, std::int64_t offset, int& error) {
  std::int64_t got = 0;
  while (got < size) {
    const ssize_t n = ::pread(fd, into + got, static_cast<std::size_t>(size - got), offset + got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = n == 0 ? ENODATA : errno;
      break;
    }
    got += n;
  }
  return got;
}

}  // namespace

piece_hasher::piece_hasher(std::vector<hash_source> sources, std::int64_t piece_length, unsigned threads)
    : sources_(std::move(sources)), piece_length_(piece_length) {
  offsets_.reserve(sources_.size());
  for (const hash_source& s : sources_) {
    offsets_.push_back(total_);
    total_ += s.length;
  }
  const std::size_t count = static_cast<std::size_t>((total_ + piece_length_ - 1) / piece_length_);
  digests_.assign(count * kSha1Size, '\0');
  readable_.assign(count, 0);
  failures_.assign(sources_.size(), 0);
  pieces_per_job_ = static_cast<std::size_t>(std::max<std::int64_t>(1, kJobBytes / piece_length_));
  const std::size_t jobs = (count + pieces_per_job_ - 1) / pieces_per_job_;
  threads_ = threads != 0 ? threads : std::max(1u, std::thread::hardware_concurrency());
  threads_ = static_cast<unsigned>(std::max<std::size_t>(1, std::min<std::size_t>(threads_, jobs)));
}

bool piece_hasher::all_readable() const {
  return std::all_of(readable_.begin(), readable_.end(), [](unsigned char r) { return r != 0; });
}

void piece_hasher::fail(std::size_t source, int error) {
  std::lock_guard<std::mutex> lock(failures_lock_);
  if (failures_[source] == 0) failures_[source] = error;
}

void piece_hasher::run() {
  std::vector<std::thread> workers;
  for (unsigned i = 1; i < threads_; ++i) {
    try {
      workers.emplace_back([this] { work(); });
    } catch (const std::system_error&) {
      break;  // fewer workers: the pieces are shared by those there are
    }
  }
  work();
  for (std::thread& w : workers) w.join();
}

void piece_hasher::work() {
  const std::unique_ptr<EVP_MD_CTX, digest_context_free> context(EVP_MD_CTX_new());
  std::vector<char> buffer(static_cast<std::size_t>(std::min(kReadBytes, std::max<std::int64_t>(total_, 1))));
  // The source whose file is open, and one that has failed (not read again).
  std::size_t open_source = sources_.size();
  std::unique_ptr<platform::fd_guard> fd;
  std::size_t dead_source = sources_.size();
  const std::size_t count = readable_.size();

  for (;;) {
    const std::size_t first = next_job_.fetch_add(1) * pieces_per_job_;
    if (first >= count) return;
    const std::size_t last = std::min(count, first + pieces_per_job_);
    std::int64_t pos = static_cast<std::int64_t>(first) * piece_length_;
    const std::int64_t end = std::min(total_, static_cast<std::int64_t>(last) * piece_length_);
    std::size_t piece = first;
    std::int64_t piece_end = std::min(total_, pos + piece_length_);
    bool bad = false;
    EVP_DigestInit_ex(context.get(), EVP_sha1(), nullptr);
    // The source holding `pos`: the last one that starts at or before it
    // and is not empty.
    std::size_t source = static_cast<std::size_t>(std::upper_bound(offsets_.begin(), offsets_.end(), pos) -
                                                  offsets_.begin()) - 1;
    while (pos < end) {
      while (offsets_[source] + sources_[source].length <= pos) ++source;
      const hash_source& s = sources_[source];
      const std::int64_t n = std::min({end, offsets_[source] + s.length, pos + kReadBytes}) - pos;
      std::int64_t good = n;  // bytes of this chunk that hold the data
      if (s.padding) {
        std::memset(buffer.data(), 0, static_cast<std::size_t>(n));
      } else if (source == dead_source) {
        good = 0;
      } else {
        int error = 0;
        if (open_source != source) {
          fd.reset();
          open_source = source;
          fd = std::make_unique<platform::fd_guard>(::open(s.path.c_str(), O_RDONLY | O_CLOEXEC));
          if (fd->get() < 0)
            error = errno;
          else
            ::posix_fadvise(fd->get(), 0, 0, POSIX_FADV_SEQUENTIAL);
        }
        good = error != 0 ? 0 : read_at(fd->get(), buffer.data(), n, pos - offsets_[source], error);
        if (error != 0) {
          fail(source, error);
          dead_source = source;
        }
      }
      // Feed the chunk to the pieces it falls in.
      for (std::int64_t at = 0; at < n;) {
        const std::int64_t take = std::min(n - at, piece_end - (pos + at));
        if (at + take > good) bad = true;
        if (!bad) EVP_DigestUpdate(context.get(), buffer.data() + at, static_cast<std::size_t>(take));
        at += take;
        if (pos + at == piece_end) {
          unsigned char* digest = reinterpret_cast<unsigned char*>(&digests_[piece * kSha1Size]);
          unsigned int size = 0;
          EVP_DigestFinal_ex(context.get(), digest, &size);
          if (bad) std::memset(digest, 0, kSha1Size);
          readable_[piece] = bad ? 0 : 1;
          hashed_.fetch_add(static_cast<std::uint64_t>(piece_end - static_cast<std::int64_t>(piece) * piece_length_),
                            std::memory_order_relaxed);
          ++piece;
          piece_end = std::min(total_, piece_end + piece_length_);
          bad = false;
          EVP_DigestInit_ex(context.get(), EVP_sha1(), nullptr);
        }
      }
      pos += n;
    }
  }
}

}  // namespace btshell
