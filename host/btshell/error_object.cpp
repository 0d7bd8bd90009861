#include "host/btshell/error_object.h"

#include <mutex>
#include <streambuf>

#include "host/btshell/json_printers.h"

namespace btshell {

namespace {

// What the failure lines of btshell itself begin with.
constexpr char kFailurePrefix[] = "btshell: ";

// Passes everything on to `target`, counting it.
class counting_buffer : public std::streambuf {
 public:
  explicit counting_buffer(std::streambuf* target) : target_(target) {}
  std::size_t written() const { return written_; }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    ++written_;
    return target_->sputc(traits_type::to_char_type(c));
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    written_ += static_cast<std::size_t>(n);
    return target_->sputn(s, n);
  }
  int sync() override { return target_->pubsync(); }

 private:
  std::streambuf* target_;
  std::size_t written_ = 0;
};

// Passes everything on to `target`, keeping the last line that holds a
// failure ("btshell: ...", wherever a progress display's redrawing put it).
class failure_buffer : public std::streambuf {
 public:
  explicit failure_buffer(std::streambuf* target) : target_(target) {}
  std::string last_failure() {
    std::lock_guard<std::mutex> lock(lock_);
    take(line_);
    return failure_;
  }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    std::lock_guard<std::mutex> lock(lock_);
    for (std::streamsize i = 0; i < n; ++i) {
      if (s[i] != '\n') {
        line_ += s[i];
        continue;
      }
      take(line_);
      line_.clear();
    }
    return target_->sputn(s, n);
  }
  int sync() override { return target_->pubsync(); }

 private:
  // The console's log lines begin with the prefix too, then their level.
  void take(const std::string& line) {
    const std::size_t at = line.find(kFailurePrefix);
    if (at == std::string::npos) return;
    std::string text = line.substr(at + sizeof kFailurePrefix - 1);
    for (const char* level : {"TRACE ", "DEBUG ", "INFO ", "WARN ", "ERROR ", "FATAL "})
      if (text.compare(0, std::char_traits<char>::length(level), level) == 0) return;
    failure_ = std::move(text);
  }

  std::streambuf* target_;
  std::mutex lock_;  // guards the lines
  std::string line_, failure_;
};

// The capture in force, and the code told for its last failure.
std::mutex g_lock;
error_capture* g_current = nullptr;
std::string g_coded_message;
std::optional<HRESULT> g_code;

}  // namespace

struct error_capture::streams {
  streams(std::ostream& out, std::ostream& err)
      : out_buffer(out.rdbuf()), err_buffer(err.rdbuf()), out_stream(&out_buffer), err_stream(&err_buffer) {
    out_stream.flags(out.flags());  // std::unitbuf among them
    err_stream.flags(err.flags());
  }
  counting_buffer out_buffer;
  failure_buffer err_buffer;
  std::ostream out_stream, err_stream;
};

void print_error_object(std::ostream& out, const std::string& message, std::optional<HRESULT> code) {
  out << error_json(message, code).dump(2) << '\n';
}

error_capture::error_capture(std::ostream& out, std::ostream& err) : streams_(std::make_unique<streams>(out, err)) {
  std::lock_guard<std::mutex> lock(g_lock);
  g_current = this;
  g_coded_message.clear();
  g_code.reset();
}

error_capture::~error_capture() {
  std::lock_guard<std::mutex> lock(g_lock);
  g_current = nullptr;
}

std::ostream& error_capture::out() { return streams_->out_stream; }
std::ostream& error_capture::err() { return streams_->err_stream; }

void error_capture::note_code(const std::string& message, HRESULT code) {
  std::lock_guard<std::mutex> lock(g_lock);
  if (!g_current) return;
  g_coded_message = message;
  g_code = code;
}

void error_capture::finish(int status) {
  streams_->err_stream.flush();
  if (status == 0 || streams_->out_buffer.written() != 0) return;
  // A failure told with its code is the command's; else the last one written.
  std::string failure;
  std::optional<HRESULT> code;
  {
    std::lock_guard<std::mutex> lock(g_lock);
    failure = g_coded_message;
    code = g_code;
  }
  if (!code) failure = streams_->err_buffer.last_failure();
  if (failure.empty()) return;
  print_error_object(streams_->out_stream, failure, code);
  streams_->out_stream.flush();
}

}  // namespace btshell
