// The host program as a user runs it: help, usage errors and the plan of a
// layout file.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>

#include "support/core/temp_folder.h"

namespace {

using std::filesystem::exists;
using tessaline::testing::TempFolder;
using tessaline::testing::WriteFile;

// Runs the host with `arguments`; succeeds when it exits with `status` and
// its output (standard output and error together, also left in `*out`)
// holds each of `expected`.
::testing::AssertionResult Host(const std::string& arguments, int status,
                                std::initializer_list<std::string> expected,
                                std::string* out = nullptr) {
  const std::string command =
      std::string("'") + TESSALINE_HOST_PATH + "' " + arguments + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return ::testing::AssertionFailure() << "no pipe";
  std::string output(1 << 20, '\0');
  output.resize(fread(output.data(), 1, output.size(), pipe));
  const int ended = pclose(pipe);
  const int code = WIFEXITED(ended) ? WEXITSTATUS(ended) : -1;
  bool found = true;
  for (const std::string& part : expected) {
    found = found && output.find(part) != std::string::npos;
  }
  if (out != nullptr) *out = output;
  if (code == status && found) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << arguments << ": status " << code << ", output:\n"
         << output;
}

TEST(HostProgramTest, HelpUsageErrorsAndVirtualDrives) {
  EXPECT_TRUE(Host("--help", 0, {"usage: tessaline [--drives DIR] COMMAND"}));
  EXPECT_TRUE(Host("--drives /no/such/folder recorders", 2,
                   {"drives folder not found"}));
  TempFolder temp;
  const std::string dir = "'" + (temp.path() / "my drives").string() + "'";
  EXPECT_TRUE(Host("drives create " + dir + " --count 2 --type CDRW", 0,
                   {"my drives/drive1 with a blank CDRW"}));
  EXPECT_TRUE(Host("--drives " + dir + " recorders", 0,
                   {"\n1  ", "my drives/drive1/mount"}));
  EXPECT_TRUE(Host("media 1 --drives " + dir, 0, {": CDRW, blank"}));
  EXPECT_TRUE(Host("drives create " + dir + " --type FLOPPY", 2,
                   {"unknown media type: FLOPPY"}));
}

TEST(HostProgramTest, PlanShowsEachDiscOfTheLayout) {
  TempFolder temp;
  const std::string layout = (temp.path() / "layout file.ini").string();
  const std::string work = (temp.path() / "work").string();
  const std::string plan = "plan '" + layout + "' --work '" + work + "'";
  // Keys the plan never reaches are named after the discs.
  WriteFile(layout,
            "[MEDIA:DVD]\nDVD1=a,k\ndvd2=b\nDVD3=c\n[SIZE:DVD]\nDVD1=1\n"
            "DVD4=1\n");
  EXPECT_TRUE(Host(plan + " --media DVD", 0,
                   {"work folder  " + work + "\n", "\n1     1 B   a, k\n",
                    "warning: dvd2 is never read: disc keys are spelt DVD2\n"
                    "warning: DVD3 is never read: DVD2 is missing before it\n"
                    "warning: SIZE:DVD DVD4 has no key in MEDIA:DVD\n"}));
}

TEST(HostProgramTest, MakeRefusesOverlapsAndSaysWhichFileFailedAndWhy) {
  TempFolder temp;
  const std::string root = temp.path().string();
  WriteFile(temp.path() / "src/data2/sub/b", "b");
  WriteFile(temp.path() / "layout.ini",
            "[MEDIA:DVD]\nDVD1=boot\nDVD2=data2\n[SIZE:DVD]\nDVD1=1\nDVD2=1\n");
  ASSERT_TRUE(Host("drives create '" + root + "/d'", 0, {}));
  const std::string make = "--drives '" + root + "/d' make '" + root +
                           "/layout.ini' --media DVD --discs 2 --source '" +
                           root + "/src' --work '" + root + "/";
  const auto before = tessaline::testing::TreeOf(temp.path());
  for (const std::string work : {"src", "src/Burn", "src/../src/new", "."}) {
    EXPECT_TRUE(Host(make + work + "'", 1, {"overlap"}));
  }
  EXPECT_EQ(tessaline::testing::TreeOf(temp.path()), before);
  ASSERT_EQ(mkfifo((root + "/src/data2/sub/pipe").c_str(), 0600), 0);
  // The report's own text stays; the detail names the file and the reason.
  EXPECT_TRUE(
      Host(make + "w'", 1,
           {"/w/Burn/data2 - copy failed. During recursive folder copy",
            "because " + root + "/src/data2/sub/pipe: " + strerror(EINVAL),
            "the library's log: " + root + "/w/tessaline.log"}));
  EXPECT_TRUE(std::filesystem::exists(temp.path() / "w/tessaline.log"));
}

TEST(HostProgramTest, SeveralRecordersMakeTheSetAtOnceAndFailAlone) {
  TempFolder temp;
  const std::string root = temp.path().string();
  const std::string scratch = root + "/tmp";
  std::filesystem::create_directories(scratch);
  setenv("TMPDIR", scratch.c_str(), 1);
  WriteFile(temp.path() / "src/data2/sub/b", "b");
  WriteFile(temp.path() / "src/data3/c", std::string(100000, 'c'));
  WriteFile(temp.path() / "layout.ini",
            "[MEDIA:DVD]\nDVD1=boot\nDVD2=data2\nDVD3=data3\n"
            "[SIZE:DVD]\nDVD1=1\nDVD2=1\nDVD3=1\n");
  ASSERT_TRUE(Host("drives create '" + root + "/d' --count 3", 0, {}));
  // Recorder 1 takes media of 16 sectors: too small for either disc.
  std::ofstream(temp.path() / "d/drive1/drive.ini", std::ios::app)
      << "sectors=16\n";
  const std::string make = "--drives '" + root + "/d' make '" + root +
                           "/layout.ini' --media DVD --discs 2-3 --source '" +
                           root + "/src' --verify";
  // --json: every report, then the outcome, read by a JSON parser. The run's
  // own work folder is gone after a set that was made.
  EXPECT_TRUE(Host(
      make + " --drive 2,0 --json 2>/dev/null | python3 -c 'import json, sys\n"
             "o = [json.loads(l) for l in sys.stdin]\n"
             "print(sorted((x[\"recorder\"], x[\"disc\"]) for x in o[:-1] "
             "if x[\"code\"] == 10), o[-1])'",
      0,
      {"[(0, 2), (0, 3), (2, 2), (2, 3)] {'outcome': 'made', 'exit': 0, "
       "'failed': []}"}));
  EXPECT_TRUE(std::filesystem::is_empty(scratch));
  EXPECT_TRUE(exists(temp.path() / "d/drive0/ejected/disc-002.img") &&
              exists(temp.path() / "d/drive2/ejected/disc-002.img"));
  // A failure stops its recorder only; the status names it (64 + 2^1), and
  // the kept work folder holds the log. Progress in a pipe has no bars.
  std::string output;
  EXPECT_TRUE(
      Host(make + " --drive all", 66,
           {"recorder 1: disc 2 of 3  failed", "recorder 0: disc 3 of 3  made",
            "recorder 2: disc 3 of 3  made", "recorder 2: disc 3 of 3  writing",
            "recorder 1:   the library's log: " + scratch + "/tessaline-work-",
            "the work folder is kept: " + scratch},
           &output));
  EXPECT_EQ(output.find('['), std::string::npos);
  unsetenv("TMPDIR");
}

}  // namespace
