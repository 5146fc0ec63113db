// The host's terminal: whether output goes to one, its width, Ctrl-C, and
// the library's diagnostic lines, which are taken off standard output while
// a progress line is drawn there.
#ifndef TESSALINE_TOOLS_TESSALINE_TERMINAL_H_
#define TESSALINE_TOOLS_TESSALINE_TERMINAL_H_

#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

namespace tessaline_cli {

bool StdoutIsTerminal();
// Columns of the terminal on standard output; 80 when unknown.
int TerminalColumns();

// Writes all of `text` to standard output at once, past stdio's buffer.
void WriteStdout(std::string_view text);

// Sets a variable of the process's environment.
void SetEnvironment(const std::string& name, const std::string& value);

// Ctrl-C (and, on POSIX, SIGTERM and SIGHUP): the first one raises the
// flag for the main loop to cancel the running disc (the handler does
// nothing else); a second one ends the program at once with status 130.
void InstallInterruptHandler();
bool Interrupted();

enum class Answer { kEnter, kEndOfInput, kInterrupted };
// Waits for a line on standard input, watching for Ctrl-C.
Answer WaitForEnter();

// While it lives, what is written to standard output (the library's
// diagnostic lines) reaches `on_line` line by line on a thread of its own;
// Write() reaches the real standard output.
class StdoutCapture {
 public:
  using LineHandler = std::function<void(std::string line)>;

  explicit StdoutCapture(LineHandler on_line);
  ~StdoutCapture();
  StdoutCapture(const StdoutCapture&) = delete;
  StdoutCapture& operator=(const StdoutCapture&) = delete;

  // False when the capture could not be set up (or the system has none);
  // output then goes straight to standard output.
  bool active() const { return saved_ >= 0; }
  void Write(std::string_view text) const;

 private:
  void Pump();

  LineHandler on_line_;
  int saved_ = -1;  // the real standard output
  // What the library writes comes out here (POSIX; Windows has no capture).
  [[maybe_unused]] int read_end_ = -1;
  std::thread reader_;
};

}  // namespace tessaline_cli

#endif  // TESSALINE_TOOLS_TESSALINE_TERMINAL_H_
