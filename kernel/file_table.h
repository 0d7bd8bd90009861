// What a task knows of each of its torrent's files: wanted or not, named
// "<name>.bt.td" (in progress) or final, being renamed, and whether it was on
// disk under its final name before the task, to be checked before anything
// is written. Keeps the count of wanted files not yet final as they change,
// so that "every wanted file is final" costs nothing per event.
//
// Not thread-safe: its owner (task_core) guards it.
#pragma once

#include <cstddef>
#include <vector>

#include "kernel/torrent_layout.h"

class file_table {
 public:
  file_table(const torrent_layout& layout, std::vector<bool> wanted, std::vector<bool> in_progress,
             std::vector<bool> to_verify);

  std::size_t size() const { return wanted_.size(); }
  bool wanted(std::size_t i) const { return wanted_[i]; }
  bool in_progress(std::size_t i) const { return in_progress_[i]; }
  bool to_verify(std::size_t i) const { return to_verify_[i]; }
  bool any_to_verify() const { return to_verify_left_ > 0; }
  // Wanted, still ".bt.td", and no rename under way.
  bool rename_due(std::size_t i) const { return wanted_[i] && in_progress_[i] && !renaming_[i]; }
  bool renaming(std::size_t i) const { return renaming_[i]; }
  bool all_wanted_final() const { return wanted_not_final_ == 0; }

  void set_wanted(std::vector<bool> wanted);
  void set_renaming(std::size_t i, bool renaming) { renaming_[i] = renaming; }
  // The file is under its final name now.
  void set_final(std::size_t i);
  void clear_to_verify();
  // Files wanted (padding aside), and of those the ones under their final name.
  void counts(std::size_t& wanted, std::size_t& final_named) const;

 private:
  void recount();

  std::vector<bool> pad_;
  std::vector<bool> wanted_;
  std::vector<bool> in_progress_;
  std::vector<bool> renaming_;
  std::vector<bool> to_verify_;
  std::size_t wanted_not_final_ = 0;
  std::size_t to_verify_left_ = 0;
};
