#include "host/btshell/seed_maker.h"

#include <algorithm>
#include <filesystem>

#include "host/btshell/bencode_value.h"

namespace btshell {

namespace fs = std::filesystem;

namespace {

std::string relative_text(const std::vector<std::string>& components) {
  std::string text;
  for (const std::string& c : components) text += (text.empty() ? "" : "/") + c;
  return text;
}

bool read_folder(const fs::path& root, seed_content& out, std::string& error) {
  std::error_code ec;
  fs::recursive_directory_iterator it(root, fs::directory_options::none, ec);
  for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const fs::path& entry = it->path();
    content_file file;
    for (const fs::path& c : entry.lexically_relative(root)) file.components.push_back(c.string());
    const fs::file_status status = it->symlink_status(ec);
    if (ec) break;
    if (fs::is_symlink(status)) {
      out.skipped.push_back("symbolic link " + relative_text(file.components));
    } else if (fs::is_regular_file(status)) {
      file.length = static_cast<std::int64_t>(it->file_size(ec));
      if (ec) break;
      file.disk_path = entry.string();
      out.files.push_back(std::move(file));
    } else if (!fs::is_directory(status)) {
      out.skipped.push_back("special file " + relative_text(file.components));
    }
  }
  if (ec) {
    error = "cannot read the folder " + (it != fs::recursive_directory_iterator() ? it->path().string() : root.string()) +
            ": " + ec.message();
    return false;
  }
  // The byte order of the paths, '/' between their components.
  std::vector<std::pair<std::string, content_file>> sorted;
  sorted.reserve(out.files.size());
  for (content_file& f : out.files) sorted.emplace_back(relative_text(f.components), std::move(f));
  std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  out.files.clear();
  for (auto& [text, f] : sorted) out.files.push_back(std::move(f));
  std::sort(out.skipped.begin(), out.skipped.end());
  return true;
}

}  // namespace

bool read_content(const std::string& path, seed_content& out, std::string& error) {
  out = seed_content();
  std::error_code ec;
  const fs::path given(path);
  const fs::file_status status = fs::status(given, ec);  // the path given may be a link
  if (ec || !fs::exists(status)) {
    error = path + " does not exist" + (ec && ec != std::errc::no_such_file_or_directory ? ": " + ec.message() : "");
    return false;
  }
  fs::path normal = fs::absolute(given, ec).lexically_normal();
  if (!normal.has_filename()) normal = normal.parent_path();
  out.name = normal.filename().string();
  if (out.name.empty() || out.name == "/") {
    error = path + " has no name to give the seed";
    return false;
  }
  if (fs::is_regular_file(status)) {
    out.single_file = true;
    content_file file;
    file.disk_path = path;
    file.length = static_cast<std::int64_t>(fs::file_size(given, ec));
    if (ec) {
      error = "cannot read " + path + ": " + ec.message();
      return false;
    }
    out.files.push_back(std::move(file));
  } else if (fs::is_directory(status)) {
    if (!read_folder(given, out, error)) return false;
    if (out.files.empty()) {
      error = "the folder " + path + " holds no files";
      return false;
    }
  } else {
    error = path + " is neither a file nor a folder";
    return false;
  }
  for (const content_file& f : out.files) out.total += f.length;
  if (out.total == 0) {
    error = "the files of " + path + " hold no bytes: a seed needs at least one";
    return false;
  }
  return true;
}

std::int64_t default_piece_size(std::int64_t total) {
  std::int64_t size = kMinPieceSize;
  while (size < kDefaultMaxPieceSize && (total + size - 1) / size > kDefaultMaxPieces) size *= 2;
  return size;
}

bool parse_piece_size(const std::string& text, std::int64_t& size, std::string& error) {
  std::string digits = text;
  std::int64_t unit = 1;
  if (!digits.empty() && (digits.back() == 'K' || digits.back() == 'k')) unit = 1024;
  if (!digits.empty() && (digits.back() == 'M' || digits.back() == 'm')) unit = 1024 * 1024;
  if (unit != 1) digits.pop_back();
  const bool number = !digits.empty() && digits.size() <= 12 &&
                      std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
  size = number ? std::stoll(digits) * unit : 0;
  if (!number || size < kMinPieceSize || size > kMaxPieceSize || (size & (size - 1)) != 0) {
    error = "--piece-size takes a power of two from 16K to 256M (bytes, or with K or M), not " + text;
    return false;
  }
  return true;
}

std::string info_bytes(const seed_content& content, std::int64_t piece_length, const std::string& digests,
                       bool is_private) {
  bencode_out info = bencode_out::dict_of();
  if (content.single_file) {
    info.dict["length"] = bencode_out::of(content.files.front().length);
  } else {
    std::vector<bencode_out> files;
    files.reserve(content.files.size());
    for (const content_file& f : content.files) {
      bencode_out entry = bencode_out::dict_of();
      entry.dict["length"] = bencode_out::of(f.length);
      std::vector<bencode_out> path;
      for (const std::string& c : f.components) path.push_back(bencode_out::of(c));
      entry.dict["path"] = bencode_out::list_of(std::move(path));
      files.push_back(std::move(entry));
    }
    info.dict["files"] = bencode_out::list_of(std::move(files));
  }
  info.dict["name"] = bencode_out::of(content.name);
  info.dict["piece length"] = bencode_out::of(piece_length);
  info.dict["pieces"] = bencode_out::of(digests);
  if (is_private) info.dict["private"] = bencode_out::of(std::int64_t(1));
  std::string bytes;
  encode(info, bytes);
  return bytes;
}

std::string seed_bytes(const std::string& info, const create_options& options, const std::string& created_by,
                       std::int64_t creation_date) {
  bencode_out seed = bencode_out::dict_of();
  if (!options.trackers.empty()) {
    seed.dict["announce"] = bencode_out::of(options.trackers.front());
    if (options.trackers.size() > 1) {
      std::vector<bencode_out> tiers;
      for (const std::string& url : options.trackers) tiers.push_back(bencode_out::list_of({bencode_out::of(url)}));
      seed.dict["announce-list"] = bencode_out::list_of(std::move(tiers));
    }
  }
  if (!options.comment.empty()) seed.dict["comment"] = bencode_out::of(options.comment);
  seed.dict["created by"] = bencode_out::of(created_by);
  seed.dict["creation date"] = bencode_out::of(creation_date);
  bencode_out raw;
  raw.type = bencode_out::kind::raw;
  raw.text = info;
  seed.dict["info"] = std::move(raw);
  if (!options.web_seeds.empty()) {
    std::vector<bencode_out> urls;
    for (const std::string& url : options.web_seeds) urls.push_back(bencode_out::of(url));
    seed.dict["url-list"] = bencode_out::list_of(std::move(urls));
  }
  std::string bytes;
  encode(seed, bytes);
  return bytes;
}

}  // namespace btshell
