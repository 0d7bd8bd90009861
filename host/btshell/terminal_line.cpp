#include "host/btshell/terminal_line.h"

#include <sys/ioctl.h>

#include <atomic>
#include <utility>

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

// The code point whose UTF-8 sequence begins at `at` (a stray byte: itself),
// and where the next one begins.
char32_t code_point(const std::string& text, std::size_t& at) {
  const auto lead = static_cast<unsigned char>(text[at++]);
  const int more = lead < 0xC0 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
  char32_t c = more == 0 ? lead : lead & (0x3F >> more);
  for (int i = 0; i < more && at < text.size() && continuation_byte(text[at]); ++i)
    c = c << 6 | (static_cast<unsigned char>(text[at++]) & 0x3F);
  return c;
}

// The East Asian wide and full-width blocks: two columns each. Anything
// else counts one (combining marks too: a line may come out short, never long).
int columns_of(char32_t c) {
  static const std::pair<char32_t, char32_t> wide[] = {
      {0x1100, 0x115F}, {0x2E80, 0x303E}, {0x3041, 0x33FF}, {0x3400, 0x4DBF}, {0x4E00, 0x9FFF},
      {0xA000, 0xA4CF}, {0xAC00, 0xD7A3}, {0xF900, 0xFAFF}, {0xFE30, 0xFE4F}, {0xFF00, 0xFF60},
      {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x3FFFD}};
  for (const auto& [first, last] : wide)
    if (c >= first && c <= last) return 2;
  return 1;
}

}  // namespace

std::size_t text_columns(const std::string& text) {
  std::size_t columns = 0;
  for (std::size_t at = 0; at < text.size();) columns += columns_of(code_point(text, at));
  return columns;
}

std::string cut_to_columns(const std::string& text, std::size_t columns) {
  std::size_t taken = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t begin = at;
    taken += columns_of(code_point(text, at));
    if (taken > columns) return text.substr(0, begin);
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
