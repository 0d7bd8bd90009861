// File access: path tests and actions, and a file class that reports every
// failure as a file_exception carrying the Win32 error.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/file_system.h"
#include "platform/types.h"

class io_exception : public std::runtime_error {
 public:
  explicit io_exception(const std::string& message) : std::runtime_error(message) {}
};

// what() is the message, then ", error code: ", then the code in decimal.
class file_exception : public io_exception {
 public:
  // The error code is the thread's last Win32 error.
  explicit file_exception(const std::string& message);
  file_exception(const std::string& message, DWORD error_code);

  DWORD error_code() const { return error_code_; }
  // Whether the error is ERROR_DISK_FULL.
  bool is_disk_full() const;

 private:
  DWORD error_code_;
};

// Path helpers; they never raise.
//
// Whether some entry, a file or a directory, matches `pattern`: a path
// whose last component may hold the wildcards '*' and '?'.
bool any_entry_matches(const std::string& pattern);
// The size of the entry the lookup finds first (0 for a directory); -1 when
// there is none.
LONGLONG file_size(const std::string& path);
bool is_directory(const std::string& path);
// Creates one directory; false when it exists or its parent is missing.
bool create_directory(const std::string& path);

// Path actions that raise file_exception.
//
// Renames; an existing `new_name` is never replaced (the call fails).
void rename_file(const std::string& old_name, const std::string& new_name);
void remove_file(const std::string& path);
// Without `overwrite`, an existing destination is left as it is and the
// call does nothing; with it, the destination is replaced.
void copy_file(const std::string& source, const std::string& destination, bool overwrite);

// An open file (or none). Every failing operation raises file_exception.
class file_ex {
 public:
  // Opening modes. The file is always opened for reading; every mode but
  // read_only also for writing.
  enum mode : int {
    open_existing = 0,  // the file must exist
    create_new = 1,     // the file must not exist
    create_always = 2,  // created, or emptied when it exists
    read_only = 3,      // the file must exist
  };

  file_ex() = default;
  // Any mode value that is none of the above opens as open_existing.
  file_ex(const std::string& path, int mode);
  virtual ~file_ex();

  file_ex(const file_ex&) = delete;
  file_ex& operator=(const file_ex&) = delete;
  file_ex(file_ex&& other) noexcept;
  file_ex& operator=(file_ex&& other) noexcept;

  bool is_open() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE handle() const { return handle_; }
  // Takes over `file`, closing the file held until now (unless it is `file`).
  void attach(HANDLE file);
  // Gives up the handle without closing it.
  HANDLE detach();

  // Writes all `size` bytes; nothing for 0.
  void write(const void* buffer, DWORD size);
  // Writes and returns the count written; 0 for a size of 0.
  DWORD write_some(const void* buffer, DWORD size);
  // Reads exactly `size` bytes; ending early is an error (ERROR_HANDLE_EOF).
  void read(void* buffer, DWORD size);
  // Reads up to `size` bytes; returns the count, 0 at the end of the file.
  DWORD read_some(void* buffer, DWORD size);

  // The current offset; -1 when it cannot be had.
  LONGLONG position() const;
  // Moves to `offset` bytes from the start.
  void seek(LONGLONG offset);
  // Cuts or extends the file to `length` bytes; the position ends there.
  void set_length(LONGLONG length);
  LONGLONG length() const;
  void flush();

 private:
  void close() noexcept;

  HANDLE handle_ = INVALID_HANDLE_VALUE;
};
