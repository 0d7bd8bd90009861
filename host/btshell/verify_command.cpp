// btshell verify: the data in a folder checked against a seed's piece
// hashes, with no network and no kernel. The seed is read by the module's
// ParseSeedFile as inspect reads it; its files are placed by the naming rule
// (common/seed_naming.h) where download writes them; the pieces are hashed
// on every core (piece_hasher.h).
#include <sys/stat.h>

#include <cstring>

#include "host/btshell/bencode_value.h"
#include "host/btshell/commands.h"
#include "host/btshell/hash_progress.h"
#include "host/btshell/json_printers.h"
#include "host/btshell/printers.h"
#include "interfaces/string_types.h"
#include "platform/posix_fd.h"

namespace btshell {

namespace {

enum class file_state { complete, incomplete, missing, wrong_size };

const char* state_key(file_state s) {
  switch (s) {
    case file_state::complete: return "complete";
    case file_state::incomplete: return "incomplete";
    case file_state::missing: return "missing";
    case file_state::wrong_size: return "wrong_size";
  }
  return "";
}

struct file_check {
  std::size_t index = 0;
  std::string path;  // inside the torrent
  std::int64_t size = 0;
  std::int64_t on_disk = -1;  // -1: missing
  bool in_progress = false;   // found under its unfinished name only
  std::int64_t verified = 0;  // bytes in verified pieces
  file_state state = file_state::missing;
};

struct verify_report {
  std::string seed, info_hash, data_folder;
  std::int64_t piece_length = 0;
  std::size_t pieces = 0, verified_pieces = 0;
  std::vector<file_check> files;  // padding files left out
  bool complete() const {
    for (const file_check& f : files)
      if (f.state != file_state::complete) return false;
    return true;
  }
};

// The seed's "info" dictionary decoded; the seed was accepted by the
// module already, so a failure here is the file changing between the reads.
struct seed_pieces {
  std::string bytes;
  bencode_in root;
  bencode_node info;
  seed_layout layout;
  std::int64_t piece_length = 0;
  std::string_view hashes;
};

bool read_pieces(const std::string& seed, seed_pieces& out, std::string& error) {
  if (platform::read_file_whole(seed, out.bytes) != 0 || !decode(out.bytes, out.root)) {
    error = "the seed " + seed + " cannot be read again";
    return false;
  }
  bencode_node length, hashes;
  if (bencode_node(&out.root).lookup("info", out.info) != seed_lookup::found ||
      !read_seed_layout(out.info, out.layout, error) || out.info.lookup("piece length", length) != seed_lookup::found ||
      out.info.lookup("pieces", hashes) != seed_lookup::found) {
    error = "the seed " + seed + " has no v1 pieces to check" + (error.empty() ? "" : ": " + error);
    return false;
  }
  out.piece_length = length.integer();
  out.hashes = hashes.text();
  return true;
}

// Where file `f` is on disk, and what the hasher reads of it.
file_check locate(const seed_file& f, std::size_t index, const std::string& folder, hash_source& source) {
  file_check check;
  check.index = index;
  check.path = f.path;
  check.size = f.length;
  source.length = f.length;
  // The finished name, else the unfinished one.
  for (const bool unfinished : {false, true}) {
    const std::string name = folder + f.path + (unfinished ? kBtInProgressSuffix : "");
    struct stat st {};
    if (::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      check.on_disk = st.st_size;
      check.in_progress = unfinished;
      source.path = name;
      break;
    }
  }
  return check;
}

void settle(const piece_hasher& hasher, const seed_pieces& seed, verify_report& report) {
  std::vector<bool> good(hasher.piece_count());
  for (std::size_t p = 0; p < good.size(); ++p) {
    good[p] = hasher.readable(p) &&
              std::memcmp(hasher.digests().data() + p * kSha1Size, seed.hashes.data() + p * kSha1Size, kSha1Size) == 0;
    report.verified_pieces += good[p];
  }
  const std::int64_t length = seed.piece_length;
  for (file_check& f : report.files) {
    const seed_file& file = seed.layout.files[f.index];
    for (std::int64_t p = file.offset / length; f.size > 0 && p <= (file.offset + f.size - 1) / length; ++p)
      if (good[static_cast<std::size_t>(p)])
        f.verified += std::min(file.offset + f.size, (p + 1) * length) - std::max(file.offset, p * length);
    if (f.on_disk < 0)
      f.state = file_state::missing;
    else if (f.on_disk > f.size)
      f.state = file_state::wrong_size;
    else
      f.state = !f.in_progress && f.on_disk == f.size && f.verified == f.size ? file_state::complete
                                                                               : file_state::incomplete;
  }
}

void print_report(std::ostream& out, const verify_report& r) {
  std::size_t complete = 0;
  for (const file_check& f : r.files) complete += f.state == file_state::complete;
  out << "seed:           " << r.seed << '\n';
  out << "info hash:      " << r.info_hash << '\n';
  out << "data folder:    " << r.data_folder << '\n';
  out << "pieces:         " << size_text(r.verified_pieces) << " of " << size_text(r.pieces) << " verified ("
      << size_text(static_cast<ULONGLONG>(r.piece_length)) << " bytes each)\n";
  out << "result:         "
      << (r.complete() ? "complete: every file is there and matches the seed's piece hashes"
                       : "not complete: " + std::to_string(complete) + " of " + std::to_string(r.files.size()) +
                             " files complete")
      << '\n';
  out << "files:\n";
  for (const file_check& f : r.files) {
    std::string state = f.state == file_state::wrong_size ? "wrong size" : state_key(f.state);
    std::string size = size_text(static_cast<ULONGLONG>(f.size));
    state.resize(std::max<std::size_t>(state.size(), 11), ' ');
    size.insert(0, size.size() < 15 ? 15 - size.size() : 0, ' ');
    out << "  " << state << size << "  " << f.path;
    if (f.state == file_state::incomplete)
      out << "  (" << size_text(static_cast<ULONGLONG>(f.verified)) << " bytes verified"
          << (f.in_progress ? ", named " + f.path + kBtInProgressSuffix : std::string()) << ")";
    if (f.state == file_state::wrong_size) out << "  (" << size_text(static_cast<ULONGLONG>(f.on_disk)) << " on disk)";
    out << '\n';
  }
}

nlohmann::ordered_json report_json(const verify_report& r) {
  nlohmann::ordered_json files = nlohmann::ordered_json::array();
  for (const file_check& f : r.files)
    files.push_back({{"index", f.index},
                     {"path", json_text(f.path)},
                     {"size", f.size},
                     {"size_on_disk", f.on_disk < 0 ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(f.on_disk)},
                     {"in_progress", f.in_progress},
                     {"verified_bytes", f.verified},
                     {"state", state_key(f.state)}});
  return {{"seed", json_text(r.seed)},
          {"info_hash", r.info_hash},
          {"data_folder", json_text(r.data_folder)},
          {"piece_length", r.piece_length},
          {"pieces", r.pieces},
          {"verified_pieces", r.verified_pieces},
          {"complete", r.complete()},
          {"files", files}};
}

}  // namespace

int run_verify(const session_settings& settings, const command_line& line, std::ostream& out, std::ostream& err) {
  verify_report report;
  report.seed = line.arguments[0];
  report.data_folder = folder_argument(line.arguments[1]);
  host_session session(settings);
  if (!open_session(session, err)) return exit_failed;
  IBitTorrent2* shell = session.shell();
  SEED_FILE_INFO* raw = nullptr;
  const HRESULT parsed = shell->ParseSeedFile(to_tag_string(report.seed), &raw);
  const seed_info_ptr info(raw, seed_info_release{shell});
  if (parsed != S_OK || !info) return report_failure(err, "ParseSeedFile", report.seed, parsed);
  report.info_hash = info_hash_hex(info->info_hash);

  seed_pieces seed;
  std::string error;
  if (!read_pieces(report.seed, seed, error)) {
    err << "btshell: " << error << '\n';
    return exit_failed;
  }
  std::vector<hash_source> sources;
  for (std::size_t i = 0; i < seed.layout.files.size(); ++i) {
    const seed_file& f = seed.layout.files[i];
    hash_source source;
    if (f.pad) {
      sources.push_back({std::string(), f.length, true});
      continue;
    }
    report.files.push_back(locate(f, i, report.data_folder, source));
    sources.push_back(std::move(source));
  }
  piece_hasher hasher(std::move(sources), seed.piece_length);
  report.piece_length = seed.piece_length;
  report.pieces = hasher.piece_count();
  hash_with_progress(hasher, "verifying", !line.log_config.empty(), err);
  settle(hasher, seed, report);
  if (line.json)
    out << report_json(report).dump(2) << '\n';
  else
    print_report(out, report);
  return report.complete() ? exit_ok : exit_failed;
}

}  // namespace btshell
