#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "platform/posix_fd.h"
#include "platform/winerror.h"

namespace platform {

HANDLE handle_from_fd(int fd) {
  if (fd < 0) return INVALID_HANDLE_VALUE;
  // Offset by one so that a null handle is never a valid descriptor.
  return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd) + 1);
}

int fd_from_handle(HANDLE file) {
  const std::intptr_t v = reinterpret_cast<std::intptr_t>(file);
  if (v <= 0 || v - 1 > INT_MAX) return -1;
  return static_cast<int>(v - 1);
}

namespace {

bool match_from(const char* p, const char* n) {
  // Iterative matcher with one backtracking point for the latest '*'.
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*n) {
    if (*p == '*') {
      star = p++;
      resume = n;
    } else if (*p == '?' || *p == *n) {
      ++p;
      ++n;
    } else if (star) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (*p == '*') ++p;
  return *p == '\0';
}

}  // namespace

bool wildcard_match(const std::string& pattern, const std::string& name) {
  if (pattern == "*.*") return true;
  return match_from(pattern.c_str(), name.c_str());
}

}  // namespace platform

namespace {

DWORD fail_with(DWORD code) {
  SetLastError(code);
  return code;
}

BOOL fail_from_errno() {
  platform::set_last_error_from_errno();
  return FALSE;
}

// A read or write that the handle's access does not allow.
BOOL fail_io(int fd) {
  if (errno == EBADF && ::fcntl(fd, F_GETFD) != -1) {
    fail_with(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return fail_from_errno();
}

FILETIME to_filetime(const struct timespec& ts) {
  constexpr std::int64_t seconds_1601_to_1970 = 11644473600LL;
  std::int64_t ticks = (static_cast<std::int64_t>(ts.tv_sec) + seconds_1601_to_1970) * 10000000LL + ts.tv_nsec / 100;
  if (ticks < 0) ticks = 0;
  const auto u = static_cast<std::uint64_t>(ticks);
  return FILETIME{static_cast<DWORD>(u & 0xFFFFFFFFu), static_cast<DWORD>(u >> 32)};
}

DWORD attributes_of(const struct stat& st, const std::string& name) {
  DWORD attrs = 0;
  if (S_ISDIR(st.st_mode)) attrs |= FILE_ATTRIBUTE_DIRECTORY;
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attrs |= FILE_ATTRIBUTE_READONLY;
  if (!name.empty() && name[0] == '.' && name != "." && name != "..") attrs |= FILE_ATTRIBUTE_HIDDEN;
  return attrs ? attrs : FILE_ATTRIBUTE_NORMAL;
}

// stat, or lstat for an entry that is a dangling symbolic link.
bool stat_entry(const std::string& path, struct stat& st) {
  if (::stat(path.c_str(), &st) == 0) return true;
  const int err = errno;
  if (::lstat(path.c_str(), &st) == 0) return true;
  errno = err;
  return false;
}

void fill_find_data(const struct stat& st, const std::string& name, WIN32_FIND_DATAA* data) {
  std::memset(data, 0, sizeof *data);
  data->dwFileAttributes = attributes_of(st, name);
  data->ftLastWriteTime = to_filetime(st.st_mtim);
  data->ftLastAccessTime = to_filetime(st.st_atim);
  data->ftCreationTime = data->ftLastWriteTime;
  if (!S_ISDIR(st.st_mode)) {
    const auto size = static_cast<std::uint64_t>(st.st_size);
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
  }
  std::snprintf(data->cFileName, sizeof data->cFileName, "%s", name.c_str());
}

// The last component of a path, trailing separators ignored ("/" for the root).
std::string last_component(const std::string& path) {
  std::size_t end = path.find_last_not_of('/');
  if (end == std::string::npos) return path.empty() ? path : "/";
  const std::size_t slash = path.rfind('/', end);
  const std::size_t begin = slash == std::string::npos ? 0 : slash + 1;
  return path.substr(begin, end + 1 - begin);
}

// A lookup in progress: the folder and the matching names still to report.
struct search_state {
  std::string folder;  // with a trailing '/' (empty for the current folder)
  std::vector<std::string> names;
  std::size_t next = 0;
};

std::mutex g_search_mutex;
std::unordered_set<search_state*> g_searches;

search_state* live_search(HANDLE search) {
  auto* state = static_cast<search_state*>(search);
  std::lock_guard<std::mutex> lock(g_search_mutex);
  return g_searches.count(state) ? state : nullptr;
}

// Reports the next name of the search that can still be found.
bool next_entry(search_state& state, WIN32_FIND_DATAA* data) {
  while (state.next < state.names.size()) {
    const std::string& name = state.names[state.next++];
    struct stat st {};
    if (stat_entry(state.folder + name, st)) {
      fill_find_data(st, name, data);
      return true;
    }
  }
  return false;
}

// The search becomes the caller's handle; nothing is lost if memory runs out.
HANDLE register_search(std::unique_ptr<search_state> state) {
  std::lock_guard<std::mutex> lock(g_search_mutex);
  g_searches.insert(state.get());
  return state.release();
}

}  // namespace

HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data) {
  if (!pattern || !data) {
    fail_with(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const std::string text(pattern);
  const std::size_t slash = text.rfind('/');
  const std::string last = slash == std::string::npos ? text : text.substr(slash + 1);

  auto state = std::make_unique<search_state>();
  if (last.find_first_of("*?") == std::string::npos) {
    struct stat st {};
    if (text.empty() || !stat_entry(text, st)) {
      fail_with(errno == ENOENT || text.empty() ? ERROR_FILE_NOT_FOUND : platform::win32_error_from_errno(errno));
      return INVALID_HANDLE_VALUE;
    }
    fill_find_data(st, last_component(text), data);
    return register_search(std::move(state));
  }

  std::string folder_path = ".";
  if (slash != std::string::npos) {
    state->folder = text.substr(0, slash + 1);
    folder_path = slash == 0 ? "/" : text.substr(0, slash);
  }
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder_path.c_str()), &::closedir);
  if (!dir) {
    fail_with(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string name(entry->d_name);
    if (name == "." || name == "..") continue;
    if (platform::wildcard_match(last, name)) state->names.push_back(name);
  }
  std::sort(state->names.begin(), state->names.end());
  if (!next_entry(*state, data)) {
    fail_with(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  return register_search(std::move(state));
}

BOOL FindNextFileA(HANDLE search, WIN32_FIND_DATAA* data) {
  search_state* state = live_search(search);
  if (!state || !data) {
    fail_with(state ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (next_entry(*state, data)) return TRUE;
  fail_with(ERROR_NO_MORE_FILES);
  return FALSE;
}

BOOL FindClose(HANDLE search) {
  auto* state = static_cast<search_state*>(search);
  {
    std::lock_guard<std::mutex> lock(g_search_mutex);
    if (g_searches.erase(state) == 0) {
      fail_with(ERROR_INVALID_HANDLE);
      return FALSE;
    }
  }
  delete state;
  return TRUE;
}

DWORD GetFileAttributesA(const char* path) {
  struct stat st {};
  if (!path || !*path) {
    fail_with(ERROR_FILE_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  if (::stat(path, &st) != 0) {
    platform::set_last_error_from_errno();
    return INVALID_FILE_ATTRIBUTES;
  }
  return attributes_of(st, last_component(path));
}

BOOL CreateDirectoryA(const char* path, const void* security) {
  if (!path || security) {
    fail_with(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (*path == '\0') {
    fail_with(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  if (::mkdir(path, 0777) == 0) return TRUE;
  if (errno == ENOENT) {
    fail_with(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  return fail_from_errno();
}

BOOL DeleteFileA(const char* path) {
  if (!path) {
    fail_with(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (::unlink(path) == 0) return TRUE;
  return fail_from_errno();
}

BOOL CopyFileA(const char* existing, const char* destination, BOOL fail_if_exists) {
  if (!existing || !destination) {
    fail_with(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  platform::fd_guard in(::open(existing, O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) return fail_from_errno();
  struct stat src {};
  if (::fstat(in.get(), &src) != 0) return fail_from_errno();
  if (S_ISDIR(src.st_mode)) {
    fail_with(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  struct stat dst {};
  if (::stat(destination, &dst) == 0) {
    if (fail_if_exists) {
      fail_with(ERROR_FILE_EXISTS);
      return FALSE;
    }
    // Truncating the destination would destroy the source.
    if (dst.st_dev == src.st_dev && dst.st_ino == src.st_ino) {
      fail_with(ERROR_ACCESS_DENIED);
      return FALSE;
    }
  }
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (fail_if_exists ? O_EXCL : O_TRUNC);
  platform::fd_guard out(::open(destination, flags, src.st_mode & 0777));
  if (out.get() < 0) {
    if (errno == EEXIST) {
      fail_with(ERROR_FILE_EXISTS);
      return FALSE;
    }
    return fail_from_errno();
  }
  std::vector<char> buffer(64 * 1024);
  bool ok = true;
  for (;;) {
    const ssize_t n = ::read(in.get(), buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    std::size_t written = 0;
    if (!platform::write_all(out.get(), buffer.data(), static_cast<std::size_t>(n), written)) {
      ok = false;
      break;
    }
  }
  if (ok) {
    ::fchmod(out.get(), src.st_mode & 0777);
    const struct timespec times[2] = {src.st_atim, src.st_mtim};
    ::futimens(out.get(), times);
  }
  if (!out.close()) ok = false;
  if (!ok) {
    const int err = errno;
    ::unlink(destination);
    errno = err;
    return fail_from_errno();
  }
  return TRUE;
}

BOOL MoveFileA(const char* existing, const char* destination) {
  if (!existing || !destination) {
    fail_with(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (::renameat2(AT_FDCWD, existing, AT_FDCWD, destination, RENAME_NOREPLACE) == 0) return TRUE;
  if (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP) {
    // The file system cannot rename without replacing: check first.
    struct stat st {};
    if (::lstat(destination, &st) == 0) {
      fail_with(ERROR_ALREADY_EXISTS);
      return FALSE;
    }
    if (::rename(existing, destination) == 0) return TRUE;
  }
  if (errno == EEXIST) {
    fail_with(ERROR_ALREADY_EXISTS);
    return FALSE;
  }
  if (errno == EXDEV) {
    struct stat st {};
    if (::stat(existing, &st) == 0 && S_ISREG(st.st_mode)) {
      if (!CopyFileA(existing, destination, TRUE)) return FALSE;
      if (::unlink(existing) == 0) return TRUE;
      const int err = errno;
      ::unlink(destination);
      errno = err;
    }
  }
  return fail_from_errno();
}

HANDLE CreateFileA(const char* path, DWORD access, DWORD share, const void* security, DWORD disposition,
                   DWORD flags_and_attributes, HANDLE tmpl) {
  if (!path || security || tmpl) {
    fail_with(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  int flags = O_CLOEXEC;
  const bool can_read = (access & GENERIC_READ) != 0;
  const bool can_write = (access & GENERIC_WRITE) != 0;
  if (can_read && can_write) {
    flags |= O_RDWR;
  } else if (can_write) {
    flags |= O_WRONLY;
  } else {
    flags |= O_RDONLY;
  }
  switch (disposition) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING:
      if (!can_write) {
        fail_with(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
      }
      flags |= O_TRUNC;
      break;
    default: fail_with(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
  }
  int fd;
  do {
    fd = ::open(path, flags | O_NONBLOCK, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (errno == EEXIST) {
      fail_with(ERROR_FILE_EXISTS);
    } else {
      platform::set_last_error_from_errno();
    }
    return INVALID_HANDLE_VALUE;
  }
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    fail_with(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  // Reads and writes wait as on any file; only the opening did not.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return platform::handle_from_fd(fd);
}

DWORD GetFileType(HANDLE file) {
  const int fd = platform::fd_from_handle(file);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0) {
    fail_with(ERROR_INVALID_HANDLE);
    return FILE_TYPE_UNKNOWN;
  }
  if (S_ISREG(st.st_mode)) return FILE_TYPE_DISK;
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return FILE_TYPE_CHAR;
  if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return FILE_TYPE_PIPE;
  fail_with(ERROR_INVALID_FUNCTION);
  return FILE_TYPE_UNKNOWN;
}

namespace {

// The descriptor of a read or write; -1 (last error set) when the handle or
// the arguments are unusable.
int transfer_fd(HANDLE file, const void* buffer, DWORD size, void* overlapped) {
  const int fd = platform::fd_from_handle(file);
  if (fd < 0) {
    fail_with(ERROR_INVALID_HANDLE);
    return -1;
  }
  if (overlapped || (!buffer && size)) {
    fail_with(ERROR_INVALID_PARAMETER);
    return -1;
  }
  return fd;
}

}  // namespace

BOOL ReadFile(HANDLE file, void* buffer, DWORD size, DWORD* read_count, void* overlapped) {
  if (read_count) *read_count = 0;
  const int fd = transfer_fd(file, buffer, size, overlapped);
  if (fd < 0) return FALSE;
  DWORD done = 0;
  while (done < size) {
    const ssize_t n = ::read(fd, static_cast<char*>(buffer) + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (read_count) *read_count = done;
      return fail_io(fd);
    }
    if (n == 0) break;
    done += static_cast<DWORD>(n);
  }
  if (read_count) *read_count = done;
  return TRUE;
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD size, DWORD* written_count, void* overlapped) {
  if (written_count) *written_count = 0;
  const int fd = transfer_fd(file, buffer, size, overlapped);
  if (fd < 0) return FALSE;
  std::size_t written = 0;
  const bool ok = platform::write_all(fd, static_cast<const char*>(buffer), size, written);
  if (written_count) *written_count = static_cast<DWORD>(written);
  return ok ? TRUE : fail_io(fd);
}

BOOL SetFilePointerEx(HANDLE file, LONGLONG distance, LONGLONG* new_position, DWORD origin) {
  const int fd = platform::fd_from_handle(file);
  if (fd < 0) {
    fail_with(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  int whence;
  switch (origin) {
    case FILE_BEGIN: whence = SEEK_SET; break;
    case FILE_CURRENT: whence = SEEK_CUR; break;
    case FILE_END: whence = SEEK_END; break;
    default: fail_with(ERROR_INVALID_PARAMETER); return FALSE;
  }
  const off_t pos = ::lseek(fd, static_cast<off_t>(distance), whence);
  if (pos < 0) {
    // The origin is valid, so EINVAL means a position before the start.
    fail_with(errno == EINVAL ? ERROR_NEGATIVE_SEEK : platform::win32_error_from_errno(errno));
    return FALSE;
  }
  if (new_position) *new_position = static_cast<LONGLONG>(pos);
  return TRUE;
}

BOOL SetEndOfFile(HANDLE file) {
  const int fd = platform::fd_from_handle(file);
  if (fd < 0) {
    fail_with(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  const off_t pos = ::lseek(fd, 0, SEEK_CUR);
  if (pos < 0) return fail_from_errno();
  int rc;
  do {
    rc = ::ftruncate(fd, pos);
  } while (rc != 0 && errno == EINTR);
  return rc == 0 ? TRUE : fail_from_errno();
}

BOOL GetFileSizeEx(HANDLE file, LONGLONG* size) {
  const int fd = platform::fd_from_handle(file);
  if (fd < 0) {
    fail_with(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!size) {
    fail_with(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) return fail_from_errno();
  *size = static_cast<LONGLONG>(st.st_size);
  return TRUE;
}

BOOL FlushFileBuffers(HANDLE file) {
  const int fd = platform::fd_from_handle(file);
  if (fd < 0) {
    fail_with(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return ::fsync(fd) == 0 ? TRUE : fail_from_errno();
}

BOOL CloseHandle(HANDLE file) {
  const int fd = platform::fd_from_handle(file);
  if (fd < 0) {
    fail_with(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // The descriptor is released even when close reports an error.
  if (::close(fd) == 0 || errno == EINTR) return TRUE;
  return fail_from_errno();
}
