// What btshell shows while a task runs: sizes, rates, times, the line and the
// bar, and when the display writes them.
#include <gtest/gtest.h>

#include <sstream>

#include "host/btshell/progress_meter.h"
#include "interfaces/bt_task_status.h"

namespace {

using namespace btshell;

tagTASK_INFO downloading() {
  tagTASK_INFO info{};
  info.task_status = bt_task_downloading;
  info.progress = 4520;
  info.total_size = 64ull << 20;
  info.done_size = info.total_size * 4520 / 10000;
  info.download_rate = 12 << 20;
  info.peer_count = 2;
  info.seed_count = 1;
  return info;
}

TEST(BtshellProgress, SizesRatesTimesAndPercentages) {
  const std::pair<ULONGLONG, const char*> sizes[] = {
      {1023, "1023 B"}, {1536, "1.5 KiB"}, {~0ull, "16.0 EiB"}};
  for (const auto& [bytes, text] : sizes) EXPECT_EQ(byte_size_text(bytes), text);
  EXPECT_EQ(rate_text(0), "0 B/s");
  const std::tuple<ULONGLONG, ULONG, const char*> times[] = {
      {0, 0, "0:00"}, {1, 0, "--:--"}, {754, 1, "12:34"}, {3723, 1, "1:02:03"},
      {1001, 1000, "0:02"},  // rounded up
      {~0ull, 1, "--:--"}};
  for (const auto& [remaining, rate, text] : times) EXPECT_EQ(eta_text(remaining, rate), text);
  EXPECT_EQ(percent_text(0), "0.0%");
  EXPECT_EQ(percent_text(4520), "45.2%");
  EXPECT_EQ(percent_text(20000), "100.0%");  // never past the whole
  EXPECT_EQ(status_name(bt_task_seeding), "seeding");
  EXPECT_EQ(status_name(99), "99");
}

TEST(BtshellProgress, LineAndBarSayWhatIsLeftOrWhatIsSent) {
  tagTASK_INFO info = downloading();
  EXPECT_EQ(progress_line(info),
            "downloading  45.2%  28.9 MiB of 64.0 MiB  down 12.0 MiB/s  ETA 0:03  peers 2 (1 seed)");
  const std::string bar = progress_bar(info, 79);
  EXPECT_EQ(bar.size(), 79u);
  const std::string tail = "]  45.2%  12.0 MiB/s  ETA 0:03  peers 2";
  EXPECT_EQ(bar.substr(bar.size() - tail.size()), tail);
  const std::size_t cells = bar.find(']') - 1;
  EXPECT_EQ(bar.substr(1, cells * 452 / 1000), std::string(cells * 452 / 1000, '#'));
  EXPECT_EQ(bar[cells * 452 / 1000 + 1], '.');
  EXPECT_GE(progress_bar(info, 20).size(), 20u);  // a narrow terminal still gets a bar

  info.task_status = bt_task_seeding;
  info.progress = bt_task_progress_scale;
  info.done_size = info.total_size;
  info.upload_rate = 5 << 20;
  info.uploaded_size = 20ull << 20;
  info.seed_count = 0;
  EXPECT_EQ(progress_line(info), "seeding     100.0%  64.0 MiB of 64.0 MiB  up 5.0 MiB/s  sent 20.0 MiB  peers 2 (0 seeds)");
  EXPECT_NE(progress_bar(info, 80).find("]  100.0%  up 5.0 MiB/s  peers 2  seeding"), std::string::npos);
}

TEST(BtshellProgress, LinesEveryIntervalAndAtEachChangeOfStatusTheBarInPlace) {
  using clock = progress_display::clock;
  std::ostringstream lines;
  progress_display plain(lines, progress_display::style::lines, 80, std::chrono::seconds(5));
  const clock::time_point t0 = clock::now();
  tagTASK_INFO info = downloading();
  plain.show(info, t0);
  plain.show(info, t0 + std::chrono::seconds(4));  // too soon
  info.task_status = bt_task_finished;
  plain.show(info, t0 + std::chrono::seconds(4));  // a change of status
  plain.show(info, t0 + std::chrono::seconds(9));  // due again
  plain.note("file complete: a.bin");
  plain.finish(info);
  plain.finish(info);  // that very line again: not repeated
  const std::string l = progress_line(downloading()), f = progress_line(info);
  EXPECT_EQ(lines.str(), l + "\n" + f + "\n" + f + "\nfile complete: a.bin\n" + f + "\n");

  std::ostringstream terminal;
  progress_display bar(terminal, progress_display::style::bar, 60, std::chrono::seconds(5));
  bar.show(downloading(), t0);
  bar.note("kernel: arrived");
  bar.finish(info);
  const std::string drawn = progress_bar(downloading(), 59);
  EXPECT_EQ(terminal.str(), "\r" + drawn + "\r" + std::string(drawn.size(), ' ') + "\rkernel: arrived\n" + f + "\n");
}

}  // namespace
