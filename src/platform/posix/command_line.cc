#include "platform/posix/command_line.h"

#include <cstddef>

namespace tessaline::platform::posix {
namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

std::vector<std::wstring> SplitCommandLine(const std::wstring& command_line) {
  std::vector<std::wstring> arguments;
  const std::size_t size = command_line.size();
  if (size == 0) return arguments;

  // The program name: a quoted name ends at the next quote, whatever
  // follows it; an unquoted one at the first blank.
  std::size_t i = 0;
  std::wstring program;
  if (command_line[0] == L'"') {
    for (i = 1; i < size && command_line[i] != L'"'; ++i) {
      program.push_back(command_line[i]);
    }
    if (i < size) ++i;  // The closing quote.
  } else {
    for (; i < size && !IsBlank(command_line[i]); ++i) {
      program.push_back(command_line[i]);
    }
  }
  arguments.push_back(std::move(program));

  std::wstring current;
  bool in_argument = false;
  bool quoted = false;
  while (i < size) {
    const wchar_t c = command_line[i];
    if (IsBlank(c) && !quoted) {
      if (in_argument) {
        arguments.push_back(std::move(current));
        current.clear();
        in_argument = false;
      }
      ++i;
      continue;
    }
    in_argument = true;
    if (c == L'\\') {
      std::size_t backslashes = 0;
      while (i < size && command_line[i] == L'\\') {
        ++backslashes;
        ++i;
      }
      if (i < size && command_line[i] == L'"') {
        current.append(backslashes / 2, L'\\');
        if (backslashes % 2 == 1) {
          current.push_back(L'"');
          ++i;
        }
        // With an even count the quote is handled below as a delimiter.
      } else {
        current.append(backslashes, L'\\');
      }
      continue;
    }
    if (c == L'"') {
      if (!quoted) {
        quoted = true;
        ++i;
      } else if (i + 1 < size && command_line[i + 1] == L'"') {
        current.push_back(L'"');
        quoted = false;
        i += 2;
      } else {
        quoted = false;
        ++i;
      }
      continue;
    }
    current.push_back(c);
    ++i;
  }
  if (in_argument) arguments.push_back(std::move(current));
  return arguments;
}

}  // namespace tessaline::platform::posix
