// What btshell shows while a task runs: sizes, rates, times, the line and the
// bar, and when the display writes them.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <sstream>

#include "host/btshell/printers.h"
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
  EXPECT_GE(progress_bar(info, 20).size(), 20u);  // a narrow terminal still gets a bar (cut to its width)

  info.task_status = bt_task_seeding;
  info.progress = bt_task_progress_scale;
  info.done_size = info.total_size;
  info.upload_rate = 5 << 20;
  info.uploaded_size = 20ull << 20;
  info.seed_count = 0;
  EXPECT_EQ(progress_line(info), "seeding     100.0%  64.0 MiB of 64.0 MiB  up 5.0 MiB/s  sent 20.0 MiB  peers 2 (0 seeds)");
  EXPECT_NE(progress_bar(info, 80).find("]  100.0%  up 5.0 MiB/s  peers 2  seeding"), std::string::npos);
}

TEST(BtshellProgress, LinesEveryIntervalAndAtEachChangeOfStatus) {
  using clock = progress_display::clock;
  std::ostringstream lines;
  progress_display plain(lines, progress_display::style::lines, -1, std::chrono::seconds(5));
  const clock::time_point t0 = clock::now();
  tagTASK_INFO info = downloading();
  plain.show(info, {}, t0);
  plain.show(info, {}, t0 + std::chrono::seconds(4));  // too soon
  info.task_status = bt_task_finished;
  plain.show(info, {}, t0 + std::chrono::seconds(4));  // a change of status
  plain.show(info, {}, t0 + std::chrono::seconds(9));  // due again
  plain.note("file complete: a.bin");
  plain.finish(info);
  plain.finish(info);  // that very line again: not repeated
  const std::string l = progress_line(downloading()), f = progress_line(info);
  EXPECT_EQ(lines.str(), l + "\n" + f + "\n" + f + "\nfile complete: a.bin\n" + f + "\n");
}

// A terminal as far as btshell's display uses one: printable text, \r, \n,
// erase to the end of the line, one line up. A line written up to the last
// column counts as wrapped.
class screen {
 public:
  void feed(const std::string& bytes, std::size_t columns) {
    for (std::size_t at = 0; at < bytes.size(); ++at) {
      const char c = bytes[at];
      if (c == '\r') {
        column_ = 0;
      } else if (c == '\n') {
        ++row_;
        column_ = 0;
      } else if (c == '\x1b') {
        const char command = bytes.at(at + 2);
        at += 2;
        if (command == 'A') --row_;
        if (command == 'K') line().resize(std::min(line().size(), column_));
      } else {
        if (line().size() <= column_) line().resize(column_ + 1, ' ');
        line()[column_++] = c;
        wrapped_ = wrapped_ || column_ >= columns;
      }
    }
  }
  std::vector<std::string> lines() const {
    std::vector<std::string> shown = lines_;
    while (!shown.empty() && shown.back().empty()) shown.pop_back();
    return shown;
  }
  bool wrapped() const { return wrapped_; }

 private:
  std::string& line() {
    if (lines_.size() <= row_) lines_.resize(row_ + 1);
    return lines_[row_];
  }
  std::vector<std::string> lines_;
  std::size_t row_ = 0, column_ = 0;
  bool wrapped_ = false;
};

void resize(int terminal, unsigned short columns, unsigned short rows) {
  winsize size{};
  size.ws_col = columns;
  size.ws_row = rows;
  ASSERT_EQ(ioctl(terminal, TIOCSWINSZ, &size), 0);
  raise(SIGWINCH);  // what the terminal sends its foreground process
}

// On a pseudo-terminal: the bar fills its width, notes stand above the bar
// and the peers' lines, and after a resize the bar takes the new width and
// the lines below it are cut, never wrapped, and no more than the height
// leaves room for.
TEST(BtshellProgress, TheBarFollowsTheTerminalAndNotesGoAboveIt) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);
  resize(terminal, 60, 10);

  std::ostringstream out;
  screen seen;
  const std::string peer(70, 'p'), tracker = "  tracker http://127.0.0.1:6969/announce: 1 peer";
  {
    progress_display display(out, progress_display::style::bar, terminal, std::chrono::seconds(5));
    display.show(downloading(), {peer, tracker});
    display.note("kernel: arrived");
    seen.feed(out.str(), 60);
    EXPECT_EQ(seen.lines(), (std::vector<std::string>{"kernel: arrived", progress_bar(downloading(), 59),
                                                       peer.substr(0, 59), tracker}));
    out.str("");

    resize(terminal, 30, 4);  // room for the bar and one line under it
    display.show(downloading(), {peer, tracker});
    display.text() << "btshell: a failure\n";
    seen.feed(out.str(), 30);
    EXPECT_EQ(seen.lines(), (std::vector<std::string>{"kernel: arrived", "btshell: a failure",
                                                       progress_bar(downloading(), 29).substr(0, 29), peer.substr(0, 29)}));
    EXPECT_FALSE(seen.wrapped());
    out.str("");
    tagTASK_INFO done = downloading();
    done.task_status = bt_task_seeding;
    display.finish(done);
    seen.feed(out.str(), 1000);
    EXPECT_EQ(seen.lines(), (std::vector<std::string>{"kernel: arrived", "btshell: a failure", progress_line(done)}));
  }
  close(terminal);
  close(master);
}

TEST(BtshellProgress, SwarmTextsAreMadeSafeForTheTerminal) {
  const std::pair<std::string, std::string> texts[] = {
      {"libtorrent/2.0.8 \xC3\xA9", "libtorrent/2.0.8 \xC3\xA9"},
      {"evil\x1b[2J\x07", "evil?[2J?"},
      {"c1\xC2\x9B" "31m", "c1?31m"},  // CSI as a C1 control
      {"Caf\xE9", "Caf?"},
  };
  for (const auto& [bytes, text] : texts) EXPECT_EQ(terminal_text(bytes), text);
  // Cut by columns, a wide character two of them, never inside a character.
  EXPECT_EQ(text_columns("\xE5\x86\xAC\xE9\x9B\xAA x"), 6u);
  EXPECT_EQ(cut_to_columns("a\xE5\x86\xAC" "b", 2), "a");
  EXPECT_EQ(cut_to_columns("\xC3\xA9t\xC3\xA9", 2), "\xC3\xA9t");
}

}  // namespace
