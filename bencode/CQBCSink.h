// Receives encoded bytes; lets a value stream its encoding into a hash or a
// buffer without building the whole text first.
#pragma once

#include <cstddef>
#include <string>

class CQBCSink {
 public:
  virtual void write(const char* data, std::size_t size) = 0;
  void put(char c) { write(&c, 1); }

 protected:
  ~CQBCSink() = default;
};

// Appends what it receives to a string.
class CQBCStringSink final : public CQBCSink {
 public:
  explicit CQBCStringSink(std::string& out) : out_(out) {}
  void write(const char* data, std::size_t size) override { out_.append(data, size); }

 private:
  std::string& out_;
};
