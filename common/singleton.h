// One process-wide instance of T, made on first use and destroyed only when
// asked (never by a static destructor, so that a destructor that checks its
// invariants cannot run at an unpredictable point of process exit).
#pragma once

#include <atomic>
#include <mutex>

template <class T>
class singleton {
 public:
  // The instance, made on first use.
  static T& instance() {
    T* p = s_instance.load(std::memory_order_acquire);
    if (p != nullptr) return *p;
    std::lock_guard<std::mutex> lock(s_mutex);
    p = s_instance.load(std::memory_order_relaxed);
    if (p == nullptr) {
      p = new T;
      s_instance.store(p, std::memory_order_release);
    }
    return *p;
  }

  // The instance if one exists, else null.
  static T* existing() { return s_instance.load(std::memory_order_acquire); }

  // Destroys the instance, if any; a later instance() makes a new one. The
  // instance is unpublished before its destructor runs, so a destructor that
  // raises still leaves no dangling instance behind.
  static void destroy() {
    T* p = nullptr;
    {
      std::lock_guard<std::mutex> lock(s_mutex);
      p = s_instance.exchange(nullptr, std::memory_order_acq_rel);
    }
    delete p;
  }

 protected:
  singleton() = default;
  ~singleton() = default;
  singleton(const singleton&) = delete;
  singleton& operator=(const singleton&) = delete;

 private:
  static inline std::atomic<T*> s_instance{nullptr};
  static inline std::mutex s_mutex;
};
