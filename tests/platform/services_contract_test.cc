// What every system's processes and volumes backends do alike, with a real
// child program; how a child is started (window, descriptors, process
// group) and which roots are work roots differ and stay with each backend's
// own tests. Runs on POSIX and, under Wine, on Windows.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/text.h"
#include "support/core/temp_folder.h"
#include "support/core/test_platform.h"

#ifdef _WIN32
#include "platform/windows/windows_backends.h"
#else
#include "platform/posix/posix_backends.h"
#endif

namespace tessaline::platform {
namespace {

using ::testing::ElementsAre;

// ENOENT and ERROR_FILE_NOT_FOUND.
constexpr std::uint32_t kNotFound = 2;
constexpr std::uint32_t kPatience = 60000;

std::shared_ptr<Volumes> MakeSystemVolumes() {
#ifdef _WIN32
  return windows::MakeVolumes();
#else
  return posix::MakeVolumes();
#endif
}

TEST(VolumesContractTest, FreeSpaceAndTheFolderOfTheLinkedModule) {
  const auto volumes = MakeSystemVolumes();
  testing::TempFolder folder;
  std::int64_t free = -1;
  ASSERT_TRUE(volumes->FreeBytes(folder.Wide(), &free));
  EXPECT_GT(free, 0);
  // The backend is linked into this test program, which the child program
  // is built beside.
  const std::filesystem::path module(volumes->ModuleFolder());
  EXPECT_TRUE(std::filesystem::is_regular_file(
      module / testing::MakeSystemProcesses()->ProgramFileName(L"record_args")))
      << module;
}

class ProcessesContractTest : public ::testing::Test {
 protected:
  // The child is built beside the test program.
  std::wstring Child() const {
    const auto volumes = MakeSystemVolumes();
    return volumes->ModuleFolder() + files_->Separator() +
           processes_->ProgramFileName(L"record_args");
  }

  // The child's arguments after its own name and record file.
  std::vector<std::string> Arguments() const {
    std::vector<std::string> parts;
    std::istringstream in(testing::ReadFile(folder_.path() / "record"));
    for (std::string part; std::getline(in, part, '\0');) parts.push_back(part);
    return parts.size() < 2
               ? parts
               : std::vector<std::string>(parts.begin() + 2, parts.end());
  }

  std::wstring CommandLine(const std::wstring& rest) const {
    return L"\"" + Child() + L"\" \"" + folder_.Wide("record") + L"\" " + rest;
  }

  testing::TempFolder folder_;
  const std::shared_ptr<Processes> processes_ = testing::MakeSystemProcesses();
  const std::shared_ptr<FileSystem> files_ = testing::MakeSystemFileSystem();
};

TEST_F(ProcessesContractTest, ChildGetsTheSplitArgumentsAndGivesItsExitCode) {
  std::uint32_t error = 0;
  const auto process = processes_->Start(
      Child(),
      CommandLine(
          L"7 /B\"a b\" \"C:\\w\\Burn\" say\\\"hi\\\" \"dir\\\\\" plain"),
      &error);
  ASSERT_NE(process, nullptr) << error;
  ASSERT_EQ(process->Wait(kPatience), WaitResult::kEnded);
  std::uint32_t code = 0;
  ASSERT_TRUE(process->ExitCode(&code));
  EXPECT_EQ(code, 7u);
  EXPECT_THAT(Arguments(), ElementsAre("7", "/Ba b", "C:\\w\\Burn", "say\"hi\"",
                                       "dir\\", "plain"));

  // A missing program gives the system's own code.
  const std::wstring absent = folder_.Wide("absent");
  EXPECT_EQ(processes_->Start(absent, L"\"" + absent + L"\" x", &error),
            nullptr);
  EXPECT_EQ(error, kNotFound);
}

TEST_F(ProcessesContractTest, WaitTimesOutUntilTerminatedWithTheGivenCode) {
  const auto process =
      processes_->Start(Child(), CommandLine(L"wait"), nullptr);
  ASSERT_NE(process, nullptr);
  EXPECT_EQ(process->Wait(0), WaitResult::kTimeout);
  std::uint32_t code = 0;
  ASSERT_TRUE(process->ExitCode(&code));
  EXPECT_EQ(code, kStillActive);

  EXPECT_TRUE(process->Terminate(255));
  EXPECT_EQ(process->Wait(kPatience), WaitResult::kEnded);
  ASSERT_TRUE(process->ExitCode(&code));
  EXPECT_EQ(code, 255u);
  // An ended process keeps its code, whatever a late Terminate answers
  // (POSIX refuses; Wine's TerminateProcess accepts).
  process->Terminate(1);
  ASSERT_TRUE(process->ExitCode(&code));
  EXPECT_EQ(code, 255u);
}

}  // namespace
}  // namespace tessaline::platform
