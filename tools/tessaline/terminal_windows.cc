// The terminal on Windows. The library's diagnostic lines are not taken off
// standard output here; they come between redraws of the progress line.
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include <cstdio>

#include "terminal.h"

namespace tessaline_cli {
namespace {

std::atomic<int> interrupts{0};

BOOL WINAPI OnControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  if (interrupts.fetch_add(1) > 0) ExitProcess(130);
  return TRUE;
}

}  // namespace

void WriteStdout(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void SetEnvironment(const std::string& name, const std::string& value) {
  _putenv_s(name.c_str(), value.c_str());
}

bool StdoutIsTerminal() { return _isatty(_fileno(stdout)) != 0; }

int TerminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) {
    return info.srWindow.Right - info.srWindow.Left + 1;
  }
  return 80;
}

void InstallInterruptHandler() {
  SetConsoleCtrlHandler(OnControl, TRUE);
  // Escape sequences redraw the progress line in place.
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(output, &mode)) {
    SetConsoleMode(output, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
  }
}

bool Interrupted() { return interrupts.load() > 0; }

Answer WaitForEnter() {
  // Ctrl-C ends a console read early.
  for (;;) {
    const int c = std::fgetc(stdin);
    if (Interrupted()) return Answer::kInterrupted;
    if (c == EOF) return Answer::kEndOfInput;
    if (c == '\n') return Answer::kEnter;
  }
}

StdoutCapture::StdoutCapture(LineHandler on_line)
    : on_line_(std::move(on_line)) {}

StdoutCapture::~StdoutCapture() = default;

void StdoutCapture::Write(std::string_view text) const { WriteStdout(text); }

void StdoutCapture::Pump() {}

}  // namespace tessaline_cli
