// The host program as a user runs it: help, usage errors and the plan of a
// layout file.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>

#include <memory>
#include <string>

#include "support/core/temp_folder.h"

namespace {

using tessaline::testing::TempFolder;
using tessaline::testing::WriteFile;

struct Result {
  int status = -1;
  std::string output;  // standard output and error together
};

Result RunHost(const std::string& arguments) {
  Result result;
  const std::string command =
      std::string("'") + TESSALINE_HOST_PATH + "' " + arguments + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  std::size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    result.output.append(buffer, got);
  }
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

TEST(HostProgramTest, HelpAndUsageErrors) {
  Result result = RunHost("--help");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output.rfind("usage: tessaline [--drives DIR] COMMAND", 0),
            0u)
      << result.output;

  result = RunHost("make --help");
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.output.find("--discs LIST"), std::string::npos);

  result = RunHost("make layout.ini --media DVD");
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.output.find("tessaline: --source DIR is required"),
            std::string::npos)
      << result.output;

  result = RunHost("--drives /no/such/folder recorders");
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.output.find("drives folder not found"), std::string::npos);
}

TEST(HostProgramTest, VirtualDrivesAreMadeAndSeenThroughDrivesOption) {
  TempFolder temp;
  const std::string dir = "'" + (temp.path() / "my drives").string() + "'";
  Result result = RunHost("drives create " + dir + " --count 2 --type CDRW");
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_NE(result.output.find("my drives/drive1 with a blank CDRW"),
            std::string::npos)
      << result.output;

  result = RunHost("--drives " + dir + " recorders");
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_NE(result.output.find("\n1  "), std::string::npos) << result.output;
  EXPECT_NE(result.output.find("my drives/drive1/mount"), std::string::npos)
      << result.output;

  result = RunHost("media 1 --drives " + dir);
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_NE(result.output.find(": CDRW, blank"), std::string::npos)
      << result.output;

  result = RunHost("--drives " + dir + " eject 2");
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.output.find("no recorder with index 2"), std::string::npos);

  result = RunHost("drives create " + dir + " --type FLOPPY");
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.output.find("unknown media type: FLOPPY"),
            std::string::npos);
}

TEST(HostProgramTest, PlanShowsEachDiscOfTheLayout) {
  TempFolder temp;
  const auto layout = temp.path() / "layout file.ini";
  WriteFile(layout,
            "[MEDIA:DVD]\nDVD1=boot,sources,kiro\nDVD2=data2\n"
            "[SIZE:DVD]\nDVD1=1000\nDVD2=2500000\n");
  const auto work = temp.path() / "work";
  Result result = RunHost("plan '" + layout.string() +
                          "' --media DVD --work '" + work.string() + "'");
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_NE(result.output.find("work folder  " + work.string() + "\n"),
            std::string::npos)
      << result.output;
  EXPECT_NE(result.output.find("1     1.00 kB  boot, sources, kiro\n"),
            std::string::npos)
      << result.output;
  EXPECT_NE(result.output.find("2     2.50 MB  data2\n"), std::string::npos)
      << result.output;

  // A layout the library rejects: its message, and status 1.
  result = RunHost("plan '" + layout.string() + "' --media CD --work '" +
                   work.string() + "'");
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.output.find("Section not found:MEDIA:CD"), std::string::npos)
      << result.output;
}

}  // namespace
