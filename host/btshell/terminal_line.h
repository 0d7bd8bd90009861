// The bottom of a terminal while btshell shows a task's state there (the
// progress bar, the peers), and the one way every other text reaches that
// terminal meanwhile: print() clears the state, writes the text, and draws
// the state again below it, so that log lines, notes and failures stand
// above the bar and never run into it.
//
// The state's lines are cut to one column short of the terminal's width,
// so that none wraps, and there are no more of them than its height leaves
// room for. The size is read with TIOCGWINSZ when the object is made and
// again after each SIGWINCH, whose handler it holds while it lives.
//
// Every operation may be called on any thread (log lines come from the
// kernel's threads); they are serialised. One object at a time.
#pragma once

#include <cstddef>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include <signal.h>

namespace btshell {

// The columns `text` (UTF-8) takes on a terminal: two for an East Asian
// wide character, one for any other code point.
std::size_t text_columns(const std::string& text);
// `text` cut to at most `columns` columns, never inside a UTF-8 sequence.
std::string cut_to_columns(const std::string& text, std::size_t columns);

class terminal_line {
 public:
  struct size {
    std::size_t columns = 80;
    std::size_t rows = 24;
  };

  // `out` writes to the terminal `fd`; the size of `fd` is what is read.
  terminal_line(std::ostream& out, int fd);
  // Clears the state; SIGWINCH's earlier handler comes back.
  ~terminal_line();
  terminal_line(const terminal_line&) = delete;
  terminal_line& operator=(const terminal_line&) = delete;

  // The terminal's size now (after a resize, the new one).
  size current_size();
  // Replaces the state shown by `lines` (the first one the bar).
  void draw(std::vector<std::string> lines);
  // `text` (one or more lines, without the last newline) above the state.
  void print(const std::string& text);
  // Takes the state off the screen; print() writes plain lines from then on
  // until the next draw().
  void clear();

 private:
  size size_locked();
  void erase_locked();
  void draw_locked();

  std::mutex lock_;  // guards everything below and the writes to out_
  std::ostream& out_;
  const int fd_;
  size size_;
  std::vector<std::string> lines_;  // the state
  std::size_t drawn_ = 0;           // lines of it on the screen now
  struct sigaction old_winch_ {};
};

}  // namespace btshell
