// Where a kernel task puts a torrent's files and its resume state, and how
// bt_kernel.ini is read.
#include <gtest/gtest.h>

#include <libtorrent/hasher.hpp>

#include <algorithm>

#include "kernel/kernel_settings.h"
#include "kernel/torrent_layout.h"
#include "support/temp_dir.h"

namespace {

TEST(TorrentLayoutTest, ResumeStateIsNamedAfterTheCanonicalInfoHash) {
  // Keys out of order in the file: the name comes from the sorted encoding,
  // as the plugin module computes it.
  const std::string tail = "12:piece lengthi16384e6:pieces20:" + std::string(20, 'p');
  const std::string canonical = "d6:lengthi5e4:name5:a.txt" + tail + "e";
  const std::string unsorted = "d4:name5:a.txt" + tail + "6:lengthi5ee";
  loaded_seed seed;
  std::string why;
  const std::string file = "d4:info" + unsorted + "e";
  ASSERT_TRUE(load_seed_bytes(file, seed, why)) << why;
  const lt::sha1_hash digest = lt::hasher(canonical).final();
  unsigned char bytes[kInfoHashSize];
  std::copy(digest.begin(), digest.end(), bytes);
  EXPECT_EQ(seed.layout.hash_hex(), info_hash_hex(bytes));
  // Beside the seed (the interop tests find it there through the shell).
  EXPECT_EQ(resume_state_path("C:\\seeds\\x.torrent", "AB"), "C:\\seeds\\AB.bt.cfg");
  EXPECT_EQ(resume_state_path("x.torrent", "AB"), "./AB.bt.cfg");
}

TEST(KernelSettingsTest, IniOverridesDefaultsAndKeepsThemForWhatDoesNotParse) {
  bts_test::temp_dir dir;
  const kernel_settings defaults = read_kernel_settings(dir.file("missing.ini"));
  EXPECT_EQ(defaults.pack.get_str(lt::settings_pack::listen_interfaces), "0.0.0.0:6881,[::]:6881");
  EXPECT_EQ(defaults.saves.interval.count(), 5);

  const kernel_settings read = read_kernel_settings(dir.write("bt_kernel.ini",
                                                             "[Session]\n"
                                                             "listen_interfaces = 127.0.0.1:0\n"
                                                             "outgoing_interfaces = 127.0.0.2\n"
                                                             "DHT = off\n"
                                                             "upnp = maybe\n"
                                                             "utp = no\n"
                                                             "download_rate_limit = 65536 ; 64 KiB/s\n"
                                                             "connections_limit = -5\n"
                                                             "[resume]\n"
                                                             "save_interval = 0\n"));
  EXPECT_EQ(read.pack.get_str(lt::settings_pack::listen_interfaces), "127.0.0.1:0");
  EXPECT_EQ(read.pack.get_str(lt::settings_pack::outgoing_interfaces), "127.0.0.2");
  EXPECT_FALSE(read.pack.get_bool(lt::settings_pack::enable_dht));
  EXPECT_TRUE(read.pack.get_bool(lt::settings_pack::enable_upnp));  // "maybe" is not understood
  EXPECT_FALSE(read.pack.get_bool(lt::settings_pack::enable_outgoing_utp));
  EXPECT_FALSE(read.pack.get_bool(lt::settings_pack::enable_incoming_utp));
  EXPECT_EQ(read.pack.get_int(lt::settings_pack::download_rate_limit), 65536);
  EXPECT_EQ(read.pack.get_int(lt::settings_pack::connections_limit), 200);  // negative: default kept
  EXPECT_EQ(read.saves.interval.count(), 0);
}

}  // namespace
