#include <gtest/gtest.h>

#include "bt_shell/seed_files.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"
#include "tests/bt_shell/seed_builder.h"

namespace {

using bts_test::seed_builder;
using bts_test::temp_dir;

std::string field(const char* text, ULONG len) { return std::string(text, len); }

struct seed_info_holder {
  SEED_FILE_INFO* info = nullptr;
  ~seed_info_holder() { release_seed_file_info(info); }
};

// (Info hashes, titles, paths and trackers through the module are printed by btshell inspect.)
TEST(SeedFileInfo, PublisherFromInfoFirstThenFromTheRoot) {
  temp_dir dir;
  seed_builder first, second;
  first.name("a").single(5).root_text("publisher", "root").info_text("publisher", "info");
  second.name("a").single(5).root_text("publisher", "root pub").info_text("publisher-url", "http://pub");
  seed_info_holder h, m;
  ASSERT_EQ(parse_seed_file(first.write(dir, "one.torrent"), &h.info), 0);
  EXPECT_EQ(field(h.info->publisher, h.info->publisher_len), "info");
  ASSERT_EQ(parse_seed_file(second.write(dir, "two.torrent"), &m.info), 0);
  EXPECT_EQ(field(m.info->publisher, m.info->publisher_len), "root pub");
  EXPECT_EQ(field(m.info->publisher_url, m.info->publisher_url_len), "http://pub");
}

// Records of several megabytes, which the memory pool maps apart: every one
// filled, whether its file shares the folder of the file before it or not.
TEST(SeedFileInfo, ManyFilesFillEveryRecord) {
  constexpr int kFiles = 4000;
  temp_dir dir;
  seed_builder seed;
  seed.name("many");
  for (int i = 0; i < kFiles; ++i) seed.file({"d" + std::to_string(i % 3 == 0 ? i : i / 100), "f" + std::to_string(i)}, i);
  seed_info_holder h;
  ASSERT_EQ(parse_seed_file(seed.write(dir, "many.torrent"), &h.info), 0);
  ASSERT_EQ(h.info->file_count, static_cast<ULONG>(kFiles));
  for (int i : {0, 1, 2, 99, 100, 101, kFiles - 1}) {
    const SEED_FILE_ITEM& item = h.info->files[i];
    EXPECT_EQ(field(item.path, item.path_len), "d" + std::to_string(i % 3 == 0 ? i : i / 100) + "/") << i;
    EXPECT_EQ(field(item.name, item.name_len), "f" + std::to_string(i)) << i;
    EXPECT_EQ(item.file_size, static_cast<ULONGLONG>(i)) << i;
  }
}

// Each limit accepts a text of exactly its capacity and refuses one byte more.
TEST(SeedFileInfo, CapacityLimits) {
  using B = seed_builder&;
  using T = const std::string&;
  const struct {
    const char* error;
    std::size_t capacity;
    void (*apply)(B, T text);
  } limits[] = {
      {"publisher is too long len: ", 8192, [](B s, T t) { s.name("t").single(1).info_text("publisher", t); }},
      {"publisher url is too long len: ", 1024, [](B s, T t) { s.name("t").single(1).root_text("publisher-url", t); }},
      {"title is too long len: ", 1024, [](B s, T t) { s.name(t).file({"a"}, 1).file({"b"}, 1); }},
      // A folder component of n - 1 bytes plus its separator: a path of n bytes.
      {"file item : 0 path :", 256, [](B s, T t) { s.name("t").file({t.substr(1), "x"}, 1); }},
      {"file item : 0 file name :", 1024, [](B s, T t) { s.name("t").file({"d", t}, 1); }},
      {"tracker item: 0 too long ", 1024, [](B s, T t) { s.name("t").single(1).announce(t); }},
  };
  for (const auto& l : limits) {
    for (std::size_t size : {l.capacity, l.capacity + 1}) {
      temp_dir dir;
      seed_builder seed;
      l.apply(seed, std::string(size, 'x'));
      bts_test::log_capture cap;
      SEED_FILE_INFO* info = reinterpret_cast<SEED_FILE_INFO*>(1);
      const bool over = size > l.capacity;
      EXPECT_EQ(parse_seed_file(seed.write(dir, "limit.torrent"), &info), over ? -4 : 0) << l.error;
      EXPECT_EQ(info == nullptr, over) << l.error;
      EXPECT_EQ(cap.count_containing("CBtShell", log4cplus::ERROR_LOG_LEVEL, l.error), over ? 1 : 0) << l.error;
      release_seed_file_info(info);
    }
  }
}

}  // namespace
