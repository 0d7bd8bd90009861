// The session settings of a kernel object, read from bt_kernel.ini beside
// the module:
//
//   [session]
//   listen_interfaces = 0.0.0.0:6881,[::]:6881  ; address:port list; port 0 picks a free one
//   outgoing_interfaces =       ; addresses (or interface names) that peer
//                               ; connections are made from; empty: any
//   dht = 1                     ; distributed hash table
//   local_peer_discovery = 1    ; multicast announces on the local network
//   upnp = 1                    ; port mapping on the router
//   natpmp = 1
//   utp = 1                     ; peer connections over uTP besides TCP
//   download_rate_limit = 0     ; bytes per second for the whole session, 0 = none
//   upload_rate_limit = 0
//   connections_limit = 200     ; peer connections of the whole session
//   multiple_connections_per_ip = 1  ; peers that share an address (loopback,
//                               ; one NAT) but not a port may all connect
//   rate_limit_local_network = 1  ; the rate limits apply to peers on the
//                               ; local network too; 0 exempts them
//   [resume]
//   save_interval = 5           ; while pieces complete, a running task saves
//                               ; its state at least this often (seconds)...
//   save_after_mib = 16         ; ...and sooner once this much more is verified;
//                               ; save_interval = 0: only when it is checked,
//                               ; finishes or stops
//
// Flags take 1/0, true/false, yes/no or on/off; numbers are decimal, 0 to
// 2147483647; listen_interfaces is a comma-separated list of ADDRESS:PORT
// (IPv6 in brackets; an interface name for the address; "s" or "l" after
// the port as libtorrent reads them), outgoing_interfaces one of addresses
// or interface names. A missing file or key keeps the default shown (what
// suits a desktop client); a value that does not parse keeps it too, with a
// WARN line.
//
// The same keys, as "section.key" with the text the file would hold, are
// what a host sets at run time (IBtKernelSettings, kernel_settings_service.h):
// this file is the one table of them and the one parser of their values.
//
// Free functions over plain values: callable from any thread.
#pragma once

#include <libtorrent/settings_pack.hpp>

#include <chrono>
#include <cstdint>
#include <string>

// When a running task saves its state as pieces complete: once `interval`
// has passed since the last save, or sooner once `bytes` more are verified;
// never more often than once a second (or ten times the last save's own
// time). An interval of 0: only when it is checked, finishes or stops.
struct save_policy {
  std::chrono::seconds interval{5};
  std::int64_t bytes = std::int64_t{16} << 20;
};

struct kernel_settings {
  lt::settings_pack pack;
  save_policy saves;
  bool rate_limit_local_network = true;
};

// The settings in `path`, over the defaults.
kernel_settings read_kernel_settings(const std::string& path);

// Sets the key `name` ("section.key") of `settings` from `value`, the text
// the file would hold. False, with `why` said in words and `settings` left
// as it was, for a key the file does not have or a value that does not parse.
// Only what the key stands for is written into `settings.pack`, so a pack
// that was empty holds exactly the change afterwards.
bool set_kernel_setting(kernel_settings& settings, const std::string& name, const std::string& value,
                        std::string& why);
// The value of `name` in `settings` as the file would hold it; false for a
// key the file does not have. A key missing from `settings.pack` reads as
// libtorrent's default.
bool get_kernel_setting(const kernel_settings& settings, const std::string& name, std::string& value);
// A decimal number from 0 to INT_MAX, the form of every number of the file.
bool parse_setting_number(const std::string& text, int& out);
// bt_kernel.ini in the folder of the module that holds this code.
std::string kernel_settings_path();
