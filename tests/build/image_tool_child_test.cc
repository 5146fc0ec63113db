// The runner with a real child process: what the tool receives of the one
// command line the runner builds.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "build/image_tool.h"
#include "platform/posix/posix_backends.h"
#include "platform/text.h"
#include "support/core/test_platform.h"
#include "tessaline/tessaline.h"

namespace tessaline {
namespace {

TEST(ImageToolChildTest, ToolReceivesTheArgumentsOfTheWindowsSplitting) {
  testing::TestPlatform test = testing::MakeTestPlatform();
  test.platform->processes = platform::posix::MakeProcesses();
  const std::string record = ::testing::TempDir() + "image_tool_child_args";
  const std::wstring arguments = platform::FromUtf8(record) +
                                 L" 2 /B\"a b\" \"C:\\w\\Burn\" "
                                 L"say\\\"hi\\\" \"dir\\\\\" plain";
  CancelFlag cancel{0};
  EXPECT_EQ(RunImageTool(*test.platform, StatusReporter(),
                         platform::FromUtf8(TESSALINE_RECORD_ARGS), arguments,
                         &cancel),
            2u);

  // The child writes each argument it received followed by a NUL.
  std::ifstream in(record, std::ios::binary);
  std::vector<std::string> received;
  for (std::string argument; std::getline(in, argument, '\0');) {
    received.push_back(argument);
  }
  EXPECT_THAT(received, ::testing::ElementsAre(TESSALINE_RECORD_ARGS, record,
                                               "2", "/Ba b", "C:\\w\\Burn",
                                               "say\"hi\"", "dir\\", "plain"));
  EXPECT_EQ(test.prompt->Count(), 0);
}

}  // namespace
}  // namespace tessaline
