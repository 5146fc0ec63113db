// How the POSIX processes backend starts a child, and its imitation of the
// Windows command-line splitting.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/posix_backends.h"
#include "platform/text.h"
#include "support/core/temp_folder.h"

namespace tessaline::platform::posix {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::ReadFile;

const std::wstring kChild = FromUtf8(TESSALINE_RECORD_ARGS);

std::vector<std::string> SplitAtNul(const std::string& all) {
  std::vector<std::string> parts;
  std::istringstream in(all);
  for (std::string part; std::getline(in, part, '\0');) parts.push_back(part);
  return parts;
}

class PosixProcessesTest : public ::testing::Test {
 protected:
  PosixProcessesTest()
      : processes_(MakeProcesses()),
        record_(
            ::testing::TempDir() + "posix_processes_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name()) {}

  // The child's command line as the runner builds it.
  std::wstring CommandLine(const std::wstring& rest) {
    return L"\"" + kChild + L"\" " + FromUtf8(record_) + L" " + rest;
  }

  std::shared_ptr<Processes> processes_;
  std::string record_;
};

TEST_F(PosixProcessesTest, ChildGetsTheSplitArgumentsAndGivesItsExitCode) {
  // Neither our standard input (a pipe here, as it could be a terminal)
  // nor a descriptor of ours without close-on-exec may reach the child.
  int input[2];
  ASSERT_EQ(pipe(input), 0);
  const int saved_input = dup(STDIN_FILENO);
  ASSERT_GE(saved_input, 0);
  dup2(input[0], STDIN_FILENO);
  const int stray = open("/dev/null", O_RDONLY);
  std::uint32_t error = 0;
  auto process = processes_->Start(
      kChild, CommandLine(L"7 /B\"a b\" \"x\"\"y tab\there"), &error);
  dup2(saved_input, STDIN_FILENO);
  for (int fd : {saved_input, input[0], input[1], stray}) close(fd);
  ASSERT_NE(process, nullptr) << error;

  EXPECT_EQ(process->Wait(60000), WaitResult::kEnded);
  std::uint32_t code = 0;
  ASSERT_TRUE(process->ExitCode(&code));
  EXPECT_EQ(code, 7u);

  EXPECT_THAT(SplitAtNul(ReadFile(record_)),
              ElementsAre(TESSALINE_RECORD_ARGS, record_, "7", "/Ba b", "x\"y",
                          "tab", "here"));
  const std::string info = ReadFile(record_ + ".info");
  EXPECT_THAT(info, HasSubstr("group=leader\n"));
  EXPECT_THAT(info, HasSubstr("stdin=null\n"));
  EXPECT_THAT(info, HasSubstr("inherited=0\n"));
}

}  // namespace
}  // namespace tessaline::platform::posix
