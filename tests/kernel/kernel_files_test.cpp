// Where a kernel task puts a torrent's files and its resume state, and how
// bt_kernel.ini is read.
#include <gtest/gtest.h>

#include "kernel/kernel_settings.h"
#include "kernel/torrent_layout.h"
#include "support/temp_dir.h"

namespace {

// (That the state is named after the canonical info hash, which the shell
// computes, is the fault row NamingStateOfNonCanonicalSeed.)
TEST(TorrentLayoutTest, ResumeStateIsBesideTheSeed) {
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
