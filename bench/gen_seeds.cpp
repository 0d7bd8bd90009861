// Writes seed files into a folder, byte for byte the same on every run.
//
// bts_gen_seeds bench FOLDER: the benchmark seeds, with pseudo-random "pieces"
//   single_700MiB.torrent  one 700 MiB file, 256 KiB pieces
//   nested_10k.torrent     10,000 files in nested folders, mixed ASCII/UTF-8
//                          names, half of them with "path.utf-8"
//   single_200GiB.torrent  one 200 GiB file, 16 KiB pieces (262 MB "pieces")
//   flat_100k.torrent      100,000 files, one folder deep
//
// bts_gen_seeds examples FOLDER: the sample seeds of examples/
//   single_file.torrent      one file
//   nested_utf8.torrent      files in folders up to three deep, UTF-8 names, a publisher
//   with_padding.torrent     two files and a padding file that starts the second on a piece
//   legacy_codepage.torrent  names in code page 1252: bytes that are not UTF-8
// Their "pieces" hash real content: each file holds its own name and a
// newline, repeated up to its length (what `yes NAME | head -c LENGTH`
// writes); a padding file holds zeros.
//
// bts_gen_seeds content FOLDER NAME MIB [TRACKER_URL]: NAME.torrent, one
//   file NAME of MIB MiB with that same content, 256 KiB pieces; it
//   announces to TRACKER_URL, or to no tracker (peers are then given
//   directly). For real transfers: the demo and the transfer benchmark.
#include <openssl/evp.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
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

struct file_plan {
  std::int64_t length = 0;
  std::vector<std::string> path;
  std::vector<std::string> path_utf8;  // empty: no "path.utf-8"
  bool padding = false;                // "attr": "p", zeros
};

struct seed_plan {
  std::string file;  // written as FOLDER/file
  std::string name;
  std::vector<file_plan> files;  // one entry without a path: a single-file seed
  std::uint64_t piece = 0;
  std::vector<std::vector<std::string>> tiers;  // "announce" is the first URL
  std::string publisher, publisher_url;       // root keys; empty: left out
  std::uint64_t random_pieces = 0;             // 0: hashes of the content; else the generator's seed
};

bool single_file(const seed_plan& plan) { return plan.files.size() == 1 && plan.files[0].path.empty(); }

std::uint64_t total_length(const seed_plan& plan) {
  std::uint64_t total = 0;
  for (const file_plan& f : plan.files) total += static_cast<std::uint64_t>(f.length);
  return total;
}

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
  void list(const std::vector<std::string>& items) {
    raw("l");
    for (const std::string& item : items) str(item);
    raw("e");
  }
  // `count` pseudo-random 20-byte hashes, written in chunks.
  void random_pieces(std::uint64_t count, rng& r) {
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

// SHA-1 of each piece of a byte stream fed in any slices.
class piece_hasher {
 public:
  explicit piece_hasher(std::uint64_t piece) : piece_(piece), ctx_(EVP_MD_CTX_new(), EVP_MD_CTX_free) { start(); }
  void add(const char* p, std::size_t n) {
    while (n > 0) {
      const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(n, piece_ - filled_));
      EVP_DigestUpdate(ctx_.get(), p, take);
      p += take;
      n -= take;
      filled_ += take;
      if (filled_ == piece_) finish();
    }
  }
  std::string hashes() {
    if (filled_ > 0) finish();
    return hashes_;
  }

 private:
  void start() {
    EVP_DigestInit_ex(ctx_.get(), EVP_sha1(), nullptr);
    filled_ = 0;
  }
  void finish() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_DigestFinal_ex(ctx_.get(), digest, &size);
    hashes_.append(reinterpret_cast<const char*>(digest), size);
    start();
  }

  std::uint64_t piece_;
  std::uint64_t filled_ = 0;
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx_;
  std::string hashes_;
};

// A file's content: its name and a newline repeated up to its length, or zeros.
std::string content(const file_plan& f, const std::string& name) {
  std::string bytes(static_cast<std::size_t>(f.length), '\0');
  if (f.padding) return bytes;
  const std::string line = name + "\n";
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = line[i % line.size()];
  return bytes;
}

std::string content_pieces(const seed_plan& plan) {
  piece_hasher hasher(plan.piece);
  for (const file_plan& f : plan.files) {
    const std::string bytes = content(f, f.path.empty() ? plan.name : f.path.back());
    hasher.add(bytes.data(), bytes.size());
  }
  return hasher.hashes();
}

void write_file_entry(writer& w, const file_plan& f) {
  w.raw("d");
  if (f.padding) {
    w.str("attr");
    w.str("p");
  }
  w.str("length");
  w.integer(f.length);
  w.str("path");
  w.list(f.path);
  if (!f.path_utf8.empty()) {
    w.str("path.utf-8");
    w.list(f.path_utf8);
  }
  w.raw("e");
}

// Keys in the sorted order bencode requires.
bool write_seed(const std::string& dir, const seed_plan& plan) {
  writer w(dir + plan.file);
  w.raw("d");
  if (!plan.tiers.empty()) {
    w.str("announce");
    w.str(plan.tiers.at(0).at(0));
    w.str("announce-list");
    w.raw("l");
    for (const auto& tier : plan.tiers) w.list(tier);
    w.raw("e");
  }
  w.str("created by");
  w.str("bts_gen_seeds");
  w.str("creation date");
  w.integer(1700000000);
  w.str("info");
  w.raw("d");
  if (single_file(plan)) {
    w.str("length");
    w.integer(plan.files[0].length);
  } else {
    w.str("files");
    w.raw("l");
    for (const file_plan& f : plan.files) write_file_entry(w, f);
    w.raw("e");
  }
  w.str("name");
  w.str(plan.name);
  w.str("piece length");
  w.integer(static_cast<std::int64_t>(plan.piece));
  w.str("pieces");
  if (plan.random_pieces) {
    rng r{plan.random_pieces};
    w.random_pieces((total_length(plan) + plan.piece - 1) / plan.piece, r);
  } else {
    w.str(content_pieces(plan));
  }
  w.raw("e");
  if (!plan.publisher.empty()) {
    w.str("publisher");
    w.str(plan.publisher);
  }
  if (!plan.publisher_url.empty()) {
    w.str("publisher-url");
    w.str(plan.publisher_url);
  }
  w.raw("e");
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

std::vector<seed_plan> bench_seeds() {
  const std::vector<std::vector<std::string>> tiers = {{"http://tracker.example.net:6969/announce"},
                                                       {"udp://tracker.example.org:80/announce"},
                                                       {"http://backup.example.com/announce"}};
  return {
      {"single_700MiB.torrent", "disc_image.iso", {{700ll << 20, {}, {}, false}}, 256 << 10, tiers, "", "", 1},
      {"nested_10k.torrent", "nested \xE6\xB7\xB7\xE5\x90\x88", nested_files(), 256 << 10, tiers, "", "", 2},
      {"single_200GiB.torrent", "huge.bin", {{200ll << 30, {}, {}, false}}, 16 << 10, tiers, "", "", 3},
      {"flat_100k.torrent", "flat", flat_files(), 1 << 20, tiers, "", "", 4},
  };
}

std::vector<seed_plan> example_seeds() {
  const std::string http = "http://127.0.0.1:6969/announce";
  const std::vector<std::vector<std::string>> one_tracker = {{http}};
  const auto file = [](std::int64_t length, std::vector<std::string> path) {
    return file_plan{length, std::move(path), {}, false};
  };
  return {
      {"single_file.torrent", "hello.txt", {file(100000, {})}, 16 << 10, one_tracker, "", "", 0},
      {"nested_utf8.torrent",
       "voyage \xC3\xA9t\xC3\xA9 \xE5\xA4\x8F",  // voyage été 夏
       {file(1000, {"README.txt"}),
        file(40000, {"photos", "\xC3\xA9t\xC3\xA9", "plage.txt"}),                      // photos/été/plage.txt
        file(30000, {"photos", "\xC3\xA9t\xC3\xA9", "montagne.txt"}),                   // photos/été/montagne.txt
        file(20000, {"photos", "\xE5\x86\xAC", "\xE9\x9B\xAA.txt"}),                    // photos/冬/雪.txt
        file(5000, {"notes", "\xE6\x97\xA5\xE6\x9C\xAC", "\xE6\x97\x85",                // notes/日本/旅/
                    "\xE4\xB8\x80\xE6\x97\xA5\xE7\x9B\xAE.txt"})},                      // 一日目.txt
       16 << 10,
       {{http}, {"udp://127.0.0.1:6969/announce"}},
       "bt_shell examples",
       "https://example.org/bt_shell/examples",
       0},
      {"with_padding.torrent",
       "padded",
       {file(10000, {"first.txt"}), file_plan{6384, {".pad", "6384"}, {}, true}, file(20000, {"second.txt"})},
       16 << 10,
       one_tracker,
       "",
       "",
       0},
      {"legacy_codepage.torrent",
       "Caf\xE9 cr\xE8me",  // Café crème in code page 1252
       {file(3000, {"readme.txt"}), file(12000, {"M\xFCnchen", "Stra\xDF" "e.txt"})},  // München/Straße.txt
       16 << 10,
       one_tracker,
       "",
       "",
       0},
  };
}

// NAME.torrent: NAME of `mib` MiB; the tracker, when not empty.
seed_plan content_seed(const std::string& name, std::int64_t mib, const std::string& tracker) {
  std::vector<std::vector<std::string>> tiers;
  if (!tracker.empty()) tiers.push_back({tracker});
  return {name + ".torrent", name, {file_plan{mib << 20, {}, {}, false}}, 256 << 10, tiers, "", "", 0};
}

// A size in MiB from 1 to 4096; 0 for anything else.
std::int64_t mib_argument(const char* text) {
  char* end = nullptr;
  const long long n = std::strtoll(text, &end, 10);
  return *end == '\0' && n >= 1 && n <= 4096 ? n : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string kind = argc >= 3 ? argv[1] : "";
  const bool content = kind == "content" && (argc == 5 || argc == 6) && mib_argument(argv[4]) > 0;
  if (!content && (argc != 3 || (kind != "bench" && kind != "examples"))) {
    std::fprintf(stderr, "usage: %s bench|examples FOLDER\n       %s content FOLDER NAME MIB [TRACKER_URL]\n",
                 argv[0], argv[0]);
    return 2;
  }
  const std::string dir = std::string(argv[2]) + "/";
  std::vector<seed_plan> plans;
  if (content)
    plans.push_back(content_seed(argv[3], mib_argument(argv[4]), argc == 6 ? argv[5] : ""));
  else
    plans = kind == "bench" ? bench_seeds() : example_seeds();
  bool ok = true;
  for (const seed_plan& plan : plans) ok = write_seed(dir, plan) && ok;
  if (!ok) {
    std::fprintf(stderr, "%s: could not write the seeds into %s\n", argv[0], dir.c_str());
    return 1;
  }
  return 0;
}
