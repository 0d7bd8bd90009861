// How a download's files are named on disk, and which seeds can be
// downloaded at all: the contract between the plugin module (which lists a
// download's files and tells the P2P hub about them) and every kernel module
// (which writes them). Both sides apply one rule, so the shell never lists a
// file that a kernel will not write, nor a kernel write one the shell does
// not list.
//
// Names come from the v1 file list of the seed's "info" dictionary: "length"
// for a single file (named by "name.utf-8" when that key is there, else
// "name"), else "files", each entry named by "path.utf-8" when that key is
// there, else "path". The bytes are taken as stored: no code-page conversion.
// In each component the nine characters : ? \ / * < > | " become 'A'. A file
// lives at the data folder + its path ('/' between the components; the
// torrent's own name is not a folder); while it is incomplete it is named
// path + kBtInProgressSuffix. The resume state is the 40 upper-case
// hexadecimal digits of the info hash (the SHA-1 of "info" in canonical
// bencoding) + kBtStateSuffix, in the seed file's folder.
//
// A seed is refused (the shell: -24; a kernel: a task born failed with
// 10002), with one message saying why, when among other things: it has no
// v1 file list (BitTorrent v2 only); a file has no integer length of 0 or
// more, or no path that is a non-empty list of strings; a component is
// empty, "." or "..", or holds a NUL byte; a file is a symbolic link; two
// files have one path, one file's path is another's + kBtInProgressSuffix,
// or a file's path is a folder of another's; it exceeds a limit below.
// Padding files (attr holding 'p') are named like the others but never
// written, listed nor checked against the other names. docs/hosting.md
// ("Files on disk") lists every refusal.
//
// The functions are implemented in the project's common library (pure:
// callable from any thread); the constants are all a kernel module needs to
// name files as the shell does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// What a download's files and state are called on disk.
inline constexpr char kBtInProgressSuffix[] = ".bt.td";  // a data file until it is complete
inline constexpr char kBtStateSuffix[] = ".bt.cfg";      // the resume state, beside the seed
inline constexpr char kBtDataSuffix[] = ".bt.dat";       // a kernel's lock of a running task, beside the seed

// The limits of a usable seed, the same on both sides.
inline constexpr std::size_t kSeedMaxFiles = 250000;        // entries of the file list
inline constexpr int kSeedMaxItems = 4000000;               // a list element counts one, a dictionary entry two
inline constexpr int kSeedMaxDepth = 512;                   // nesting of lists and dictionaries
inline constexpr std::int64_t kSeedMaxBytes = 2147483647;   // the seed file's size

inline constexpr std::size_t kInfoHashSize = 20;

// The 40 upper-case hexadecimal digits of an info hash, byte order kept.
std::string info_hash_hex(const unsigned char (&hash)[kInfoHashSize]);

// The name of the part file in the data folder that keeps the bytes of
// unwanted files sharing a piece with a wanted one: "." + the 40 lower-case
// hexadecimal digits of the seed's info hash as the kernel on libtorrent
// takes it (the SHA-1 of "info" as stored, not re-encoded; for a seed of
// meta version 2, the first 20 bytes of its SHA-256) + ".parts". `info` is
// the stored bytes of the "info" dictionary. Empty when no digest can be
// made.
std::string part_file_name(std::string_view info, bool meta_version_2);
