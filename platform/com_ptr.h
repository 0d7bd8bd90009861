// Counted interface pointer: holds one reference and releases it on every path.
#pragma once

#include <utility>

#include "platform/unknwn.h"

template <class T>
class com_ptr {
 public:
  com_ptr() = default;
  com_ptr(std::nullptr_t) {}
  // Takes a new reference on p.
  explicit com_ptr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  com_ptr(const com_ptr& o) : com_ptr(o.p_) {}
  com_ptr(com_ptr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ~com_ptr() { reset(); }

  com_ptr& operator=(const com_ptr& o) {
    com_ptr(o).swap(*this);
    return *this;
  }
  com_ptr& operator=(com_ptr&& o) noexcept {
    com_ptr(std::move(o)).swap(*this);
    return *this;
  }
  com_ptr& operator=(std::nullptr_t) {
    reset();
    return *this;
  }

  // Adopts a reference the caller already owns.
  static com_ptr adopt(T* p) {
    com_ptr r;
    r.p_ = p;
    return r;
  }

  void reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  // Gives up the reference without releasing it.
  T* detach() { return std::exchange(p_, nullptr); }
  void swap(com_ptr& o) noexcept { std::swap(p_, o.p_); }

  // Address for an out-parameter: releases the current reference first.
  T** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

  // QueryInterface into another counted pointer.
  template <class U>
  HRESULT query(REFIID iid, com_ptr<U>& out) const {
    if (!p_) return E_POINTER;
    return p_->QueryInterface(iid, out.put_void());
  }

 private:
  T* p_ = nullptr;
};
