#include "bencode/bc_arena.h"

#include <atomic>
#include <cstdint>
#include <mutex>

namespace bencode_detail {

namespace {

thread_local bc_arena* t_arena = nullptr;

// Every block starts with this header. Values and container elements need
// 8-byte alignment (bc_allocator checks it), so 8 bytes keep them aligned.
constexpr std::size_t kHeader = 8;
constexpr std::size_t kAlign = 8;
constexpr std::uint64_t kFromHeap = 0x68656170u;
constexpr std::uint64_t kFromArena = 0x6172656Eu;

constexpr std::size_t round_up(std::size_t n) { return (n + kAlign - 1) & ~(kAlign - 1); }

// Whether the cache below exists: an arena released during static
// destruction, after the cache went, frees its chunks itself. A plain
// atomic has no destructor of its own, so it can always be read.
std::atomic<bool> g_cache_alive{false};

// Standard-size chunks that arenas gave back, shared by all threads.
class chunk_cache {
 public:
  chunk_cache() { g_cache_alive.store(true); }
  ~chunk_cache() {
    g_cache_alive.store(false);
    while (free_ != nullptr) {
      node* next = free_->next;
      ::operator delete(free_);
      free_ = next;
    }
  }
  void* take() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (free_ == nullptr) return nullptr;
    node* n = free_;
    free_ = n->next;
    bytes_ -= kArenaChunk;
    return n;
  }
  // False when the cache is full; the caller frees the chunk then.
  bool give(void* p) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (bytes_ + kArenaChunk > kArenaCacheLimit) return false;
    node* n = static_cast<node*>(p);
    n->next = free_;
    free_ = n;
    bytes_ += kArenaChunk;
    return true;
  }
  std::size_t bytes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return bytes_;
  }

 private:
  struct node {
    node* next;
  };
  std::mutex mutex_;
  node* free_ = nullptr;
  std::size_t bytes_ = 0;
};

chunk_cache* cache() {
  static chunk_cache instance;
  return g_cache_alive.load() ? &instance : nullptr;
}

// Room for a chunk header and `usable` 16-aligned bytes.
constexpr std::size_t raw_size(std::size_t usable) { return round_up(sizeof(void*) * 2) + usable; }

}  // namespace

void* bc_arena::allocate(std::size_t size) {
  size = round_up(size);
  if (static_cast<std::size_t>(limit_ - cursor_) < size) {
    const std::size_t standard = kArenaChunk - raw_size(0);
    const std::size_t usable = size > standard ? size : standard;
    chunk_cache* shared = usable == standard ? cache() : nullptr;
    void* raw = shared != nullptr ? shared->take() : nullptr;
    if (raw == nullptr) raw = ::operator new(raw_size(usable));
    auto* c = static_cast<chunk*>(raw);
    c->next = chunks_;
    c->size = usable;
    chunks_ = c;
    cursor_ = static_cast<char*>(raw) + raw_size(0);
    limit_ = cursor_ + usable;
  }
  void* p = cursor_;
  cursor_ += size;
  return p;
}

void bc_arena::release() {
  const std::size_t standard = kArenaChunk - raw_size(0);
  while (chunks_ != nullptr) {
    chunk* next = chunks_->next;
    chunk_cache* shared = chunks_->size == standard ? cache() : nullptr;
    if (shared == nullptr || !shared->give(chunks_)) ::operator delete(chunks_);
    chunks_ = next;
  }
  cursor_ = limit_ = nullptr;
}

bc_arena_scope::bc_arena_scope(bc_arena& arena) : previous_(t_arena) { t_arena = &arena; }

bc_arena_scope::~bc_arena_scope() { t_arena = previous_; }

void* bc_allocate(std::size_t size) {
  if (size > static_cast<std::size_t>(-1) / 2) throw std::bad_alloc();
  char* block;
  std::uint64_t tag;
  if (t_arena != nullptr) {
    block = static_cast<char*>(t_arena->allocate(size + kHeader));
    tag = kFromArena;
  } else {
    block = static_cast<char*>(::operator new(size + kHeader));
    tag = kFromHeap;
  }
  *reinterpret_cast<std::uint64_t*>(block) = tag;
  return block + kHeader;
}

void bc_deallocate(void* p) noexcept {
  if (p == nullptr) return;
  char* block = static_cast<char*>(p) - kHeader;
  if (*reinterpret_cast<std::uint64_t*>(block) == kFromHeap) ::operator delete(block);
}

std::size_t bc_arena_cached_bytes() {
  chunk_cache* shared = cache();
  return shared != nullptr ? shared->bytes() : 0;
}

}  // namespace bencode_detail
