#include "host/btshell/terminal_line.h"

#include <sys/ioctl.h>

#include <atomic>

namespace btshell {

namespace {

// Set by SIGWINCH: the size is to be read again.
std::atomic<bool> g_resized{true};

void on_resize(int) { g_resized.store(true, std::memory_order_relaxed); }

// The lines under the state a terminal keeps for the text printed above it
// (and for the shell's prompt once btshell ends).
constexpr std::size_t kRowsKept = 2;

// Erases the line the cursor is on and goes to its start.
constexpr char kEraseLine[] = "\r\x1b[K";
// Goes one line up.
constexpr char kLineUp[] = "\x1b[A";

bool continuation_byte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

std::size_t text_columns(const std::string& text) {
  std::size_t columns = 0;
  for (char c : text) columns += continuation_byte(c) ? 0 : 1;
  return columns;
}

std::string cut_to_columns(const std::string& text, std::size_t columns) {
  std::size_t taken = 0;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (continuation_byte(text[at])) continue;
    if (taken++ == columns) return text.substr(0, at);
  }
  return text;
}

terminal_line::terminal_line(std::ostream& out, int fd) : out_(out), fd_(fd) {
  struct sigaction action {};
  action.sa_handler = on_resize;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGWINCH, &action, &old_winch_);
  g_resized.store(true);
}

terminal_line::~terminal_line() {
  clear();
  sigaction(SIGWINCH, &old_winch_, nullptr);
}

terminal_line::size terminal_line::size_locked() {
  if (g_resized.exchange(false)) {
    winsize window{};
    if (ioctl(fd_, TIOCGWINSZ, &window) == 0 && window.ws_col > 0) {
      size_.columns = window.ws_col;
      size_.rows = window.ws_row > 0 ? window.ws_row : size_.rows;
    }
  }
  return size_;
}

terminal_line::size terminal_line::current_size() {
  std::lock_guard<std::mutex> lock(lock_);
  return size_locked();
}

void terminal_line::erase_locked() {
  if (drawn_ == 0) return;
  out_ << kEraseLine;
  for (std::size_t i = 1; i < drawn_; ++i) out_ << kLineUp << kEraseLine;
  drawn_ = 0;
}

void terminal_line::draw_locked() {
  const size now = size_locked();
  const std::size_t columns = now.columns > 1 ? now.columns - 1 : 1;
  const std::size_t room = now.rows > kRowsKept ? now.rows - kRowsKept : 1;
  const std::size_t count = std::min(lines_.size(), room);
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) out_ << '\n';
    out_ << cut_to_columns(lines_[i], columns);
  }
  drawn_ = count;
  out_ << std::flush;
}

void terminal_line::draw(std::vector<std::string> lines) {
  std::lock_guard<std::mutex> lock(lock_);
  erase_locked();
  lines_ = std::move(lines);
  draw_locked();
}

void terminal_line::print(const std::string& text) {
  std::lock_guard<std::mutex> lock(lock_);
  const bool shown = drawn_ > 0;
  erase_locked();
  out_ << text << '\n';
  if (shown) draw_locked();
  out_ << std::flush;
}

void terminal_line::clear() {
  std::lock_guard<std::mutex> lock(lock_);
  erase_locked();
  lines_.clear();
  out_ << std::flush;
}

}  // namespace btshell
