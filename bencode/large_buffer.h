// Memory for buffers of a megabyte and more (a whole seed file, the tokens of
// its decoding) that are filled right after they are allocated. Touching
// fresh memory page by page costs more than filling it (on a virtual machine
// a page fault can cost as much as copying 50 KiB), so such buffers are
// aligned to and advised for large pages: the kernel then faults them in
// 2 MiB at a time where it offers large pages. Smaller sizes are ordinary
// allocations. Nothing is cleared.
#pragma once

#include <cstddef>
#include <new>

// Sizes from which the large-page treatment is given.
constexpr std::size_t kLargeBufferSize = 1 << 20;

// Room for `size` bytes; throws std::bad_alloc. Release it with
// large_buffer_release and the same size.
void* large_buffer_allocate(std::size_t size);
void large_buffer_release(void* p, std::size_t size) noexcept;

// Owns an uninitialised buffer from large_buffer_allocate.
class large_buffer {
 public:
  large_buffer() = default;
  explicit large_buffer(std::size_t size) : data_(static_cast<char*>(large_buffer_allocate(size))), size_(size) {}
  ~large_buffer() { reset(); }
  large_buffer(large_buffer&& other) noexcept : data_(other.data_), size_(other.size_) {
    other.data_ = nullptr;
    other.size_ = 0;
  }
  large_buffer& operator=(large_buffer&& other) noexcept {
    if (this != &other) {
      reset();
      data_ = other.data_;
      size_ = other.size_;
      other.data_ = nullptr;
      other.size_ = 0;
    }
    return *this;
  }

  char* data() const { return data_; }
  std::size_t size() const { return size_; }
  void reset() noexcept {
    if (data_ != nullptr) large_buffer_release(data_, size_);
    data_ = nullptr;
    size_ = 0;
  }

 private:
  char* data_ = nullptr;
  std::size_t size_ = 0;
};

// Standard allocator over large_buffer_allocate, for vectors that grow large.
template <class T>
struct large_buffer_allocator {
  using value_type = T;
  large_buffer_allocator() = default;
  template <class U>
  large_buffer_allocator(const large_buffer_allocator<U>&) noexcept {}
  T* allocate(std::size_t n) {
    if (n > static_cast<std::size_t>(-1) / 2 / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T*>(large_buffer_allocate(n * sizeof(T)));
  }
  void deallocate(T* p, std::size_t n) noexcept { large_buffer_release(p, n * sizeof(T)); }
  template <class U>
  bool operator==(const large_buffer_allocator<U>&) const noexcept {
    return true;
  }
  template <class U>
  bool operator!=(const large_buffer_allocator<U>&) const noexcept {
    return false;
  }
};
