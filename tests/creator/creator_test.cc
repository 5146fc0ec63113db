// The creator on the drive rig; drive 0 holds a DVD+RW, so that every job
// that is neither cancelled nor refused writes it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <limits>
#include <semaphore>
#include <tuple>

#include "platform/text.h"
#include "support/rig/drive_rig.h"
#include "tessaline/tessaline.h"

namespace tessaline::testing {
namespace {

namespace fs = std::filesystem;
using platform::DriveType;
using ::testing::ElementsAre;
constexpr std::int64_t kPlenty = std::int64_t{1} << 50;

// Holds the job's thread at its first report of `code` until released.
struct Hold {
  Hold(StatusLog& log, std::int32_t code) {
    log.SetHook([this, code](const StatusReport& report) {
      if (report.code == code && !held.exchange(true)) {
        reached.release();
        go.acquire();
      }
    });
  }
  std::atomic<bool> held{false};
  std::binary_semaphore reached{0}, go{0};
};

class CreatorTest : public DriveRig {
 protected:
  CreatorTest() {
    AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDPLUSRW, "speed=100000");
    test_.volumes->SetFreeBytes(Wide(work_), kPlenty);
  }
  std::unique_ptr<Tessaline> Make(const std::wstring& media = L"REC") {
    return std::make_unique<Tessaline>(Wide(work_).c_str(),
                                       Wide(source_).c_str(), media.c_str(),
                                       test_.platform);
  }
  std::wstring Layout(const std::string& media, const std::string& sizes) {
    WriteFile(layout_,
              "[MEDIA:REC]\n" + media + "\n[SIZE:REC]\n" + sizes + "\n");
    return Wide(layout_);
  }
  std::wstring Failure(const std::wstring& layout) {
    try {
      creator_->AnalyzeLayout(layout.c_str());
    } catch (const CreateMediaException& e) {
      return e.message;
    } catch (const CreateMediaExceptionMoreDiskSpaceNeededPlease& e) {
      return L"MB " + std::to_wstring(e.megabytesNeeded);
    }
    return L"none";
  }
  std::wstring Work() const {
    const wchar_t* folder = nullptr;
    EXPECT_EQ(creator_->GetTempDir(&folder), 1);
    return folder;
  }
  void Root(const std::string& name, DriveType type, std::int64_t free) {
    fs::create_directories(temp_.path() / name);
    test_.volumes->AddRoot(temp_.Wide(name) + L"/", type, free);
  }
  std::int32_t Final(Tessaline& creator, std::int32_t disc, StatusLog* log) {
    return MakeDisc(creator, disc, 0, log).code;
  }

  std::unique_ptr<Tessaline> creator_ = Make();
};

TEST_F(CreatorTest, LayoutFailuresCarryTheirExactMessages) {
  EXPECT_EQ(Failure(temp_.Wide("no.ini")),
            L" layout ini not found:" + temp_.Wide("no.ini"));
  WriteFile(layout_, "; [MEDIA:REC]\nREC1=a\n");
  EXPECT_EQ(Failure(Wide(layout_)), L"Sections not found");
  WriteFile(layout_, "[SIZE:REC]\nREC1=1\n[MEDIA:REC]\n");
  EXPECT_EQ(Failure(Wide(layout_)), L"Section not found:MEDIA:REC");
  // Sections match without case, disc keys only exactly.
  EXPECT_EQ(Failure(Layout("rec1=a", "REC1=1")),
            L"Value not found (for key)REC1");
  EXPECT_EQ(creator_->NumDiscs(), 0u);
  EXPECT_EQ(Failure(Layout("REC1=a\nREC2=b", "REC1=1\nREC2=  ")),
            L"Value not found (for key)REC2");
  EXPECT_EQ(creator_->NumDiscs(), 1u);
  // Discs run without gaps, and a later reading keeps higher ones.
  const auto gap = [&] {
    return Layout("REC1=a\nREC2=b\nREC4=d", "REC1=1\nREC2=2");
  };
  creator_->AnalyzeLayout(gap().c_str());
  EXPECT_EQ(creator_->NumDiscs(), 2u);
  creator_->AnalyzeLayout(
      Layout("REC1=a\nREC2=b\nREC3=c", "REC1=1\nREC2=2\nREC3=3").c_str());
  creator_->AnalyzeLayout(gap().c_str());
  EXPECT_EQ(creator_->NumDiscs(), 3u);
}

TEST_F(CreatorTest, RoomIsTwiceTheSizePlus20MiBAndNeverWrapsAround) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  for (const auto& [size, enough, asked] :
       {std::tuple{" +1000000000x", std::int64_t{2020971520}, L"MB 1927"},
        {"about 2 GB", 20971520, L"MB 20"},
        {"-3000000000", 20971520, L"MB 20"},
        {"4611686018427387904", kMax, L"MB 2147483647"}}) {
    const std::wstring layout = Layout("REC1=a", std::string("REC1=") + size);
    test_.volumes->SetFreeBytes(Wide(work_), enough);
    EXPECT_EQ(Failure(layout), L"none") << size;
    test_.volumes->SetFreeBytes(Wide(work_), enough - 1);
    EXPECT_EQ(Failure(layout), asked) << size;
  }
}

TEST_F(CreatorTest, SearchTakesTheFirstFixedDriveWithRoomAndStaysThere) {
  creator_->SetTempDir(L"/nowhere");  // an unknown volume has no room
  Root("B", DriveType::kRemote, kPlenty);
  Root("C", DriveType::kRamDisk, kPlenty);
  Root("D", DriveType::kRemovable, kPlenty);
  Root("E", DriveType::kFixed, 1000);
  Root("F", DriveType::kCdrom, kPlenty);
  WriteFile(temp_.path() / "G", "a file: no folder can be made there");
  test_.volumes->AddRoot(temp_.Wide("G") + L"/", DriveType::kFixed, kPlenty);
  Root("H", DriveType::kFixed, 100 << 20);
  Root("I", DriveType::kFixed, 1 << 30);
  const fs::path stale = temp_.path() / "H/temp/ZeltRecovery/boot.iso";
  WriteFile(stale, "old");
  fs::permissions(stale, fs::perms::owner_read);

  EXPECT_EQ(Failure(Layout("REC1=a\nREC2=b\nREC3=c",
                           "REC1=1\nREC2=2\nREC3=1073741824")),
            L"MB 2068");
  EXPECT_EQ(Work(), temp_.Wide("H/temp/ZeltRecovery/"));
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_FALSE(fs::exists(temp_.path() / "I/temp"));
  // I is never reached: H had room for disc 1; disc 3 fits nowhere.
  EXPECT_EQ(creator_->NumDiscs(), 2u);
}

TEST_F(CreatorTest, StageCopiesTheItemsOrListsTheMissingOnes) {
  WriteFile(source_ / "a.txt", "a");
  WriteFile(source_ / "sys/deep/x", "x");
  fs::create_directories(temp_.path() / "other");
  test_.volumes->SetFreeBytes(temp_.Wide("other"), kPlenty);
  EXPECT_EQ(creator_->SetTempDir(temp_.Wide("other").c_str()), 1);
  // Vertical tabs are dropped from the lists as they are read.
  creator_->AnalyzeLayout(
      Layout("REC1=a.txt,\vsys\v\nREC2=a.txt,gone1,sys,gone2", "REC1=1\nREC2=1")
          .c_str());
  creator_->Stage(1);
  EXPECT_THROW(creator_->Stage(2), MediaWriterException);
  const std::string source = source_.string() + "/";
  EXPECT_EQ(ReadFile(temp_.path() / "other/missing.txt"),
            source + "gone2\r\n" + source + "gone1\r\n");
  for (const char* disc : {"REC1", "REC2"}) {
    EXPECT_EQ(ReadFile(temp_.path() / "other" / disc / "sys/deep/x"), "x");
    EXPECT_EQ(ReadFile(temp_.path() / "other" / disc / "a.txt"), "a");
  }
}

// A media name is part of file names (the staging folder, the disc marker).
TEST_F(CreatorTest, MediaNamesThatAreNoPlainNameAreRefused) {
  WriteFile(source_ / "a.txt", "a");
  WriteFile(temp_.path() / "victim1", "keep");
  const std::wstring layout = Layout("REC1=a.txt", "REC1=1");
  const auto before = TreeOf(temp_.path());
  for (const wchar_t* name :
       {L"../victim", L"a/b", L"a\\b", L"C:x", L"R..1", L"R\t"}) {
    auto creator = Make(name);
    EXPECT_THROW(creator->AnalyzeLayout(layout.c_str()), CreateMediaException);
    EXPECT_THROW(creator->Stage(1), CreateMediaException);
    EXPECT_THROW(creator->CreateDisc(1, 0, &StatusLog::Callback, &log_),
                 CreateMediaException);
  }
  EXPECT_TRUE(log_.Reports().empty());
  EXPECT_EQ(TreeOf(temp_.path()), before);
}

// Every disc deletes parts of its work folder.
TEST_F(CreatorTest, WorkFolderOverlappingTheSourceIsRefused) {
  WriteFile(source_ / "a.txt", "a");
  WriteFile(source_ / "Burn/b.txt", "b");
  fs::create_directory_symlink(source_, temp_.path() / "ln");
  creator_->AnalyzeLayout(Layout("REC1=a.txt", "REC1=1").c_str());
  const auto before = TreeOf(temp_.path());
  for (const std::wstring& work : {Wide(source_), temp_.Wide("ln/Burn"),
                                   temp_.Wide("work/../source/new/x"),
                                   temp_.Wide(""), temp_.Wide("work/../ln/")}) {
    SCOPED_TRACE(platform::ToUtf8(work));
    creator_->SetTempDir(work.c_str());
    EXPECT_THROW(creator_->Stage(1), MediaWriterException);
    StatusLog log;
    EXPECT_EQ(Final(*creator_, 1, &log), 12);
    EXPECT_EQ(log.FailureText(), work +
                                     L" - work folder and source folder "
                                     L"overlap: " +
                                     Wide(source_));
  }
  EXPECT_EQ(TreeOf(temp_.path()), before);
}

TEST_F(CreatorTest, DiscOutsideThePlanIsAddedAndWritten) {
  EXPECT_EQ(Final(*creator_, 3, &log_), 10);
  EXPECT_EQ(creator_->NumDiscs(), 1u);
  EXPECT_TRUE(OnDisc("REC3"));
  // Without a callback the job runs on; the creator's end waits for it.
  creator_->CreateDisc(2, 0, nullptr, nullptr);
  creator_.reset();
  EXPECT_TRUE(OnDisc("REC2"));
}

TEST_F(CreatorTest, CancelStaysAndCopiesGetItsValueInAFlagOfTheirOwn) {
  StatusLog copied, assigned, first, untouched;
  creator_->Cancel();
  EXPECT_EQ(Final(*std::make_unique<Tessaline>(*creator_), 2, &copied), 11);
  {
    Tessaline target(L"w", L"s", L"m", test_.platform);
    target = *creator_;
    EXPECT_EQ(Final(target, 2, &assigned), 11);
  }
  EXPECT_EQ(Final(*creator_, 2, &first), 11);
  EXPECT_THAT(first.Codes(), ElementsAre(1, 15, 11));
  EXPECT_EQ(Medium("drive0", "written"), "0");
  auto fresh = Make();
  Tessaline(*fresh).Cancel();
  EXPECT_EQ(Final(*fresh, 2, &untouched), 10);
}

TEST_F(CreatorTest, HostCancelsWhileTheJobsThreadWrites) {
  Hold hold(log_, 8);
  creator_->CreateDisc(2, 1, &StatusLog::Callback, &log_);
  hold.reached.acquire();
  creator_->Cancel();
  hold.go.release();
  EXPECT_EQ(log_.WaitForFinal().code, 11);
  EXPECT_THAT(log_.Codes(), ::testing::Not(::testing::Contains(9)));
  EXPECT_EQ(Medium("drive0", "damaged"), "1");
}

// Its last owner cancels it; its earlier owners are not cancelled.
TEST_F(CreatorTest, ARunningJobMovesWithCopiesAndAssignments) {
  StatusLog later;
  Hold hold(log_, 1);
  creator_->CreateDisc(2, 0, &StatusLog::Callback, &log_);
  hold.reached.acquire();
  auto copy = std::make_unique<Tessaline>(*creator_);
  // Would wait for the held job if it still owned it.
  creator_.reset();
  auto target = Make();
  *target = *copy;
  target->Cancel();
  hold.go.release();
  target.reset();
  EXPECT_EQ(log_.WaitForFinal().code, 11);
  EXPECT_EQ(Final(*copy, 2, &later), 10);
  EXPECT_EQ(log_.FinalReports(), 1);
}

// The final report runs on the job's thread, which has let go of the work
// folder and the recorder by then: the next job must find them free.
TEST_F(CreatorTest, FinalReportMayStartTheNextDiscOrEndTheCreator) {
  for (bool end : {true, false}) {
    StatusLog first, next;
    first.SetHook([&](const StatusReport& report) {
      if (report.code < 10 || report.code > 14) return;
      if (end) return creator_.reset();
      bool in_use = false;
      EXPECT_NE(test_.platform->files->LockExclusive(
                    Wide(work_ / "tessaline.lock"), &in_use),
                nullptr);
      creator_->CreateDisc(3, 0, &StatusLog::Callback, &next);
    });
    creator_ = Make();
    EXPECT_EQ(Final(*creator_, 2, &first), 10);
    if (!end) {
      EXPECT_EQ(next.WaitForFinal().code, 10);
    }
    creator_.reset();
    EXPECT_EQ(OnDisc("REC3").has_value(), !end);
  }
}

}  // namespace
}  // namespace tessaline::testing
