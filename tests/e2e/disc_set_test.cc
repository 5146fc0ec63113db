// A recovery disc set made for real on virtual drives, checked with
// readers that are not ours.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "e2e/e2e_fixture.h"
#include "platform/text.h"

namespace tessaline::testing {
namespace {

namespace fs = std::filesystem;

bool SameTree(const fs::path& a, const fs::path& b) {
  return RunCommand({"diff", "-r", a.string(), b.string()}).status == 0;
}

TEST_F(EndToEndTest, TwoDiscSetWithVerificationReadsBackWithOtherTools) {
  MakeDrive("DVDPLUSRW");
  Tessaline creator = MakeCreator();
  ASSERT_EQ(creator.NumDiscs(), 2u);

  auto disc1 = MakeDisc(creator, 1, 1);
  EXPECT_EQ(disc1.back(), 10);
  EXPECT_TRUE(HoldsInOrder(disc1, {1, 2, 3, 4, 5, 6, 8, 9, 15, 10}));
  Tessaline::EjectClose(0, false);
  Tessaline::EjectClose(0, true);

  auto disc2 = MakeDisc(creator, 2, 1);
  EXPECT_EQ(disc2.back(), 10);
  EXPECT_TRUE(HoldsInOrder(disc2, {1, 4, 5, 6, 8, 9, 15, 10}));
  EXPECT_THAT(disc2, ::testing::Not(::testing::Contains(2)));
  Tessaline::EjectClose(0, false);

  // Disc 1: a bootable ISO whose boot record another tool can read.
  ASSERT_TRUE(fs::exists(Ejected(1)));
  auto torito = RunCommand(
      {"xorriso", "-indev", Ejected(1).string(), "-report_el_torito", "plain"});
  EXPECT_EQ(torito.status, 0) << torito.output;
  EXPECT_THAT(torito.output, ::testing::HasSubstr("El Torito boot img"));
  EXPECT_THAT(torito.output, ::testing::HasSubstr("none"));  // no emulation

  // Disc 2: its items plus the disc marker, and nothing else.
  fs::path extracted = temp_.path() / "disc2";
  auto seven = RunCommand(
      {"7zz", "x", "-y", "-o" + extracted.string(), Ejected(2).string()});
  ASSERT_EQ(seven.status, 0) << seven.output;
  fs::path expected = temp_.path() / "expected2";
  fs::create_directories(expected);
  fs::copy(source_ / "data", expected / "data", fs::copy_options::recursive);
  WriteFile(expected / "RECOVERY2", "");
  EXPECT_TRUE(SameTree(extracted, expected));
  EXPECT_FALSE(fs::exists(work_ / "boot.iso"));
  EXPECT_FALSE(fs::exists(work_ / "Burn"));
}

TEST_F(EndToEndTest, WrittenRewritableMediumIsErasedBeforeTheNextWrite) {
  MakeDrive("DVDPLUSRW");
  Tessaline creator = MakeCreator();
  EXPECT_EQ(MakeDisc(creator, 2, 0).back(), 10);
  auto again = MakeDisc(creator, 2, 1);
  EXPECT_EQ(again.back(), 10);
  EXPECT_TRUE(HoldsInOrder(again, {4, 7, 5, 6, 8, 9, 15, 10}));
}

TEST_F(EndToEndTest, WrittenWriteOnceMediumNeedsTheUser) {
  MakeDrive("DVDPLUSR");
  Tessaline creator = MakeCreator();
  EXPECT_EQ(MakeDisc(creator, 2, 0).back(), 10);
  DiscReports reports;
  EXPECT_EQ(MakeDisc(creator, 2, 0, &reports).back(), 13);
  EXPECT_EQ(reports.final_first(), 3);  // the erase was refused
}

TEST_F(EndToEndTest, MediumTooSmallEndsInAFailure) {
  MakeDrive("DVDPLUSRW", "sectors=200");
  Tessaline creator = MakeCreator();
  DiscReports reports;
  auto codes = MakeDisc(creator, 2, 1, &reports);
  EXPECT_EQ(codes.back(), 12);
  EXPECT_THAT(codes, ::testing::Not(::testing::Contains(10)));
  EXPECT_THAT(reports.failure(),
              ::testing::StartsWith(L"Writing the disc failed"));
}

// A second creator that starts its disc while the first one writes.
struct SecondJob {
  static void Callback(std::int32_t code, std::intptr_t first,
                       std::intptr_t second, void* context) {
    auto* self = static_cast<SecondJob*>(context);
    if (code == 8 && !self->started) {
      self->started = true;
      self->creator->SetDrive(0);
      self->creator->CreateDisc(2, 0, &DiscReports::Callback, &self->reports);
    }
    DiscReports::Callback(code, first, second, &self->first);
  }

  Tessaline* creator = nullptr;
  bool started = false;
  DiscReports first;
  DiscReports reports;
};

TEST_F(EndToEndTest, SecondJobOnABusyWorkFolderOrRecorderTouchesNothing) {
  MakeDrive("DVDPLUSRW");
  const fs::path other_work = temp_.path() / "other";
  fs::create_directories(other_work);
  for (bool same_folder : {true, false}) {
    Tessaline first = MakeCreator();
    Tessaline second(
        platform::FromUtf8((same_folder ? work_ : other_work).string()).c_str(),
        platform::FromUtf8(source_.string()).c_str(), L"RECOVERY");
    second.AnalyzeLayout(platform::FromUtf8(layout_.string()).c_str());
    SecondJob host;
    host.creator = &second;
    first.SetDrive(0);
    first.CreateDisc(2, 0, &SecondJob::Callback, &host);
    EXPECT_EQ(host.first.WaitForFinal().back(), 10);
    EXPECT_EQ(host.reports.WaitForFinal(), (std::vector<std::int32_t>{12}));
    EXPECT_THAT(host.reports.failure(),
                ::testing::EndsWith(L" - in use by another disc job"));
    EXPECT_FALSE(fs::exists(other_work / "Burn"));
  }
}

TEST_F(EndToEndTest, FailedVerificationLeavesTheTrayUnlocked) {
  MakeDrive("DVDPLUSRW");
  Tessaline creator = MakeCreator();
  // The source changes once the disc is written: the comparison fails.
  struct Changer {
    static void Callback(std::int32_t code, std::intptr_t first,
                         std::intptr_t second, void* context) {
      auto* self = static_cast<Changer*>(context);
      if (code == 9 && first == 0) WriteFile(self->file, "changed");
      DiscReports::Callback(code, first, second, &self->reports);
    }
    fs::path file;
    DiscReports reports;
  } changer{source_ / "data" / "large.bin", {}};
  creator.SetDrive(0);
  creator.CreateDisc(2, 1, &Changer::Callback, &changer);
  EXPECT_EQ(changer.reports.WaitForFinal().back(), 14);
  std::string last;
  std::istringstream log(ReadFile(drives_ / "drive0" / "requests.log"));
  for (std::string line; std::getline(log, line);) {
    if (line.find("MEDIA_REMOVAL") != std::string::npos) last = line;
  }
  EXPECT_THAT(last, ::testing::EndsWith(" allow"));
}

TEST_F(EndToEndTest, TheHostCancelsOnCtrlCAndExitsWith130) {
  MakeDrive("DVDPLUSRW", "speed=1000000");
  // The host prints a line per stage when it has no terminal; Ctrl-C comes
  // once it writes.
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    dup2(pipe_fds[1], 1);
    close(pipe_fds[0]);
    execl(TESSALINE_HOST_PATH, TESSALINE_HOST_PATH, "--drives", drives_.c_str(),
          "make", layout_.c_str(), "--source", source_.c_str(), "--media",
          "RECOVERY", "--work", work_.c_str(), "--discs", "2",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipe_fds[1]);
  std::string output;
  char c;
  bool interrupted = false;
  while (read(pipe_fds[0], &c, 1) == 1) {
    output.push_back(c);
    if (!interrupted && output.find("writing") != std::string::npos) {
      kill(pid, SIGINT);
      interrupted = true;
    }
  }
  close(pipe_fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(interrupted) << output;
  ASSERT_TRUE(WIFEXITED(status)) << output;
  EXPECT_EQ(WEXITSTATUS(status), 130) << output;
}

}  // namespace
}  // namespace tessaline::testing
