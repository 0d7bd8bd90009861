#include "host/btshell/file_selection.h"

#include <fnmatch.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>

namespace btshell {

namespace {

bool all_digits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool parse_index(const std::string& text, ULONG& value) {
  errno = 0;
  const unsigned long long n = std::strtoull(text.c_str(), nullptr, 10);
  if (errno == ERANGE || n > std::numeric_limits<ULONG>::max()) return false;
  value = static_cast<ULONG>(n);
  return true;
}

// The items of `value` split at commas; a backslash keeps the character
// after it in the item (for fnmatch, which reads the backslash too).
std::vector<std::string> split_items(const std::string& value) {
  std::vector<std::string> items(1);
  for (std::size_t at = 0; at < value.size(); ++at) {
    if (value[at] == ',') {
      items.emplace_back();
    } else if (value[at] == '\\' && at + 1 < value.size()) {
      items.back() += value[at];
      items.back() += value[++at];
    } else {
      items.back() += value[at];
    }
  }
  return items;
}

}  // namespace

bool parse_file_selection(const std::string& value, std::vector<file_selection_item>& items, std::string& error) {
  for (const std::string& word : split_items(value)) {
    file_selection_item item;
    item.word = word;
    const std::size_t dash = word.find('-');
    if (word.empty()) {
      error = "\"" + value + "\": an empty item";
      return false;
    }
    if (all_digits(word)) {
      if (!parse_index(word, item.first)) {
        error = word + ": no torrent has that many files";
        return false;
      }
      item.last = item.first;
    } else if (dash != std::string::npos && all_digits(word.substr(0, dash)) && all_digits(word.substr(dash + 1))) {
      item.what = file_selection_item::range;
      if (!parse_index(word.substr(0, dash), item.first) || !parse_index(word.substr(dash + 1), item.last)) {
        error = word + ": no torrent has that many files";
        return false;
      }
      if (item.last < item.first) {
        error = word + ": a range runs from the lower index to the higher";
        return false;
      }
    } else {
      item.what = file_selection_item::pattern;
    }
    items.push_back(std::move(item));
  }
  return true;
}

bool select_files(const std::vector<std::string>& values, const std::vector<std::string>& paths,
                  std::vector<ULONG>& indexes, std::string& error) {
  std::vector<bool> chosen(paths.size(), false);
  const auto files_text = [&] {
    return paths.empty() ? std::string("the torrent has no file")
                         : "the torrent's files are 0 to " + std::to_string(paths.size() - 1);
  };
  for (const std::string& value : values) {
    std::vector<file_selection_item> items;
    if (!parse_file_selection(value, items, error)) {
      error = "--files " + error;
      return false;
    }
    for (const file_selection_item& item : items) {
      if (item.what == file_selection_item::pattern) {
        bool any = false;
        for (std::size_t i = 0; i < paths.size(); ++i)
          if (fnmatch(item.word.c_str(), paths[i].c_str(), 0) == 0) chosen[i] = any = true;
        if (!any) {
          error = "--files " + item.word + ": the pattern matches no file of the torrent";
          return false;
        }
        continue;
      }
      if (item.last >= paths.size()) {
        error = "--files " + item.word + ": " + files_text();
        return false;
      }
      for (ULONG i = item.first; i <= item.last; ++i) chosen[i] = true;
    }
  }
  indexes.clear();
  for (std::size_t i = 0; i < chosen.size(); ++i)
    if (chosen[i]) indexes.push_back(static_cast<ULONG>(i));
  return true;
}

}  // namespace btshell
