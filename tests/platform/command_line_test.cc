#include "platform/posix/command_line.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tessaline::platform::posix {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(SplitCommandLineTest, BlanksSeparateAndQuotesGroup) {
  EXPECT_THAT(SplitCommandLine(L"\"C:\\Kit\\oscdimg.exe\" -m /B\"a b\" "
                               L"\"C:\\w\\Burn\" tail"),
              ElementsAre(L"C:\\Kit\\oscdimg.exe", L"-m", L"/Ba b",
                          L"C:\\w\\Burn", L"tail"));
  EXPECT_THAT(SplitCommandLine(L"p  a\t\tb  "), ElementsAre(L"p", L"a", L"b"));
  EXPECT_THAT(SplitCommandLine(L"p \"\" x"), ElementsAre(L"p", L"", L"x"));
  EXPECT_THAT(SplitCommandLine(L"p \"a b"), ElementsAre(L"p", L"a b"));
  EXPECT_THAT(SplitCommandLine(L""), IsEmpty());
}

TEST(SplitCommandLineTest, ProgramNameKeepsBackslashesAndEndsAtItsQuote) {
  EXPECT_THAT(SplitCommandLine(L"\"C:\\dir\\\" x"),
              ElementsAre(L"C:\\dir\\", L"x"));
  // Whatever follows the closing quote starts the next argument.
  EXPECT_THAT(SplitCommandLine(L"\"a b\"c d"), ElementsAre(L"a b", L"c", L"d"));
  EXPECT_THAT(SplitCommandLine(L"a\"b c"), ElementsAre(L"a\"b", L"c"));
  EXPECT_THAT(SplitCommandLine(L" a"), ElementsAre(L"", L"a"));
}

TEST(SplitCommandLineTest, BackslashesCountOnlyBeforeAQuote) {
  EXPECT_THAT(SplitCommandLine(L"p a\\\\b c\\"),
              ElementsAre(L"p", L"a\\\\b", L"c\\"));
  EXPECT_THAT(SplitCommandLine(L"p a\\\"b a\\\\\\\"b"),
              ElementsAre(L"p", L"a\"b", L"a\\\"b"));
  EXPECT_THAT(SplitCommandLine(L"p \"a\\\\\" b\\\\\\\\\"c d\" e"),
              ElementsAre(L"p", L"a\\", L"b\\\\c d", L"e"));
}

TEST(SplitCommandLineTest, DoubledQuoteInsideQuotesIsOneQuoteAndEndsThem) {
  EXPECT_THAT(SplitCommandLine(L"p \"a\"\"b c\""),
              ElementsAre(L"p", L"a\"b", L"c"));
  EXPECT_THAT(SplitCommandLine(L"p \"\"\"a\" b"), ElementsAre(L"p", L"\"a b"));
  EXPECT_THAT(SplitCommandLine(L"p \"\"\"\" x"), ElementsAre(L"p", L"\" x"));
}

}  // namespace
}  // namespace tessaline::platform::posix
