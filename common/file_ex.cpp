#include "common/file_ex.h"

#include <utility>

#include "common/utility.h"
#include "platform/winerror.h"

file_exception::file_exception(const std::string& message) : file_exception(message, GetLastError()) {}

file_exception::file_exception(const std::string& message, DWORD error_code)
    : io_exception(message + ", error code: " + to_string(error_code)), error_code_(error_code) {}

bool file_exception::is_disk_full() const { return error_code_ == ERROR_DISK_FULL; }

bool any_entry_matches(const std::string& pattern) {
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(pattern.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

LONGLONG file_size(const std::string& path) {
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(path.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return -1;
  FindClose(search);
  return static_cast<LONGLONG>(static_cast<ULONGLONG>(data.nFileSizeHigh) << 32 | data.nFileSizeLow);
}

bool is_directory(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool create_directory(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) == TRUE; }

void rename_file(const std::string& old_name, const std::string& new_name) {
  if (!MoveFileA(old_name.c_str(), new_name.c_str())) {
    throw file_exception("rename file error, old name is: " + old_name + " new name is: " + new_name);
  }
}

void remove_file(const std::string& path) {
  if (!DeleteFileA(path.c_str())) throw file_exception("remove file error");
}

void copy_file(const std::string& source, const std::string& destination, bool overwrite) {
  // Asking the copy itself not to replace avoids a window between a check
  // for the destination and the copy.
  if (CopyFileA(source.c_str(), destination.c_str(), overwrite ? FALSE : TRUE)) return;
  if (!overwrite && GetLastError() == ERROR_FILE_EXISTS) return;
  throw file_exception("copy file error, source name is: " + source + " dest name is: " + destination);
}

file_ex::file_ex(const std::string& path, int mode) {
  DWORD access = GENERIC_READ | GENERIC_WRITE;
  DWORD share = FILE_SHARE_READ;
  DWORD disposition = OPEN_EXISTING;
  switch (mode) {
    case create_new: disposition = CREATE_NEW; break;
    case create_always: disposition = CREATE_ALWAYS; break;
    case read_only:
      access = GENERIC_READ;
      share = FILE_SHARE_READ | FILE_SHARE_WRITE;
      break;
    default: break;
  }
  handle_ = CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle_ == INVALID_HANDLE_VALUE) throw file_exception("open file:" + path + " error ");
}

file_ex::~file_ex() { close(); }

file_ex::file_ex(file_ex&& other) noexcept : handle_(other.detach()) {}

file_ex& file_ex::operator=(file_ex&& other) noexcept {
  if (this != &other) attach(other.detach());
  return *this;
}

void file_ex::close() noexcept {
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
}

void file_ex::attach(HANDLE file) {
  if (file == handle_) return;
  close();
  handle_ = file;
}

HANDLE file_ex::detach() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }

void file_ex::write(const void* buffer, DWORD size) {
  if (size == 0) return;
  DWORD written = 0;
  if (!WriteFile(handle_, buffer, size, &written, nullptr)) throw file_exception("write file error");
  if (written != size) throw file_exception("while write file,only part data write success");
}

DWORD file_ex::write_some(const void* buffer, DWORD size) {
  if (size == 0) return 0;
  DWORD written = 0;
  if (!WriteFile(handle_, buffer, size, &written, nullptr)) throw file_exception("write file error");
  if (written == 0) throw file_exception("write 0 bytes");
  return written;
}

void file_ex::read(void* buffer, DWORD size) {
  DWORD count = 0;
  if (!ReadFile(handle_, buffer, size, &count, nullptr)) throw file_exception("read file error");
  // A short read is no system failure, so there is no last error to report.
  if (count != size) throw file_exception("while read file, only success read part data", ERROR_HANDLE_EOF);
}

DWORD file_ex::read_some(void* buffer, DWORD size) {
  DWORD count = 0;
  if (!ReadFile(handle_, buffer, size, &count, nullptr)) throw file_exception("read file error");
  return count;
}

LONGLONG file_ex::position() const {
  LONGLONG pos = -1;
  if (!SetFilePointerEx(handle_, 0, &pos, FILE_CURRENT)) return -1;
  return pos;
}

void file_ex::seek(LONGLONG offset) {
  if (!SetFilePointerEx(handle_, offset, nullptr, FILE_BEGIN)) throw file_exception("set file pos error");
}

void file_ex::set_length(LONGLONG length) {
  seek(length);
  if (!SetEndOfFile(handle_)) throw file_exception("set file length error");
}

LONGLONG file_ex::length() const {
  LONGLONG size = 0;
  if (!GetFileSizeEx(handle_, &size)) throw file_exception("get file length error");
  return size;
}

void file_ex::flush() {
  if (!FlushFileBuffers(handle_)) throw file_exception("flush file error");
}
