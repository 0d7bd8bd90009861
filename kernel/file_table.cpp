#include "kernel/file_table.h"

file_table::file_table(const torrent_layout& layout, std::vector<bool> wanted, std::vector<bool> in_progress,
                       std::vector<bool> to_verify)
    : wanted_(std::move(wanted)),
      in_progress_(std::move(in_progress)),
      renaming_(wanted_.size(), false),
      to_verify_(std::move(to_verify)) {
  pad_.reserve(layout.files().size());
  for (const layout_file& file : layout.files()) pad_.push_back(file.pad);
  // A core made from a failed plan has no files.
  pad_.resize(wanted_.size(), false);
  in_progress_.resize(wanted_.size(), false);
  to_verify_.resize(wanted_.size(), false);
  recount();
}

void file_table::set_wanted(std::vector<bool> wanted) {
  wanted_ = std::move(wanted);
  recount();
}

void file_table::set_final(std::size_t i) {
  renaming_[i] = false;
  if (!in_progress_[i]) return;
  in_progress_[i] = false;
  if (wanted_[i] && !pad_[i]) --wanted_not_final_;
}

void file_table::clear_to_verify() {
  to_verify_.assign(to_verify_.size(), false);
  to_verify_left_ = 0;
}

void file_table::counts(std::size_t& wanted, std::size_t& final_named) const {
  wanted = final_named = 0;
  for (std::size_t i = 0; i < wanted_.size(); ++i) {
    if (!wanted_[i] || pad_[i]) continue;
    ++wanted;
    if (!in_progress_[i]) ++final_named;
  }
}

void file_table::recount() {
  wanted_not_final_ = to_verify_left_ = 0;
  for (std::size_t i = 0; i < wanted_.size(); ++i) {
    if (wanted_[i] && !pad_[i] && in_progress_[i]) ++wanted_not_final_;
    if (to_verify_[i]) ++to_verify_left_;
  }
}
