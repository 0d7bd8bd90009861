// Number and hexadecimal text, base64, strict number parsing and a few
// system queries. All texts are narrow strings of the ANSI code page.
#pragma once

#include <cstddef>
#include <string>

#include "platform/types.h"

// Decimal text, no leading zeros, a minus sign only for negative values.
std::string to_string(std::uint32_t value);
std::string to_string(std::uint64_t value);
std::string to_string(std::int32_t value);
std::string to_string(std::int64_t value);

// atol-style reading: leading blanks, an optional sign, then digits up to the
// first other character; 0 when there are none. Values beyond the 32-bit
// range are clamped to it. A null text reads as 0.
LONG string_to_long(const char* text);
inline LONG string_to_long(const std::string& text) { return string_to_long(text.c_str()); }

// '0'-'9', 'a'-'f', 'A'-'F'.
bool is_hex_char(char c);
// 0 to 15 for a hexadecimal digit, 0 for any other character.
BYTE hex_char_value(char c);
// Two upper-case digits, high nibble first.
std::string byte_to_hex(BYTE value);

constexpr std::size_t HASH_SIZE = 20;

// The 40 lower-case digits of a 20-byte hash, byte order kept (the
// upper-case form of an info hash: info_hash_hex, interfaces/seed_naming.h).
std::string hash_to_hex_lower(const BYTE* hash);

// Upper-case digits of every byte of the buffer.
std::string hex_encode(const void* data, std::size_t size);
// Decodes exactly 40 hexadecimal digits (either case) into 20 bytes. False,
// with `hash` untouched, for any other length or a character that is no digit.
bool hex_to_hash(const std::string& text, BYTE* hash);

// A copy in which only 'a' to 'z' are changed to 'A' to 'Z'.
std::string to_upper_ascii(const std::string& text);
// A copy in which only 'A' to 'Z' are changed to 'a' to 'z'.
std::string to_lower_ascii(const std::string& text);

// Standard alphabet, "=" filling the last group.
std::string base64_encode(const void* data, std::size_t size);
// Decodes the standard alphabet. The text must be whole groups of four with
// at most two "=" at the end. False, with `out` untouched, for anything else.
bool base64_decode(const std::string& text, std::string& out);

// Strict number parsers: leading blanks, then (signed types only) one
// optional '-', then decimal digits and nothing else. They raise
// std::invalid_argument with "[text] is an empty std::string." or
// "[text] includes non-numberic character.", and std::out_of_range with
// "[text] overflowed." (64-bit types) or " [text] overflowed." (narrower
// types). A message is cut to 128 characters.
std::int64_t parse_int64(const std::string& text);
std::uint64_t parse_uint64(const std::string& text);
std::int32_t parse_int32(const std::string& text);
std::uint32_t parse_uint32(const std::string& text);
std::int16_t parse_int16(const std::string& text);
std::uint16_t parse_uint16(const std::string& text);

// The size class of a 64-bit size: 2 MiB from above 512 MiB (or when the
// high 32 bits are not 0), 1 MiB above 256 MiB, 512 KiB above 128 MiB,
// otherwise the size itself, at most 256 KiB.
DWORD size_class(ULONGLONG size);

// "HOST:PORT" or "[IPV6]:PORT" split into the host (without brackets) and
// the port; false for anything else: an empty host, a colon outside the
// brackets of a bare IPv6 address, a port that is not a decimal number from
// `lowest` to 65535.
bool split_host_port(const std::string& text, std::string& host, std::uint16_t& port, unsigned lowest = 1);

// Dotted text of an IPv4 address held in network byte order.
std::string ipv4_to_string(DWORD address);

// The full file name of the running program; empty when it cannot be found.
std::string get_program_file_name();
