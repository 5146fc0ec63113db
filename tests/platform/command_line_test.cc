#include "platform/posix/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text.h"

namespace tessaline::platform::posix {
namespace {

// Windows' rules for splitting a command line, as the C runtime applies
// them to a program's arguments.
TEST(SplitCommandLineTest, FollowsTheWindowsRules) {
  const struct {
    const wchar_t* line;
    std::vector<std::wstring> arguments;
  } kCases[] = {
      // Blanks separate, quotes group.
      {L"\"C:\\Kit\\oscdimg.exe\" -m /B\"a b\" \"C:\\w\\Burn\" tail",
       {L"C:\\Kit\\oscdimg.exe", L"-m", L"/Ba b", L"C:\\w\\Burn", L"tail"}},
      {L"p  a\t\tb  ", {L"p", L"a", L"b"}},
      {L"p \"\" x", {L"p", L"", L"x"}},
      {L"p \"a b", {L"p", L"a b"}},
      {L"", {}},
      // The program name keeps its backslashes and ends at its quote.
      {L"\"C:\\dir\\\" x", {L"C:\\dir\\", L"x"}},
      {L"\"a b\"c d", {L"a b", L"c", L"d"}},
      {L"a\"b c", {L"a\"b", L"c"}},
      {L" a", {L"", L"a"}},
      // Backslashes count only before a quote.
      {L"p a\\\\b c\\", {L"p", L"a\\\\b", L"c\\"}},
      {L"p a\\\"b a\\\\\\\"b", {L"p", L"a\"b", L"a\\\"b"}},
      {L"p \"a\\\\\" b\\\\\\\\\"c d\" e", {L"p", L"a\\", L"b\\\\c d", L"e"}},
      // A doubled quote inside quotes is one quote and ends them.
      {L"p \"a\"\"b c\"", {L"p", L"a\"b", L"c"}},
      {L"p \"\"\"a\" b", {L"p", L"\"a b"}},
      {L"p \"\"\"\" x", {L"p", L"\" x"}},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(SplitCommandLine(c.line), c.arguments) << ToUtf8(c.line);
  }
}

}  // namespace
}  // namespace tessaline::platform::posix
