// Passwords of the RPC front, kept only as salted hashes:
// "pbkdf2-sha256:<iterations>:<salt>:<key>", salt and key in hexadecimal
// (PBKDF2 with HMAC-SHA-256 through OpenSSL, 16 random bytes of salt, a
// 32-byte key).
// Pure functions; any thread.
#pragma once

#include <string>

namespace rpc {

// Iterations of a new hash: about 10 ms on one core of a small machine.
inline constexpr int kPasswordIterations = 100000;

// A new hash of `password` with a fresh salt; empty when the system gave no
// random bytes or `iterations` is not from 1 to 10,000,000 (the most a
// stored hash may ask).
std::string hash_password(const std::string& password, int iterations = kPasswordIterations);

// Whether `password` is the one `stored` was made of, in time that does not
// depend on where they differ; false for a stored text of any other form.
bool password_matches(const std::string& stored, const std::string& password);

// Whether `text` has the form hash_password writes (a settings file holds
// the hash, never the password).
bool is_password_hash(const std::string& text);

}  // namespace rpc
