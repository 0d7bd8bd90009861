#include "host/btshell/progress_meter.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <streambuf>

#include "interfaces/bt_task_status.h"

namespace btshell {

namespace {

bool complete(const tagTASK_INFO& info) {
  return info.task_status == bt_task_finished || info.task_status == bt_task_seeding;
}

std::string peers_text(const tagTASK_INFO& info) {
  return "peers " + std::to_string(info.peer_count) + " (" + std::to_string(info.seed_count) +
         (info.seed_count == 1 ? " seed)" : " seeds)");
}

std::string two_digits(unsigned long long n) { return (n < 10 ? "0" : "") + std::to_string(n); }

}  // namespace

std::string byte_size_text(ULONGLONG bytes) {
  static const char* const units[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
  if (bytes < 1024) return std::to_string(bytes) + " B";
  double value = static_cast<double>(bytes) / 1024;
  std::size_t unit = 0;
  while (value >= 1024 && unit + 1 < sizeof units / sizeof *units) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
  return text;
}

std::string rate_text(ULONG bytes_per_second) { return byte_size_text(bytes_per_second) + "/s"; }

std::string eta_text(ULONGLONG remaining_bytes, ULONG bytes_per_second) {
  if (bytes_per_second == 0) return remaining_bytes == 0 ? "0:00" : "--:--";
  const ULONGLONG seconds = (remaining_bytes + bytes_per_second - 1) / bytes_per_second;
  const ULONGLONG hours = seconds / 3600, minutes = seconds / 60 % 60;
  if (hours > 99) return "--:--";
  if (hours > 0) return std::to_string(hours) + ":" + two_digits(minutes) + ":" + two_digits(seconds % 60);
  return std::to_string(minutes) + ":" + two_digits(seconds % 60);
}

std::string status_name(ULONG status) {
  switch (status) {
    case bt_task_idle: return "idle";
    case bt_task_checking: return "checking";
    case bt_task_downloading: return "downloading";
    case bt_task_finished: return "finished";
    case bt_task_seeding: return "seeding";
    case bt_task_stopped: return "stopped";
    case bt_task_failed: return "failed";
    default: return std::to_string(status);
  }
}

std::string percent_text(ULONG progress) {
  progress = std::min(progress, bt_task_progress_scale);
  char text[16];
  std::snprintf(text, sizeof text, "%.1f%%", progress * 100.0 / bt_task_progress_scale);
  return text;
}

std::string progress_line(const tagTASK_INFO& info) {
  std::string name = status_name(info.task_status);
  std::string percent = percent_text(info.progress);
  name.resize(std::max<std::size_t>(name.size(), 11), ' ');
  percent.insert(0, percent.size() < 6 ? 6 - percent.size() : 0, ' ');
  std::string line = name + " " + percent + "  " + byte_size_text(info.done_size) + " of " +
                     byte_size_text(info.total_size);
  if (complete(info))
    line += "  up " + rate_text(info.upload_rate) + "  sent " + byte_size_text(info.uploaded_size);
  else
    line += "  down " + rate_text(info.download_rate) + "  ETA " +
            eta_text(info.total_size - std::min(info.done_size, info.total_size), info.download_rate);
  return line + "  " + peers_text(info);
}

namespace {

// `tail` after a bar of `progress` parts per bt_task_progress_scale that
// fills `width` columns with it.
std::string bar_with(ULONG progress, const std::string& tail, std::size_t width) {
  const std::size_t cells = width > tail.size() + 12 ? width - tail.size() - 2 : 10;
  const std::size_t filled = std::min<std::size_t>(
      cells, static_cast<std::size_t>(std::min(progress, bt_task_progress_scale)) * cells / bt_task_progress_scale);
  return "[" + std::string(filled, '#') + std::string(cells - filled, '.') + "]" + tail;
}

ULONG work_part(const work_progress& work) {
  if (work.total == 0) return bt_task_progress_scale;
  return static_cast<ULONG>(static_cast<double>(std::min(work.done, work.total)) * bt_task_progress_scale / work.total);
}

std::string work_rate_and_eta(const work_progress& work) {
  const ULONG rate = static_cast<ULONG>(std::min<ULONGLONG>(work.bytes_per_second, 0xFFFFFFFFu));
  return rate_text(rate) + "  ETA " + eta_text(work.total - std::min(work.done, work.total), rate);
}

}  // namespace

std::string progress_line(const work_progress& work) {
  std::string name = work.what;
  std::string percent = percent_text(work_part(work));
  name.resize(std::max<std::size_t>(name.size(), 11), ' ');
  percent.insert(0, percent.size() < 6 ? 6 - percent.size() : 0, ' ');
  return name + " " + percent + "  " + byte_size_text(work.done) + " of " + byte_size_text(work.total) + "  " +
         work_rate_and_eta(work);
}

std::string progress_bar(const work_progress& work, std::size_t width) {
  return bar_with(work_part(work), "  " + percent_text(work_part(work)) + "  " + work_rate_and_eta(work) + "  " + work.what,
                  width);
}

progress_display::style stderr_style(bool log_config) {
  return isatty(STDERR_FILENO) && !log_config ? progress_display::style::bar : progress_display::style::lines;
}

std::string progress_bar(const tagTASK_INFO& info, std::size_t width) {
  const std::string rate =
      complete(info) ? "up " + rate_text(info.upload_rate) : rate_text(info.download_rate);
  std::string tail = "  " + percent_text(info.progress) + "  " + rate;
  if (!complete(info))
    tail += "  ETA " + eta_text(info.total_size - std::min(info.done_size, info.total_size), info.download_rate);
  tail += "  peers " + std::to_string(info.peer_count);
  if (info.task_status != bt_task_downloading) tail += "  " + status_name(info.task_status);
  return bar_with(info.progress, tail, width);
}

// Hands each line written to it to the display's note().
class progress_display::note_buffer : public std::streambuf {
 public:
  explicit note_buffer(progress_display& display) : display_(display) {}
  ~note_buffer() override { sync(); }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    if (ch != '\n') {
      line_ += ch;
      return c;
    }
    display_.note(line_);
    line_.clear();
    return c;
  }
  // A line cut short is written as it is at a flush.
  int sync() override {
    if (!line_.empty()) display_.note(line_);
    line_.clear();
    return 0;
  }

 private:
  progress_display& display_;
  std::string line_;
};

progress_display::progress_display(std::ostream& out, style shown, int terminal_fd, std::chrono::seconds interval)
    : out_(out), style_(shown), interval_(interval) {
  if (style_ == style::bar) terminal_ = std::make_unique<terminal_line>(out, terminal_fd);
  note_buffer_ = std::make_unique<note_buffer>(*this);
  text_ = std::make_unique<std::ostream>(note_buffer_.get());
}

progress_display::~progress_display() {
  text_->flush();
  text_.reset();
  note_buffer_.reset();
}

std::ostream& progress_display::text() { return *text_; }

template <class Bar, class Line>
void progress_display::draw(Bar bar_of, Line line_of, const std::string& status, const std::vector<std::string>& below,
                            clock::time_point now) {
  std::lock_guard<std::mutex> lock(lock_);
  if (style_ == style::bar) {
    // One column short of the width: a full line would wrap on some terminals.
    const std::size_t columns = terminal_->current_size().columns;
    std::vector<std::string> lines = {bar_of(columns > 1 ? columns - 1 : columns)};
    lines.insert(lines.end(), below.begin(), below.end());
    terminal_->draw(std::move(lines));
    last_line_text_.clear();
    return;
  }
  if (shown_ && status == last_status_ && now - last_line_ < interval_) return;
  last_line_text_ = line_of();
  out_ << last_line_text_ << std::endl;
  shown_ = true;
  last_status_ = status;
  last_line_ = now;
}

void progress_display::show(const tagTASK_INFO& info, const std::vector<std::string>& below, clock::time_point now) {
  draw([&](std::size_t width) { return progress_bar(info, width); }, [&] { return progress_line(info); },
       std::to_string(info.task_status), below, now);
}

void progress_display::show(const work_progress& work, clock::time_point now) {
  draw([&](std::size_t width) { return progress_bar(work, width); }, [&] { return progress_line(work); }, work.what,
       {}, now);
}

void progress_display::note(const std::string& text) {
  std::lock_guard<std::mutex> lock(lock_);
  if (terminal_)
    terminal_->print(text);
  else
    out_ << text << std::endl;
  last_line_text_.clear();
}

void progress_display::finish(const tagTASK_INFO& info) { finish_with(progress_line(info)); }

void progress_display::finish(const work_progress& work) { finish_with(progress_line(work)); }

void progress_display::finish_with(const std::string& line) {
  std::lock_guard<std::mutex> lock(lock_);
  if (terminal_) terminal_->clear();
  if (line != last_line_text_) {
    if (terminal_)
      terminal_->print(line);
    else
      out_ << line << std::endl;
  }
  last_line_text_ = line;
}

}  // namespace btshell
