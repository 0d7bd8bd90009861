// bench_sha1_floor TOTAL_BYTES PIECE_BYTES THREADS: the machine's SHA-1
// floor for hashing TOTAL_BYTES in pieces of PIECE_BYTES on THREADS cores,
// with the data in memory (no file, no copy): each thread hashes its share
// of the pieces of one buffer with OpenSSL. Prints the wall seconds.
#include <openssl/evp.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s TOTAL_BYTES PIECE_BYTES THREADS\n", argv[0]);
    return 2;
  }
  const long long total = std::atoll(argv[1]), piece = std::atoll(argv[2]);
  const int threads = std::atoi(argv[3]);
  if (total <= 0 || piece <= 0 || threads <= 0) return 2;
  // One buffer of 64 pieces (at least), hashed over and over: the bytes
  // stay in memory as a warm page cache keeps them.
  const long long span = piece * 64;
  std::vector<unsigned char> data(static_cast<std::size_t>(span));
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 131 + i / 4099);
  const long long pieces = (total + piece - 1) / piece;
  const auto began = std::chrono::steady_clock::now();
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t)
    workers.emplace_back([&, t] {
      unsigned char digest[EVP_MAX_MD_SIZE];
      unsigned int size = 0;
      for (long long p = t; p < pieces; p += threads) {
        const long long length = p + 1 == pieces ? total - p * piece : piece;
        EVP_Digest(data.data() + (p % 64) * piece, static_cast<std::size_t>(length), digest, &size, EVP_sha1(),
                   nullptr);
      }
    });
  for (std::thread& w : workers) w.join();
  std::printf("%.3f\n", std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count());
  return 0;
}
