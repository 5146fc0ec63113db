// The host program as a user runs it: help, usage errors and the plan of a
// layout file.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <initializer_list>
#include <string>

#include "support/core/temp_folder.h"

namespace {

using tessaline::testing::TempFolder;
using tessaline::testing::WriteFile;

// Runs the host with `arguments`; succeeds when it exits with `status` and
// its output (standard output and error together) holds each of `expected`.
::testing::AssertionResult Host(const std::string& arguments, int status,
                                std::initializer_list<std::string> expected) {
  const std::string command =
      std::string("'") + TESSALINE_HOST_PATH + "' " + arguments + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return ::testing::AssertionFailure() << "no pipe";
  std::string output;
  char buffer[4096];
  std::size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    output.append(buffer, got);
  }
  const int ended = pclose(pipe);
  const int code = WIFEXITED(ended) ? WEXITSTATUS(ended) : -1;
  bool found = true;
  for (const std::string& part : expected) {
    found = found && output.find(part) != std::string::npos;
  }
  if (code == status && found) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << arguments << ": status " << code << ", output:\n"
         << output;
}

TEST(HostProgramTest, HelpAndUsageErrors) {
  EXPECT_TRUE(Host("--help", 0, {"usage: tessaline [--drives DIR] COMMAND"}));
  EXPECT_TRUE(Host("make --help", 0, {"--discs LIST"}));
  EXPECT_TRUE(Host("make layout.ini --media DVD", 2,
                   {"tessaline: --source DIR is required"}));
  EXPECT_TRUE(Host("--drives /no/such/folder recorders", 2,
                   {"drives folder not found"}));
}

TEST(HostProgramTest, VirtualDrivesAreMadeAndSeenThroughDrivesOption) {
  TempFolder temp;
  const std::string dir = "'" + (temp.path() / "my drives").string() + "'";
  EXPECT_TRUE(Host("drives create " + dir + " --count 2 --type CDRW", 0,
                   {"my drives/drive1 with a blank CDRW"}));
  EXPECT_TRUE(Host("--drives " + dir + " recorders", 0,
                   {"\n1  ", "my drives/drive1/mount"}));
  EXPECT_TRUE(Host("media 1 --drives " + dir, 0, {": CDRW, blank"}));
  EXPECT_TRUE(
      Host("--drives " + dir + " eject 2", 1, {"no recorder with index 2"}));
  EXPECT_TRUE(Host("drives create " + dir + " --type FLOPPY", 2,
                   {"unknown media type: FLOPPY"}));
}

TEST(HostProgramTest, PlanShowsEachDiscOfTheLayout) {
  TempFolder temp;
  const std::string layout = (temp.path() / "layout file.ini").string();
  WriteFile(layout,
            "[MEDIA:DVD]\nDVD1=boot,sources,kiro\nDVD2=data2\n"
            "[SIZE:DVD]\nDVD1=1000\nDVD2=2500000\n");
  const std::string work = (temp.path() / "work").string();
  const std::string plan = "plan '" + layout + "' --work '" + work + "'";
  EXPECT_TRUE(Host(plan + " --media DVD", 0,
                   {"work folder  " + work +
                    "\n\nDISC  SIZE     ITEMS\n"
                    "1     1.00 kB  boot, sources, kiro\n"
                    "2     2.50 MB  data2\n"}));
  // Keys the plan never reaches are named.
  WriteFile(layout,
            "[MEDIA:DVD]\nDVD1=a\ndvd2=b\nDVD3=c\n[SIZE:DVD]\nDVD1=1\n"
            "DVD4=1\n");
  EXPECT_TRUE(Host(plan + " --media DVD", 0,
                   {"1     1 B   a\n",
                    "warning: dvd2 is never read: disc keys are spelt DVD2\n"
                    "warning: DVD3 is never read: DVD2 is missing before it\n"
                    "warning: SIZE:DVD DVD4 has no key in MEDIA:DVD\n"}));
  // A layout the library rejects: its message, and status 1.
  EXPECT_TRUE(Host(plan + " --media CD", 1, {"Section not found:MEDIA:CD"}));
  // Without --work, a folder of the run's own, gone again at the end: two
  // runs never share one.
  const std::string scratch = (temp.path() / "scratch").string();
  std::filesystem::create_directories(scratch);
  setenv("TMPDIR", scratch.c_str(), 1);
  EXPECT_TRUE(Host("plan '" + layout + "' --media DVD", 0,
                   {"work folder  " + scratch + "/tessaline-work-"}));
  unsetenv("TMPDIR");
  EXPECT_TRUE(std::filesystem::is_empty(scratch));
  // The plan shown is the library's: a list it would cut is refused.
  WriteFile(layout, "[MEDIA:DVD]\nDVD1=" + std::string(0x100000, 'a') +
                        "\n[SIZE:DVD]\nDVD1=1\n");
  EXPECT_TRUE(Host(plan + " --media DVD", 1, {"Value too long (for key)DVD1"}));
}

TEST(HostProgramTest, MakeRefusesAWorkFolderOverlappingTheSource) {
  TempFolder temp;
  const std::string root = temp.path().string();
  WriteFile(temp.path() / "src/boot/a", "a");
  WriteFile(temp.path() / "layout.ini",
            "[MEDIA:DVD]\nDVD1=boot\n[SIZE:DVD]\nDVD1=1\n");
  ASSERT_TRUE(Host("drives create '" + root + "/d' --type CDRW", 0, {}));
  const auto before = tessaline::testing::TreeOf(temp.path());
  for (const std::string work : {"src", "src/Burn", "src/../src/new", "."}) {
    EXPECT_TRUE(Host("--drives '" + root + "/d' make '" + root +
                         "/layout.ini' --media DVD --source '" + root +
                         "/src' --work '" + root + "/" + work + "'",
                     1, {"overlap"}));
  }
  EXPECT_EQ(tessaline::testing::TreeOf(temp.path()), before);
}

TEST(HostProgramTest, AFailedCopySaysWhichFileAndWhy) {
  TempFolder temp;
  const std::string root = temp.path().string();
  WriteFile(temp.path() / "src/data2/sub/b", "b");
  ASSERT_EQ(mkfifo((root + "/src/data2/sub/pipe").c_str(), 0600), 0);
  WriteFile(temp.path() / "layout.ini",
            "[MEDIA:DVD]\nDVD1=boot\nDVD2=data2\n[SIZE:DVD]\nDVD1=1\nDVD2=1\n");
  ASSERT_TRUE(Host("drives create '" + root + "/d'", 0, {}));
  // The report's own text stays; the detail names the file and the reason.
  EXPECT_TRUE(
      Host("--drives '" + root + "/d' make '" + root +
               "/layout.ini' --media DVD --discs 2 --source '" + root +
               "/src' --work '" + root + "/w'",
           1,
           {"/w/Burn/data2 - copy failed. During recursive folder copy",
            "because " + root + "/src/data2/sub/pipe: " + strerror(EINVAL),
            "the library's log: " + root + "/w/tessaline.log"}));
  EXPECT_TRUE(std::filesystem::exists(temp.path() / "w/tessaline.log"));
  // --json: every report, then the outcome, read by a JSON parser.
  EXPECT_TRUE(Host("--drives '" + root + "/d' make '" + root +
                       "/layout.ini' --media DVD --discs 2 --json --source '" +
                       root + "/src' --work '" + root +
                       "/w' 2>/dev/null | python3 -c 'import json, sys\n"
                       "o = [json.loads(l) for l in sys.stdin]\n"
                       "print([(x[\"disc\"], x[\"code\"]) for x in o[:-1]], "
                       "o[-2][\"detail\"],"
                       " o[-1])'",
                   0,
                   {"[(2, 1), (2, 12)] " + root + "/src/data2/sub/pipe: " +
                    strerror(EINVAL) + " {'outcome': 'failed', 'exit': 1}"}));
}

}  // namespace
