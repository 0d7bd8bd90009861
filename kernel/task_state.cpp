#include "kernel/task_state.h"

#include "platform/posix_fd.h"

#include <libtorrent/bdecode.hpp>
#include <libtorrent/bencode.hpp>
#include <libtorrent/read_resume_data.hpp>
#include <libtorrent/write_resume_data.hpp>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>

namespace {

constexpr char kProofKey[] = "bt kernel";
constexpr std::size_t kStampSize = 17;  // kind, size, modification time: 1 + 8 + 8 bytes
// A state larger than this is not one this kernel wrote.
constexpr off_t kStateSizeLimit = off_t{512} << 20;

bool stamp_of(const std::string& path, file_stamp::kind_t kind, file_stamp& out) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  out.kind = kind;
  out.size = st.st_size;
  out.mtime_ns = std::int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
  return true;
}

void put_u64(std::string& out, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint64_t get_u64(const char* in) {
  std::uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(in[i]);
  return value;
}

std::string pack(const std::vector<file_stamp>& files) {
  std::string out;
  out.reserve(files.size() * kStampSize);
  for (const file_stamp& f : files) {
    out += static_cast<char>(f.kind);
    put_u64(out, static_cast<std::uint64_t>(f.size));
    put_u64(out, static_cast<std::uint64_t>(f.mtime_ns));
  }
  return out;
}

bool unpack(lt::string_view packed, std::vector<file_stamp>& files) {
  if (packed.size() % kStampSize != 0) return false;
  files.clear();
  for (std::size_t at = 0; at < packed.size(); at += kStampSize) {
    const unsigned char kind = static_cast<unsigned char>(packed[at]);
    if (kind > file_stamp::final_name) return false;
    file_stamp f;
    f.kind = static_cast<file_stamp::kind_t>(kind);
    f.size = static_cast<std::int64_t>(get_u64(packed.data() + at + 1));
    f.mtime_ns = static_cast<std::int64_t>(get_u64(packed.data() + at + 9));
    files.push_back(f);
  }
  return true;
}

// The whole file at `path`, not through a link: 0 or an errno value.
int read_whole(const std::string& path, std::vector<char>& out) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return errno;
  struct stat st;
  int error = 0;
  if (::fstat(fd, &st) != 0)
    error = errno;
  else if (!S_ISREG(st.st_mode) || st.st_size > kStateSizeLimit)
    error = EINVAL;
  if (error == 0) {
    out.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    while (got < out.size()) {
      const ssize_t n = ::read(fd, out.data() + got, out.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error = n < 0 ? errno : EIO;
        break;
      }
      got += static_cast<std::size_t>(n);
    }
  }
  ::close(fd);
  return error;
}


}  // namespace

state_proof take_proof(const std::string& data_folder, const std::string& data_folder_abs,
                       const torrent_layout& layout) {
  state_proof proof;
  proof.data_folder = data_folder_abs;
  proof.files.resize(layout.files().size());
  for (std::size_t i = 0; i < layout.files().size(); ++i) {
    const layout_file& file = layout.files()[i];
    if (file.pad) continue;
    const std::string final_path = join_path(data_folder, file.path);
    if (!stamp_of(final_path + kInProgressSuffix, file_stamp::in_progress, proof.files[i]))
      stamp_of(final_path, file_stamp::final_name, proof.files[i]);
  }
  return proof;
}

std::string proof_difference(const state_proof& saved, const state_proof& now, const torrent_layout& layout) {
  if (saved.data_folder != now.data_folder) return "it was written for the data folder " + saved.data_folder;
  if (saved.files.size() != now.files.size()) return "it describes another file list";
  for (std::size_t i = 0; i < now.files.size(); ++i) {
    if (saved.files[i] == now.files[i]) continue;
    const std::string& path = layout.files()[i].path;
    if (now.files[i].kind == file_stamp::absent) return path + " is gone since it was written";
    if (saved.files[i].kind == file_stamp::absent) return path + " was put there since it was written";
    return path + " changed since it was written";
  }
  return std::string();
}

bool read_task_state(const std::string& path, const lt::torrent_info& torrent, lt::add_torrent_params& params,
                     state_proof& proof, std::string& why) {
  why.clear();
  std::vector<char> data;
  if (const int error = read_whole(path, data); error != 0) {
    if (error != ENOENT) why = std::string("it cannot be read: ") + std::strerror(error);
    return false;
  }
  if (data.empty()) return false;
  lt::error_code ec;
  const lt::bdecode_node root = lt::bdecode(data, ec, nullptr, 100, std::numeric_limits<int>::max());
  lt::add_torrent_params read;
  if (!ec) read = lt::read_resume_data(root, ec, std::numeric_limits<int>::max());
  if (ec) {
    why = "it is unreadable (" + ec.message() + ")";
    return false;
  }
  if (!read.info_hashes.has_v1() || read.info_hashes.v1 != torrent.info_hashes().v1) {
    why = "it belongs to another torrent";
    return false;
  }
  const lt::bdecode_node mine = root.dict_find_dict(kProofKey);
  state_proof saved;
  if (!mine || (saved.data_folder = std::string(mine.dict_find_string_value("data folder"))).empty() ||
      !unpack(mine.dict_find_string_value("files"), saved.files)) {
    why = "it does not say which data it describes";
    return false;
  }
  params = std::move(read);
  proof = std::move(saved);
  return true;
}

int write_task_state(const std::string& path, const lt::add_torrent_params& params, const state_proof& proof) {
  lt::entry state = lt::write_resume_data(params);
  lt::entry& mine = state[kProofKey];
  mine["data folder"] = proof.data_folder;
  mine["files"] = pack(proof.files);
  std::vector<char> data;
  lt::bencode(std::back_inserter(data), state);
  return platform::replace_file_whole(path, data.data(), data.size());
}


state_lock::~state_lock() { release(); }

state_lock::state_lock(state_lock&& other) noexcept : path_(std::move(other.path_)), fd_(other.fd_) {
  other.fd_ = -1;
}

state_lock& state_lock::operator=(state_lock&& other) noexcept {
  if (this != &other) {
    release();
    path_ = std::move(other.path_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

state_lock::result state_lock::acquire(const std::string& path, long& holder) {
  release();
  holder = 0;
  // A holder that lets go removes the file: a lock taken on a file no longer
  // at `path` is no lock, and is taken again on the new one.
  for (int attempt = 0; attempt < 8; ++attempt) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
      holder = errno;
      return result::unavailable;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      char text[32] = {};
      const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
      holder = n > 0 ? std::strtol(text, nullptr, 10) : 0;
      ::close(fd);
      return result::busy;
    }
    struct stat held, named;
    if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino) {
      const std::string pid = std::to_string(::getpid()) + "\n";
      if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.data(), pid.size(), 0) < 0) {
        // The lock holds all the same; only the holder's number is missing.
      }
      path_ = path;
      fd_ = fd;
      return result::held;
    }
    ::close(fd);
  }
  holder = EAGAIN;
  return result::unavailable;
}

void state_lock::release() {
  if (fd_ < 0) return;
  ::unlink(path_.c_str());
  ::close(fd_);
  fd_ = -1;
}
