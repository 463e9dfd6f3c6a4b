// Standard output of a run without a window: the router's answer written out
// in place of a box. Every write is checked, since a script that reads the
// answer must be able to tell a full disk or a closed pipe from a success;
// and on a terminal the router's control characters are defused, so that an
// answer cannot retitle or reprogram the user's terminal.
#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace app {

// Raised once standard output has failed; the reason has been written to
// standard error already (nothing for a reader that went away), and the run
// counts as failed.
class StandardOutputFailed : public std::exception {
 public:
  const char* what() const noexcept override { return "standard output failed"; }
};

// `utf8` with every control character (U+0000-U+001F but TAB and LF, U+007F,
// U+0080-U+009F) replaced by U+FFFD. The LFs are the program's own line ends:
// the answer's lines never hold one. `pendingC2` carries a lead byte 0xC2 that
// ended the previous piece into the next one.
std::string WithoutControlCharacters(std::string_view utf8, bool& pendingC2);

// Writes pieces of text to standard output: one answer of a window's
// hidden run, or everything a console run prints.
class StandardOutputWriter {
 public:
  StandardOutputWriter();
  // A run without a window: a termination signal that arrives while a write
  // waits for a reader that stopped reading ends the program at once, as it
  // would between writes.
  static void EndWritesOnTerminationSignal();
  // After a failure the rest is dropped.
  void Write(std::string_view utf8);
  bool Failed() const { return error_ != 0; }
  // Writes as much of `bytes` as standard output takes without waiting, in
  // pieces small enough to go whole: for the last words before the program
  // ends, which must not wait for a reader that stopped reading.
  void WriteIfRoom(std::string_view bytes);
  // The last piece is written: what was kept back for the next piece goes.
  void Close();
  // Once a write failed: says why on standard error (once, and not to a
  // reader that went away, which knows) and counts the run as failed.
  void ReportFailure();
  // The text ends here: a LF unless it ended with one, and then, when any
  // write failed, the report and StandardOutputFailed.
  void Finish();

 private:
  void WriteRaw(std::string_view bytes);

  bool terminal_ = false;
  bool pendingC2_ = false;
  char last_ = '\0';
  int error_ = 0;
  bool reported_ = false;
};

// A standard stream that is closed when the program starts gets /dev/null in
// its place, so that no file or socket the program opens later takes its
// number. Standard output gets it read-only: writing the answer there fails,
// and the failure is reported, as it should be for a closed output.
void OccupyClosedStandardStreams();

}  // namespace app
