// Win32-style file facilities over POSIX: directory lookup, attributes,
// directory creation, whole-file operations and file handles.
//
// Every call that fails sets the last error (GetLastError) to the Win32
// code that matches the cause. Calls that succeed leave it alone.
//
// Paths are handed to the operating system unchanged. A lookup pattern may
// hold '*' and '?' in its last component only; every other character,
// including '\' on POSIX, is taken literally.
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

// A file handle (an open file) or a search handle (a lookup in progress).
using HANDLE = void*;
// The handle every failed open returns; never a valid file or search handle.
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

constexpr DWORD MAX_PATH = 260;

constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x00000001;
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x00000002;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x00000010;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;

// Access rights, sharing and creation dispositions of CreateFileA.
constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD FILE_SHARE_READ = 0x00000001;
constexpr DWORD FILE_SHARE_WRITE = 0x00000002;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;

// Origins of SetFilePointerEx.
constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;

// 100-nanosecond intervals since 1601-01-01 UTC.
struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

struct WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;  // POSIX keeps no creation time: the last write time
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;  // 0 for a directory
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  char cFileName[MAX_PATH];     // the entry's name, without its folder
  char cAlternateFileName[14];  // always empty
};

// Directory lookup. A pattern without wildcards names one entry, found with
// stat (a dangling symbolic link still counts as an entry). With wildcards
// in its last component, the entries of that folder whose names match are
// reported one by one in byte order of their names; "*" matches any run of
// characters, "?" exactly one, "*.*" every name, and "." and ".." are never
// reported. Matching is case-sensitive, as the file system is.
// No entry: INVALID_HANDLE_VALUE with ERROR_FILE_NOT_FOUND, or
// ERROR_PATH_NOT_FOUND when the folder itself cannot be read.
HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data);
// FALSE with ERROR_NO_MORE_FILES after the last entry.
BOOL FindNextFileA(HANDLE search, WIN32_FIND_DATAA* data);
BOOL FindClose(HANDLE search);

// FILE_ATTRIBUTE_DIRECTORY for a directory; FILE_ATTRIBUTE_READONLY when no
// one may write it; FILE_ATTRIBUTE_HIDDEN for a name that starts with '.';
// FILE_ATTRIBUTE_NORMAL when none of these applies. INVALID_FILE_ATTRIBUTES
// on failure. The path is not a pattern.
DWORD GetFileAttributesA(const char* path);

// Creates one directory (the parent must exist). `security` must be null:
// the permissions are the process's defaults (0777 less the umask).
// ERROR_ALREADY_EXISTS when the path exists, ERROR_PATH_NOT_FOUND when the
// parent is missing.
BOOL CreateDirectoryA(const char* path, const void* security);

// Renames a file or directory. Never replaces an existing destination
// (ERROR_ALREADY_EXISTS). A file moved to another file system is copied and
// the original removed.
BOOL MoveFileA(const char* existing, const char* destination);
// Removes a file (not a directory: ERROR_ACCESS_DENIED).
BOOL DeleteFileA(const char* path);
// Copies a regular file's content, permission bits (rwx) and last write
// time. With fail_if_exists set an existing destination is left alone
// (ERROR_FILE_EXISTS); otherwise it is replaced. Copying a file onto itself
// fails with ERROR_ACCESS_DENIED and changes nothing. A copy that fails part
// way is removed.
BOOL CopyFileA(const char* existing, const char* destination, BOOL fail_if_exists);

// Opens a file. `access` is a combination of GENERIC_READ and GENERIC_WRITE;
// `disposition` one of CREATE_NEW (ERROR_FILE_EXISTS when it exists),
// CREATE_ALWAYS, OPEN_EXISTING, OPEN_ALWAYS, TRUNCATE_EXISTING. Sharing
// modes are accepted and not enforced (POSIX has no mandatory sharing);
// `security` must be null, `flags_and_attributes` is ignored and `tmpl`
// must be null. The handle is not inherited by child processes. A directory
// cannot be opened (ERROR_ACCESS_DENIED). Opening never waits: a pipe
// without a writer opens at once (GetFileType tells it from a file).
HANDLE CreateFileA(const char* path, DWORD access, DWORD share, const void* security, DWORD disposition,
                   DWORD flags_and_attributes, HANDLE tmpl);
// Reads up to `size` bytes; fewer only at the end of the file. The count
// read (also on failure: what was read before it) goes to *read_count.
BOOL ReadFile(HANDLE file, void* buffer, DWORD size, DWORD* read_count, void* overlapped);
// Writes all `size` bytes or fails; *written_count holds what was written.
// A full disk gives ERROR_DISK_FULL.
BOOL WriteFile(HANDLE file, const void* buffer, DWORD size, DWORD* written_count, void* overlapped);
// Moves the file position; *new_position (if not null) receives it. A
// position before the start fails with ERROR_NEGATIVE_SEEK.
BOOL SetFilePointerEx(HANDLE file, LONGLONG distance, LONGLONG* new_position, DWORD origin);
// Cuts or extends the file to the current position.
BOOL SetEndOfFile(HANDLE file);
BOOL GetFileSizeEx(HANDLE file, LONGLONG* size);
// What an open handle refers to: FILE_TYPE_DISK for a regular file,
// FILE_TYPE_CHAR for a device, FILE_TYPE_PIPE for a pipe or a socket;
// FILE_TYPE_UNKNOWN (last error set) for anything else or a bad handle.
constexpr DWORD FILE_TYPE_UNKNOWN = 0x0000;
constexpr DWORD FILE_TYPE_DISK = 0x0001;
constexpr DWORD FILE_TYPE_CHAR = 0x0002;
constexpr DWORD FILE_TYPE_PIPE = 0x0003;
DWORD GetFileType(HANDLE file);
BOOL FlushFileBuffers(HANDLE file);
BOOL CloseHandle(HANDLE file);

namespace platform {

// The separator of the paths the module builds.
#ifdef _WIN32
constexpr char path_separator = '\\';
#else
constexpr char path_separator = '/';
#endif

// Splitting a path accepts both separators, whatever the platform.
constexpr bool is_path_separator(char c) { return c == '/' || c == '\\'; }
// Position of the last separator of either kind, or std::string::npos.
inline std::size_t last_path_separator(const std::string& path) { return path.find_last_of("/\\"); }

// A file handle is a POSIX descriptor in disguise.
HANDLE handle_from_fd(int fd);
// -1 for INVALID_HANDLE_VALUE, null and anything else that is no descriptor.
int fd_from_handle(HANDLE file);

// Whether `name` matches `pattern` ('*', '?'; "*.*" matches every name).
bool wildcard_match(const std::string& pattern, const std::string& name);

}  // namespace platform
