// With --json, a command that fails prints an error object on stdout, the
// shape of inspect's refused seeds without the seed:
//   {"error": {"code": -13, "meaning": "the seed file cannot be read",
//              "message": "ParseSeedFile missing.torrent: -13 (the seed file cannot be read)"}}
// "code" and "meaning" are null for a failure that is no result code. The
// failure still goes to stderr as text, and the exit status is the same.
//
// error_capture does it for every command at once: it watches what the
// command writes, and when the command ends in failure without having
// printed its result (a download's report says how it failed itself), it
// prints the object for the failure told with its code (report_failure),
// else for the last "btshell: ..." line the command wrote that is no log line.
#pragma once

#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "platform/types.h"

namespace btshell {

// The object (error_json(), json_printers.h) on `out`, as --json prints it.
void print_error_object(std::ostream& out, const std::string& message, std::optional<HRESULT> code);

// While it lives, out() and err() are `out` and `err` watched. Used on the
// thread that runs the command; the err stream may be written from any
// thread one line at a time. One object at a time.
class error_capture {
 public:
  error_capture(std::ostream& out, std::ostream& err);
  ~error_capture();
  error_capture(const error_capture&) = delete;
  error_capture& operator=(const error_capture&) = delete;

  std::ostream& out();
  std::ostream& err();
  // The result code of the failure `message` (a line without "btshell: "),
  // told by report_failure for the object in force, if any.
  static void note_code(const std::string& message, HRESULT code);
  // Prints the error object when `status` is a failure, nothing was printed
  // on out() and a failure was told or written on err().
  void finish(int status);

 private:
  struct streams;
  std::unique_ptr<streams> streams_;
};

}  // namespace btshell
