// What `download --files` takes: the files of a torrent chosen by index, by
// range of indexes, or by a pattern on their path inside the torrent.
//
//   --files 0-3,7          indexes as inspect lists them, and ranges of them
//   --files '*.mkv'        every file whose path matches (fnmatch(3), no flags:
//                          '*', '?' and [...] match any character, '/' included)
//   --files 'disc1/*,0'    and mixes of both
//
// Items are separated by commas; a word of digits is an index, two joined by
// '-' a range, anything else a pattern (a file named "3" is picked by the
// pattern "[3]"; a comma inside a pattern is written "\,"). An item that
// selects no file of the torrent is refused, naming it.
//
// Plain functions of their arguments; any thread.
#pragma once

#include <string>
#include <vector>

#include "platform/types.h"

namespace btshell {

struct file_selection_item {
  enum kind { index, range, pattern } what = index;
  std::string word;       // as the user wrote it
  ULONG first = 0, last = 0;  // index and range
};

// The items of one --files value; false with `error` set when one of them
// can be no item (empty, a range that runs downwards, an index too large);
// the error names the item.
bool parse_file_selection(const std::string& value, std::vector<file_selection_item>& items, std::string& error);

// The indexes, in order and each once, that the values of every --files
// option select among `paths` (each file's path inside the torrent, as
// inspect shows it). False with `error` naming the first item that selects
// nothing or is not understood.
bool select_files(const std::vector<std::string>& values, const std::vector<std::string>& paths,
                  std::vector<ULONG>& indexes, std::string& error);

}  // namespace btshell
