// The runner with real child processes: what the tool receives of the one
// command line the runner builds.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "build/image_tool.h"
#include "platform/posix/posix_backends.h"
#include "platform/text.h"
#include "support/core/test_platform.h"
#include "tessaline/tessaline.h"

namespace tessaline {
namespace {

using ::testing::ElementsAre;

std::vector<std::string> ReadRecord(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string all((std::istreambuf_iterator<char>(in)),
                        std::istreambuf_iterator<char>());
  std::vector<std::string> arguments;
  std::string current;
  for (char c : all) {
    if (c == '\0') {
      arguments.push_back(current);
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  return arguments;
}

class ImageToolChildTest : public ::testing::Test {
 protected:
  ImageToolChildTest() : test_(testing::MakeTestPlatform()) {
    test_.platform->processes = platform::posix::MakeProcesses();
    record_ = ::testing::TempDir() + "image_tool_child_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
  }

  testing::TestPlatform test_;
  std::string record_;
  CancelFlag cancel_{0};
};

TEST_F(ImageToolChildTest, ToolReceivesTheArgumentsOfTheWindowsSplitting) {
  const std::wstring tool = platform::FromUtf8(TESSALINE_RECORD_ARGS);
  const std::wstring arguments = platform::FromUtf8(record_) +
                                 L" 2 /B\"a b\" \"C:\\w\\Burn\" "
                                 L"say\\\"hi\\\" \"dir\\\\\" plain";

  EXPECT_EQ(RunImageTool(*test_.platform, StatusReporter(), tool, arguments,
                         &cancel_),
            2u);

  EXPECT_THAT(ReadRecord(record_),
              ElementsAre(TESSALINE_RECORD_ARGS, record_, "2", "/Ba b",
                          "C:\\w\\Burn", "say\"hi\"", "dir\\", "plain"));
  EXPECT_EQ(test_.prompt->Count(), 0);
}

TEST_F(ImageToolChildTest, MissingToolShowsTheSystemTextForAMissingFile) {
  EXPECT_THROW(RunImageTool(*test_.platform, StatusReporter(),
                            L"/nonexistent/tessaline/oscdimg", L"x", &cancel_),
               MediaWriterException);

  const auto messages = test_.prompt->Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, platform::FromUtf8(std::strerror(ENOENT)));
}

}  // namespace
}  // namespace tessaline
