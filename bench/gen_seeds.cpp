// Writes the four benchmark seeds into a folder, byte for byte the same on
// every run:
//   single_700MiB.torrent  one 700 MiB file, 256 KiB pieces
//   nested_10k.torrent     10,000 files in nested folders, mixed ASCII/UTF-8
//                          names, half of them with "path.utf-8"
//   single_200GiB.torrent  one 200 GiB file, 16 KiB pieces (262 MB "pieces")
//   flat_100k.torrent      100,000 files, one folder deep
// Usage: bts_gen_seeds <folder>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// splitmix64: a fixed, portable sequence.
struct rng {
  std::uint64_t state;
  std::uint64_t next() {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
};

class writer {
 public:
  explicit writer(const std::string& path) : f_(std::fopen(path.c_str(), "wb")) {}
  ~writer() {
    if (f_) std::fclose(f_);
  }
  bool ok() const { return f_ != nullptr && !failed_; }
  void raw(const std::string& s) { raw(s.data(), s.size()); }
  void raw(const char* p, std::size_t n) {
    if (f_ && std::fwrite(p, 1, n, f_) != n) failed_ = true;
  }
  void str(const std::string& s) {
    raw(std::to_string(s.size()) + ":");
    raw(s);
  }
  void integer(std::int64_t v) { raw("i" + std::to_string(v) + "e"); }
  // "pieces": `count` pseudo-random 20-byte hashes, written in chunks.
  void pieces(std::uint64_t count, rng& r) {
    raw(std::to_string(count * 20) + ":");
    std::vector<char> chunk;
    chunk.reserve(1 << 20);
    for (std::uint64_t i = 0; i < count * 20; i += 8) {
      const std::uint64_t v = r.next();
      for (int b = 0; b < 8 && i + b < count * 20; ++b) chunk.push_back(static_cast<char>(v >> (8 * b)));
      if (chunk.size() >= (1u << 20) - 8) {
        raw(chunk.data(), chunk.size());
        chunk.clear();
      }
    }
    raw(chunk.data(), chunk.size());
  }

 private:
  std::FILE* f_;
  bool failed_ = false;
};

void root_head(writer& w) {
  w.raw("d");
  w.str("announce");
  w.str("http://tracker.example.net:6969/announce");
  w.str("announce-list");
  w.raw("l");
  for (const char* tier : {"http://tracker.example.net:6969/announce", "udp://tracker.example.org:80/announce"}) {
    w.raw("l");
    w.str(tier);
    w.raw("e");
  }
  w.raw("l");
  w.str("http://backup.example.com/announce");
  w.raw("ee");
  w.str("created by");
  w.str("bts_gen_seeds");
  w.str("creation date");
  w.integer(1700000000);
  w.str("info");
}

std::uint64_t piece_count(std::uint64_t total, std::uint64_t piece) { return (total + piece - 1) / piece; }

bool single(const std::string& path, const std::string& name, std::uint64_t length, std::uint64_t piece,
            std::uint64_t seed) {
  writer w(path);
  rng r{seed};
  root_head(w);
  w.raw("d");
  w.str("length");
  w.integer(static_cast<std::int64_t>(length));
  w.str("name");
  w.str(name);
  w.str("piece length");
  w.integer(static_cast<std::int64_t>(piece));
  w.str("pieces");
  w.pieces(piece_count(length, piece), r);
  w.raw("ee");
  return w.ok();
}

struct file_plan {
  std::int64_t length;
  std::vector<std::string> path;
  std::vector<std::string> path_utf8;  // empty: no "path.utf-8"
};

bool multi(const std::string& path, const std::string& name, const std::vector<file_plan>& files, std::uint64_t piece,
           std::uint64_t seed) {
  writer w(path);
  rng r{seed};
  root_head(w);
  w.raw("d");
  w.str("files");
  w.raw("l");
  std::uint64_t total = 0;
  for (const auto& f : files) {
    total += static_cast<std::uint64_t>(f.length);
    w.raw("d");
    w.str("length");
    w.integer(f.length);
    w.str("path");
    w.raw("l");
    for (const auto& c : f.path) w.str(c);
    w.raw("e");
    if (!f.path_utf8.empty()) {
      w.str("path.utf-8");
      w.raw("l");
      for (const auto& c : f.path_utf8) w.str(c);
      w.raw("e");
    }
    w.raw("e");
  }
  w.raw("e");
  w.str("name");
  w.str(name);
  w.str("piece length");
  w.integer(static_cast<std::int64_t>(piece));
  w.str("pieces");
  w.pieces(piece_count(total, piece), r);
  w.raw("ee");
  return w.ok();
}

std::string number(unsigned value, int width) {
  std::string s = std::to_string(value);
  return std::string(width > static_cast<int>(s.size()) ? width - s.size() : 0, '0') + s;
}

std::vector<file_plan> nested_files() {
  // Folder names in ASCII and in UTF-8 (CJK and accented Latin).
  const char* const folder_words[] = {"docs", "\xE8\xB5\x84\xE6\x96\x99", "media", "vid\xC3\xA9os",
                                      "\xE9\x9F\xB3\xE4\xB9\x90", "src"};
  rng r{10000};
  std::vector<file_plan> files;
  for (unsigned i = 0; i < 10000; ++i) {
    file_plan f;
    f.length = static_cast<std::int64_t>(1024 + r.next() % (1024 * 1024));
    const unsigned depth = 1 + i % 4;
    for (unsigned d = 0; d < depth; ++d) {
      f.path.push_back(std::string(folder_words[(i / 7 + d * 3) % 6]) + "_" + number((i / 50 + d) % 20, 2));
    }
    if (i % 2 == 0) {
      f.path.push_back("file_" + number(i, 5) + ".bin");
    } else {
      f.path.push_back("\xE6\x96\x87\xE4\xBB\xB6_" + number(i, 5) + "_\xC3\xA9t\xC3\xA9.dat");
    }
    if ((i / 2) % 2 == 0) f.path_utf8 = f.path;
    files.push_back(std::move(f));
  }
  return files;
}

std::vector<file_plan> flat_files() {
  rng r{100000};
  std::vector<file_plan> files;
  files.reserve(100000);
  for (unsigned i = 0; i < 100000; ++i) {
    file_plan f;
    f.length = static_cast<std::int64_t>(1000 + r.next() % 100000);
    f.path = {"folder_" + number(i / 1000, 3), "file_" + number(i, 6) + ".dat"};
    files.push_back(std::move(f));
  }
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  const std::string dir = std::string(argv[1]) + "/";
  bool ok = true;
  ok = single(dir + "single_700MiB.torrent", "disc_image.iso", 700ull << 20, 256 << 10, 1) && ok;
  ok = multi(dir + "nested_10k.torrent", "nested \xE6\xB7\xB7\xE5\x90\x88", nested_files(), 256 << 10, 2) && ok;
  ok = single(dir + "single_200GiB.torrent", "huge.bin", 200ull << 30, 16 << 10, 3) && ok;
  ok = multi(dir + "flat_100k.torrent", "flat", flat_files(), 1 << 20, 4) && ok;
  if (!ok) {
    std::fprintf(stderr, "%s: could not write the seeds into %s\n", argv[0], dir.c_str());
    return 1;
  }
  return 0;
}
