#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/posix/posix_backends.h"

namespace tessaline::platform::posix {
namespace {

// Without a controlling terminal nobody could press Enter, so the prompt
// must say its text and return at once rather than block the run.
TEST(PosixPromptDeathTest, WithoutTerminalWritesToStandardErrorAndReturns) {
  EXPECT_EXIT(
      {
        // A new session has no controlling terminal.
        if (setsid() < 0) std::_Exit(2);
        auto prompt = MakePrompt();
        prompt->Show(L"No such file or directory", L"");
        prompt->Show(L"Insert disc 2", L"Tessaline");
        prompt->PumpOneMessage();
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(0),
      "No such file or directory\nTessaline: Insert disc 2\n");
}

}  // namespace
}  // namespace tessaline::platform::posix
