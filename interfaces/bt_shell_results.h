// The plugin shell's own result codes (IBitTorrent2), besides S_OK and
// S_FALSE: what its seed-file operations, temporary-file listings, hub
// notices and task creations answer.
#pragma once

enum seed_result : int {
  seed_ok = 0,
  seed_text_too_long = -4,   // a text of the seed is longer than its record field
  seed_bad_argument = -11,   // an empty or unusable argument
  seed_unreadable = -13,     // the seed file cannot be read
  seed_bad_order = -17,      // the seed's file entries are out of order
  seed_undecodable = -24,    // the seed is not valid bencode, or not a seed a kernel can use
};
