// btshell create: a v1 seed of a file or a folder (seed_maker.h), its pieces
// hashed on every core, read back through the module's ParseSeedFile and
// then written whole.
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "host/btshell/commands.h"
#include "host/btshell/hash_progress.h"
#include "host/btshell/printers.h"
#include "host/btshell/seed_maker.h"
#include "interfaces/string_types.h"
#include "platform/posix_fd.h"

#ifndef BTSHELL_VERSION
#define BTSHELL_VERSION "unknown"
#endif

namespace btshell {

namespace fs = std::filesystem;

namespace {

int fail(std::ostream& err, const std::string& text) {
  err << "btshell: " << text << '\n';
  return exit_failed;
}

// `inner` relative to `outer`, both made absolute with their links
// resolved as far as they exist: "." when they are one, starting with ".."
// when `inner` is outside.
fs::path relative_to(const fs::path& inner, const fs::path& outer) {
  std::error_code ec;
  return fs::weakly_canonical(fs::absolute(inner, ec), ec)
      .lexically_relative(fs::weakly_canonical(fs::absolute(outer, ec), ec));
}

// Where the seed may go; false with the reason written.
bool check_output(const std::string& path, const seed_content& content, const std::string& output, bool force,
                  std::ostream& err) {
  std::error_code ec;
  const fs::path where = relative_to(output, path);
  if (content.single_file ? where == "." : !where.empty() && *where.begin() != "..") {
    fail(err, content.single_file ? "the seed " + output + " would replace the file it is made of"
                                  : "the seed " + output + " lies in the folder " + path +
                                        " that is hashed: write it elsewhere");
    return false;
  }
  const fs::file_status status = fs::symlink_status(output, ec);
  if (fs::is_directory(fs::status(output, ec))) {
    fail(err, "the seed " + output + " is a folder");
    return false;
  }
  const fs::path folder = fs::path(output).parent_path();
  if (!fs::is_directory(folder.empty() ? fs::path(".") : folder, ec)) {
    fail(err, "the folder of the seed " + output + " does not exist");
    return false;
  }
  if (fs::exists(status) && !force) {
    fail(err, "the seed " + output + " exists already (--force replaces it)");
    return false;
  }
  return true;
}

// The first file that could not be read whole, with why; empty when none.
std::string read_failure(const piece_hasher& hasher, const seed_content& content) {
  for (std::size_t i = 0; i < content.files.size(); ++i)
    if (const int error = hasher.failure(i))
      return "cannot read " + content.files[i].disk_path + ": " +
             (error == ENODATA ? std::string("it became shorter while it was hashed") : std::strerror(error));
  return hasher.all_readable() ? std::string() : "a piece could not be read";
}

// A file that is no longer the size it was when the folder was read.
std::string changed_file(const seed_content& content) {
  for (const content_file& f : content.files) {
    struct stat st {};
    if (::stat(f.disk_path.c_str(), &st) != 0 || st.st_size != f.length)
      return f.disk_path + " changed while it was hashed: run create again";
  }
  return std::string();
}

std::string sha1_of(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha1(), nullptr);
  return std::string(reinterpret_cast<const char*>(digest), size);
}

// Reads `seed` back through the module's ParseSeedFile, from a private
// file that is gone again afterwards; the record, or null with the reason
// written. The record must describe what was hashed.
seed_info_ptr parse_back(IBitTorrent2* shell, const std::string& seed, const std::string& info,
                         const seed_content& content, std::ostream& err) {
  std::error_code ec;
  const fs::path folder = fs::temp_directory_path(ec);
  std::string path = ((ec ? fs::path("/tmp") : folder) / "btshell-create.XXXXXX").string();
  const platform::fd_guard fd(::mkostemp(path.data(), O_CLOEXEC));
  seed_info_ptr parsed(nullptr, seed_info_release{shell});
  std::size_t written = 0;
  if (fd.get() < 0 || !platform::write_all(fd.get(), seed.data(), seed.size(), written)) {
    fail(err, std::string("cannot write the seed to check it: ") + std::strerror(errno));
    if (fd.get() >= 0) ::unlink(path.c_str());
    return parsed;
  }
  SEED_FILE_INFO* raw = nullptr;
  const HRESULT hr = shell->ParseSeedFile(to_tag_string(path), &raw);
  parsed.reset(raw);
  ::unlink(path.c_str());
  if (hr != S_OK || !parsed) {
    report_failure(err, "ParseSeedFile", "of the new seed", hr);
    fail(err, "the module refuses the seed made of these files; nothing is written");
    parsed.reset();
    return parsed;
  }
  bool same = parsed->file_count == content.files.size() &&
              std::memcmp(parsed->info_hash, sha1_of(info).data(), kSha1Size) == 0;
  for (ULONG i = 0; same && i < parsed->file_count; ++i)
    same = parsed->files[i].file_size == static_cast<ULONGLONG>(content.files[i].length);
  if (!same) {
    fail(err, "the module reads the new seed otherwise than it was made; nothing is written");
    parsed.reset();
  }
  return parsed;
}

}  // namespace

int run_create(const session_settings& settings, const command_line& line, std::ostream& out, std::ostream& err) {
  const std::string& path = line.arguments[0];
  const create_options& options = line.create;
  std::int64_t piece_length = 0;
  std::string error;
  if (!options.piece_size.empty() && !parse_piece_size(options.piece_size, piece_length, error)) {
    err << "btshell: create: " << error << '\n';
    return exit_usage;
  }
  seed_content content;
  if (!read_content(path, content, error)) return fail(err, error);
  if (!check_output(path, content, options.output, options.force, err)) return exit_failed;
  for (const std::string& s : content.skipped) err << "btshell: left out: " << s << '\n';
  if (piece_length == 0) piece_length = default_piece_size(content.total);

  host_session session(settings);
  if (!open_session(session, err)) return exit_failed;

  std::vector<hash_source> sources;
  sources.reserve(content.files.size());
  for (const content_file& f : content.files) sources.push_back({f.disk_path, f.length, false});
  piece_hasher hasher(std::move(sources), piece_length);
  hash_with_progress(hasher, "hashing", !line.log_config.empty(), err);
  if (std::string why = read_failure(hasher, content); !why.empty()) return fail(err, why + "; nothing is written");
  if (std::string why = changed_file(content); !why.empty()) return fail(err, why + "; nothing is written");

  const std::string info = info_bytes(content, piece_length, hasher.digests(), options.is_private);
  const std::string seed =
      seed_bytes(info, options, std::string("btshell ") + BTSHELL_VERSION, static_cast<std::int64_t>(std::time(nullptr)));
  const seed_info_ptr parsed = parse_back(session.shell(), seed, info, content, err);
  if (!parsed) return exit_failed;
  std::error_code ec;
  if (!options.force && fs::exists(fs::symlink_status(options.output, ec)))
    return fail(err, "the seed " + options.output + " appeared while the files were hashed; nothing is written");
  if (const int e = platform::replace_file_whole(options.output, seed.data(), seed.size()))
    return fail(err, "cannot write the seed " + options.output + ": " + std::strerror(e));

  out << "seed:           " << options.output << '\n';
  print_seed_info(out, *parsed);
  out << "piece size:     " << size_text(static_cast<ULONGLONG>(piece_length)) << " bytes ("
      << size_text(hasher.piece_count()) << (hasher.piece_count() == 1 ? " piece)\n" : " pieces)\n");
  out << "private:        " << (options.is_private ? "yes" : "no") << '\n';
  return exit_ok;
}

}  // namespace btshell
