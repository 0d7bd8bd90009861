// para_container: the record of one deferred call.
//
// A proxy task records the host's commands while it has no real task and
// applies them to the real task once it has one; the shell records a
// reimport started while the kernel is loading and applies it to the kernel
// when the kernel arrives. A record owns copies of the call's arguments and
// knows the operation to call with them; it is destroyed through the base.
//
// What a record keeps of each argument:
//   - plain values and interface pointers: the value as given (an interface
//     pointer is neither AddRef'd nor released);
//   - tagSTRING: its own copy of the characters, handed back as a tagSTRING
//     over the copy (length 0 gives a pointer to an empty text);
//   - a (count, 32-bit list) pair: the count and its own copy of the list
//     (null for count 0).
// So the caller's buffers may go as soon as the recorded call has returned.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "interfaces/string_types.h"
#include "platform/types.h"
#include "platform/unknwn.h"

// Own copy of `count` items at `list`; null for count 0. Throws
// std::bad_alloc. REQUIRES: a list for a non-zero count.
template <class T>
std::unique_ptr<T[]> copy_array(ULONG count, const T* list) {
  if (count == 0) return nullptr;
  std::unique_ptr<T[]> copy(new T[count]);
  std::memcpy(copy.get(), list, std::size_t{count} * sizeof(T));
  return copy;
}

// A deferred call of an operation of `Target`.
template <class Target>
class para_container {
 public:
  virtual ~para_container() = default;
  // The operation's name: "StartTask", "StartReimportTask", ...
  virtual const char* function_name() const = 0;
  // Makes the call on `target` with the kept arguments and returns its
  // result. Allocates nothing.
  virtual HRESULT apply(Target& target) const = 0;
};

namespace para_args {

template <class T>
T keep(T value) {
  return value;
}
inline std::string keep(tagSTRING value) { return to_std_string(value); }

template <class... Params>
auto keep_all(Params... args) {
  return std::make_tuple(keep(args)...);
}
inline auto keep_all(ULONG count, const ULONG* list) { return std::make_tuple(count, copy_array(count, list)); }

template <class T>
const T& give(const T& kept) {
  return kept;
}
inline tagSTRING give(const std::string& kept) { return to_tag_string(kept); }
inline const ULONG* give(const std::unique_ptr<ULONG[]>& kept) { return kept.get(); }

}  // namespace para_args

// The record of a call of `Target::*method` with arguments of the types
// Params...
template <class Target, class... Params>
class para_call final : public para_container<Target> {
 public:
  using method_type = HRESULT (STDMETHODCALLTYPE Target::*)(Params...);

  // Throws std::bad_alloc when a copy cannot be made. `name` is a literal.
  para_call(const char* name, method_type method, Params... args)
      : m_name(name), m_method(method), m_args(para_args::keep_all(args...)) {}

  const char* function_name() const override { return m_name; }
  HRESULT apply(Target& target) const override {
    return std::apply([&](const auto&... kept) { return (target.*m_method)(para_args::give(kept)...); }, m_args);
  }

 private:
  const char* m_name;
  method_type m_method;
  decltype(para_args::keep_all(std::declval<Params>()...)) m_args;
};

template <class T>
struct para_as_is {
  using type = T;
};

// Records the call `method(args...)` (an operation of Target or of one of its
// bases) for a later apply(). Throws std::bad_alloc.
template <class Target, class Base, class... Params>
std::unique_ptr<para_container<Target>> record_call(const char* name,
                                                    HRESULT (STDMETHODCALLTYPE Base::*method)(Params...),
                                                    typename para_as_is<Params>::type... args) {
  static_assert(std::is_base_of_v<Base, Target>, "the operation is one of the target's");
  return std::make_unique<para_call<Target, Params...>>(name, method, args...);
}
