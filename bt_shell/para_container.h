// para_container: the record of one deferred call.
//
// A proxy task records the host's commands while it has no real task and
// replays them once it has one; the shell records a reimport started while
// the kernel is loading. Each record holds the call's arguments, in call
// order, and the operation's name; it is destroyed through the base.
#pragma once

#include <string>
#include <tuple>
#include <utility>

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
