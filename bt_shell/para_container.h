// para_container: the record of one deferred call.
//
// A proxy task records the host's commands while it has no real task and
// replays them once it has one; the shell records a reimport started while
// the kernel is loading. Each record holds the call's arguments, in call
// order, and the operation's name; it is destroyed through the base.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <utility>

#include "interfaces/string_types.h"
#include "platform/types.h"

class para_container {
 public:
  virtual const std::string& function_name() const = 0;
  virtual ~para_container() = default;
};

template <class... Args>
class para_container_n : public para_container {
 public:
  template <class... A>
  explicit para_container_n(std::string name, A&&... args)
      : m_args(std::forward<A>(args)...), m_name(std::move(name)) {}

  const std::string& function_name() const override { return m_name; }
  const std::tuple<Args...>& args() const { return m_args; }
  template <std::size_t I>
  const auto& arg() const {
    return std::get<I>(m_args);
  }

 private:
  std::tuple<Args...> m_args;
  std::string m_name;
};

using para_container0 = para_container_n<>;
template <class A>
using para_container1 = para_container_n<A>;
template <class A, class B>
using para_container2 = para_container_n<A, B>;
template <class A, class B, class C>
using para_container3 = para_container_n<A, B, C>;
template <class A, class B, class C, class D>
using para_container4 = para_container_n<A, B, C, D>;

// ---------------------------------------------------------------------------
// Recording a call and handing its arguments back.
//
// call_record<Params...> is the record of a call with the parameter list
// Params...: `make` builds it from the call's arguments, `replay` calls a
// callable with the arguments rebuilt from it. What a record keeps of each
// argument:
//   - plain values and interface pointers: the value as given (an interface
//     pointer is neither AddRef'd nor released);
//   - tagSTRING: its own copy of the characters, so the caller's buffer may
//     go once the call has returned; handed back as a tagSTRING over the
//     copy (length 0 gives a pointer to an empty text);
//   - a (count, 32-bit list) pair: count and its own copy of count values
//     (count x 4 bytes, allocated as an array; null for count 0), freed with
//     the record.

// Own copy of `count` items at `list`; null for count 0. Throws
// std::bad_alloc. REQUIRES: a list for a non-zero count.
template <class T>
std::unique_ptr<T[]> copy_array(ULONG count, const T* list) {
  if (count == 0) return nullptr;
  std::unique_ptr<T[]> copy(new T[count]);
  std::memcpy(copy.get(), list, std::size_t{count} * sizeof(T));
  return copy;
}

// A record's own copy of a 32-bit list.
using ulong_array_copy = std::unique_ptr<ULONG[]>;

template <class T>
struct recorded_arg {
  using type = T;
  static T keep(T value) { return value; }
  static T give(const T& value) { return value; }
};

template <>
struct recorded_arg<tagSTRING> {
  using type = std::string;
  static std::string keep(tagSTRING value) { return to_std_string(value); }
  static tagSTRING give(const std::string& value) { return to_tag_string(value); }
};

template <class... Params>
struct call_record {
  using type = para_container_n<typename recorded_arg<Params>::type...>;

  // Throws std::bad_alloc when the record cannot be allocated.
  static std::unique_ptr<para_container> make(const char* name, Params... args) {
    return std::make_unique<type>(name, recorded_arg<Params>::keep(args)...);
  }

  template <class Call>
  static auto replay(const type& record, Call&& call) {
    return std::apply([&call](const auto&... kept) { return call(recorded_arg<Params>::give(kept)...); },
                      record.args());
  }
};

template <>
struct call_record<ULONG, const ULONG*> {
  using type = para_container2<ULONG, ulong_array_copy>;

  // Throws std::bad_alloc when the record or the list copy cannot be
  // allocated. REQUIRES: a list for a non-zero count.
  static std::unique_ptr<para_container> make(const char* name, ULONG count, const ULONG* list) {
    return std::make_unique<type>(name, count, copy_array(count, list));
  }

  template <class Call>
  static auto replay(const type& record, Call&& call) {
    return call(record.arg<0>(), static_cast<const ULONG*>(record.arg<1>().get()));
  }
};
