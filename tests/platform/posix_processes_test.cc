// How the POSIX processes backend starts a child; the rest is the
// processes contract.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/posix/posix_backends.h"
#include "platform/text.h"
#include "support/core/temp_folder.h"

namespace tessaline::platform::posix {
namespace {

using ::testing::HasSubstr;

// Neither our standard input (a pipe here, as it could be a terminal) nor
// a descriptor of ours without close-on-exec may reach the child, which
// leads a process group of its own so that a kill reaches its children.
TEST(PosixProcessesTest, ChildStartsAloneWithNothingOfOurs) {
  testing::TempFolder folder;
  const std::wstring child = FromUtf8(TESSALINE_RECORD_ARGS);
  int input[2];
  ASSERT_EQ(pipe(input), 0);
  const int saved_input = dup(STDIN_FILENO);
  ASSERT_GE(saved_input, 0);
  dup2(input[0], STDIN_FILENO);
  const int stray = open("/dev/null", O_RDONLY);
  auto process = MakeProcesses()->Start(
      child, L"\"" + child + L"\" " + folder.Wide("record") + L" 0", nullptr);
  dup2(saved_input, STDIN_FILENO);
  for (int fd : {saved_input, input[0], input[1], stray}) close(fd);
  ASSERT_NE(process, nullptr);
  EXPECT_EQ(process->Wait(60000), WaitResult::kEnded);

  const std::string info = testing::ReadFile(folder.path() / "record.info");
  EXPECT_THAT(info, HasSubstr("group=leader\n"));
  EXPECT_THAT(info, HasSubstr("stdin=null\n"));
  EXPECT_THAT(info, HasSubstr("inherited=0\n"));
}

}  // namespace
}  // namespace tessaline::platform::posix
