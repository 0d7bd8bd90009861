// Builds .torrent seeds with the project's own bencode values.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "bencode/CQBCDict.h"
#include "bencode/CQBCInt.h"
#include "bencode/CQBCList.h"
#include "bencode/CQBCString.h"
#include "support/temp_dir.h"

namespace bts_test {

class seed_builder {
 public:
  seed_builder() : root_(new CQBCDict), info_(new CQBCDict) {
    root_->set("info", info_);
    info_->set("piece length", new CQBCInt(kPieceLength));
    info_->set("pieces", new CQBCString(std::string(20, 'p')));
  }

  seed_builder& name(const std::string& value) { return info_text("name", value); }
  // A single-file torrent of `length` bytes.
  seed_builder& single(std::int64_t length) {
    info_->set("length", new CQBCInt(length));
    return add_bytes(length);
  }
  // One more file of a multi-file torrent.
  seed_builder& file(const std::vector<std::string>& path, std::int64_t length) {
    if (!files_) info_->set("files", files_ = new CQBCList);
    auto* entry = new CQBCDict;
    entry->set("length", new CQBCInt(length));
    entry->set("path", texts(path));
    files_->push_back(entry);
    return add_bytes(length);
  }
  seed_builder& info_text(const std::string& key, const std::string& value) {
    info_->set(key, new CQBCString(value));
    return *this;
  }
  seed_builder& root_text(const std::string& key, const std::string& value) {
    root_->set(key, new CQBCString(value));
    return *this;
  }
  seed_builder& announce(const std::string& url) { return root_text("announce", url); }
  seed_builder& announce_list(const std::vector<std::vector<std::string>>& tiers) {
    auto* list = new CQBCList;
    for (const auto& tier : tiers) list->push_back(texts(tier));
    root_->set("announce-list", list);
    return *this;
  }

  // The whole seed's encoding (the fuzz targets' seed generator writes it).
  std::string encoding() const { return root_->encode(); }
  // Writes the seed as `relative` under `dir` and gives its full path.
  std::string write(const temp_dir& dir, const std::string& relative) const { return dir.write(relative, encoding()); }

 private:
  static constexpr std::int64_t kPieceLength = 16384;

  // One 20-byte hash per piece of the files so far.
  seed_builder& add_bytes(std::int64_t length) {
    if (length > 0) total_ += length;
    const std::int64_t pieces = (total_ + kPieceLength - 1) / kPieceLength;
    info_->set("pieces", new CQBCString(std::string(static_cast<std::size_t>(pieces) * 20, 'p')));
    return *this;
  }

  static CQBCList* texts(const std::vector<std::string>& items) {
    auto* list = new CQBCList;
    for (const auto& item : items) list->push_back(new CQBCString(item));
    return list;
  }

  std::unique_ptr<CQBCDict> root_;
  CQBCDict* info_;             // owned by root_
  CQBCList* files_ = nullptr;  // owned by info_
  std::int64_t total_ = 0;
};

}  // namespace bts_test
