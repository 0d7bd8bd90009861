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
//   [resume]
//   save_interval = 300         ; seconds between saves of a running task's
//                               ; resume state; 0 = only when it stops or finishes
//
// Flags take 1/0, true/false, yes/no or on/off. A missing file or key keeps
// the default shown (what suits a desktop client); a value that does not
// parse keeps it too, with a WARN line.
#pragma once

#include <libtorrent/settings_pack.hpp>

#include <chrono>
#include <string>

struct kernel_settings {
  lt::settings_pack pack;
  std::chrono::seconds resume_save_interval{300};
};

// The settings in `path`, over the defaults.
kernel_settings read_kernel_settings(const std::string& path);
// bt_kernel.ini in the folder of the module that holds this code.
std::string kernel_settings_path();
