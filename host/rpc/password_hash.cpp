#include "host/rpc/password_hash.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include "common/utility.h"

namespace rpc {

namespace {

constexpr char kScheme[] = "pbkdf2-sha256";
constexpr std::size_t kSaltBytes = 16;
constexpr std::size_t kKeyBytes = 32;
// A stored hash with more iterations than this is refused rather than
// letting a hostile settings file stall every request.
constexpr long kMostIterations = 10000000;

struct parsed_hash {
  long iterations = 0;
  std::string salt, key;
};

std::string hex(const std::string& bytes) { return hex_encode(bytes.data(), bytes.size()); }

bool unhex(const std::string& text, std::string& out) {
  if (text.size() % 2 != 0) return false;
  out.clear();
  for (std::size_t i = 0; i < text.size(); i += 2) {
    if (!is_hex_char(text[i]) || !is_hex_char(text[i + 1])) return false;
    out.push_back(static_cast<char>(hex_char_value(text[i]) * 16 + hex_char_value(text[i + 1])));
  }
  return true;
}

bool parse(const std::string& stored, parsed_hash& out) {
  const std::string prefix = std::string(kScheme) + ":";
  if (stored.compare(0, prefix.size(), prefix) != 0) return false;
  const std::size_t a = prefix.size(), b = stored.find(':', a), c = b == std::string::npos ? b : stored.find(':', b + 1);
  if (c == std::string::npos) return false;
  const std::string count = stored.substr(a, b - a);
  if (count.empty() || count.size() > 8 || count.find_first_not_of("0123456789") != std::string::npos) return false;
  out.iterations = std::stol(count);
  return out.iterations > 0 && out.iterations <= kMostIterations && unhex(stored.substr(b + 1, c - b - 1), out.salt) &&
         out.salt.size() == kSaltBytes && unhex(stored.substr(c + 1), out.key) && out.key.size() == kKeyBytes;
}

std::string derive(const std::string& password, const std::string& salt, long iterations) {
  std::string key(kKeyBytes, '\0');
  if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                        reinterpret_cast<const unsigned char*>(salt.data()), static_cast<int>(salt.size()),
                        static_cast<int>(iterations), EVP_sha256(), static_cast<int>(key.size()),
                        reinterpret_cast<unsigned char*>(&key[0])) != 1)
    return std::string();
  return key;
}

}  // namespace

std::string hash_password(const std::string& password, int iterations) {
  std::string salt(kSaltBytes, '\0');
  if (iterations <= 0 || iterations > kMostIterations || RAND_bytes(reinterpret_cast<unsigned char*>(&salt[0]), static_cast<int>(salt.size())) != 1)
    return std::string();
  const std::string key = derive(password, salt, iterations);
  if (key.empty()) return std::string();
  return std::string(kScheme) + ":" + std::to_string(iterations) + ":" + hex(salt) + ":" + hex(key);
}

bool password_matches(const std::string& stored, const std::string& password) {
  parsed_hash h;
  if (!parse(stored, h)) return false;
  const std::string key = derive(password, h.salt, h.iterations);
  return key.size() == h.key.size() && CRYPTO_memcmp(key.data(), h.key.data(), key.size()) == 0;
}

bool is_password_hash(const std::string& text) {
  parsed_hash h;
  return parse(text, h);
}

}  // namespace rpc
