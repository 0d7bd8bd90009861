// Where a kernel task puts a torrent's files and its resume state, and how
// bt_kernel.ini is read.
#include <gtest/gtest.h>

#include <libtorrent/bencode.hpp>
#include <libtorrent/entry.hpp>
#include <libtorrent/hasher.hpp>

#include <iterator>

#include "kernel/kernel_settings.h"
#include "kernel/torrent_layout.h"
#include "support/temp_dir.h"

namespace {

using strings = std::vector<std::string>;

lt::entry path_of(strings components) {
  lt::entry::list_type list;
  for (const std::string& c : components) list.emplace_back(c);
  return list;
}

lt::entry file_entry(std::int64_t length, strings path, const char* path_key = "path") {
  lt::entry file;
  file["length"] = length;
  file[path_key] = path_of(std::move(path));
  return file;
}

lt::entry files_info(lt::entry::list_type files) {
  lt::entry info;
  info["name"] = "root";
  info["files"] = std::move(files);
  return info;
}

std::string encoded(const lt::entry& e) {
  std::string out;
  lt::bencode(std::back_inserter(out), e);
  return out;
}

// The layout's paths, or "error: ..." when it is refused.
strings paths_of(const std::string& info) {
  torrent_layout layout;
  std::string why;
  if (!torrent_layout::read(info, layout, why)) return {"error: " + why};
  strings out;
  for (const layout_file& f : layout.files()) out.push_back(f.path + (f.pad ? " (pad)" : ""));
  return out;
}

TEST(TorrentLayoutTest, NamesFollowTheShellsTemporaryFileRules) {
  lt::entry single;
  single["name"] = "a:b.txt";
  single["name.utf-8"] = "\xC3\xA9t\xC3\xA9.txt";
  single["length"] = 5;
  lt::entry utf8 = files_info({file_entry(3, {"plain"})});
  utf8["files"].list()[0]["path.utf-8"] = path_of({"d\xC3\xA9j\xC3\xA0", "x"});
  lt::entry pad = file_entry(7, {".pad", "7"});
  pad["attr"] = "p";
  const struct {
    const char* what;
    std::string info;
    strings paths;
  } rows[] = {
      {"single file: the name, UTF-8 preferred", encoded(single), {"\xC3\xA9t\xC3\xA9.txt"}},
      {"folders inside the torrent, not its name",
       encoded(files_info({file_entry(3, {"x", "y.txt"}), file_entry(4, {"z.txt"})})), {"x/y.txt", "z.txt"}},
      {"unsafe characters become A",
       encoded(files_info({file_entry(1, {"a:b", "c?d*e<f>g|h\"i\\j/k"})})), {"aAb/cAdAeAfAgAhAiAjAk"}},
      {"path.utf-8 preferred", encoded(utf8), {"d\xC3\xA9j\xC3\xA0/x"}},
      {"padding is marked", encoded(files_info({file_entry(9, {"a"}), pad, file_entry(1, {"b"})})),
       {"a", ".pad/7 (pad)", "b"}},
      {"parent folder refused", encoded(files_info({file_entry(1, {"..", "x"})})),
       {"error: a file path has an empty, \".\", \"..\" or non-text component"}},
      {"NUL refused", encoded(files_info({file_entry(1, {std::string("a\0b", 3)})})),
       {"error: a file path has an empty, \".\", \"..\" or non-text component"}},
      {"two files, one path", encoded(files_info({file_entry(1, {"a:"}), file_entry(2, {"aA"})})),
       {"error: two files have the path aA"}},
      {"no v1 file list", encoded(lt::entry(lt::entry::dictionary_t)), {"error: the torrent has no v1 file list"}},
      {"negative length", encoded(files_info({file_entry(-1, {"a"})})), {"error: a file has a negative length"}},
  };
  for (const auto& row : rows) EXPECT_EQ(paths_of(row.info), row.paths) << row.what;
}

TEST(TorrentLayoutTest, ResumeStateIsNamedAfterTheCanonicalInfoHash) {
  // Keys out of order in the file: the name comes from the sorted encoding,
  // as the plugin module computes it.
  const std::string canonical = "d6:lengthi5e4:name5:a.txte";
  const std::string unsorted = "d4:name5:a.txt6:lengthi5ee";
  torrent_layout layout;
  std::string why;
  ASSERT_TRUE(torrent_layout::read(unsorted, layout, why)) << why;
  std::string expected;
  for (const char byte : lt::hasher(canonical).final()) {
    static const char digits[] = "0123456789ABCDEF";
    expected += digits[static_cast<unsigned char>(byte) >> 4];
    expected += digits[byte & 15];
  }
  EXPECT_EQ(layout.hash_hex(), expected);
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
