// The creator on fakes: real temporary folders, scripted drives, and fake
// disc services without a recorder, so that a job that is not cancelled
// fails at writing (12) and a cancelled one ends with 11.
#include "tessaline/tessaline.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <limits>
#include <mutex>

#include "platform/text.h"
#include "support/disc/disc_test_platform.h"

namespace tessaline::testing {
namespace {

namespace fs = std::filesystem;
using platform::DriveType;
constexpr std::int64_t kPlenty = std::int64_t{1} << 50;

class CreatorTest : public ::testing::Test {
 protected:
  CreatorTest() : test_(MakeDiscTestPlatform()) {
    fs::create_directories(folder_.path() / "work");
    test_.volumes->SetFreeBytes(work_, kPlenty);
  }
  std::unique_ptr<Tessaline> Make() {
    return std::make_unique<Tessaline>(
        work_.c_str(), folder_.Wide("source").c_str(), L"REC", test_.platform);
  }
  std::wstring Layout(const std::string& media, const std::string& sizes) {
    WriteFile(folder_.path() / "l.ini",
              "[MEDIA:REC]\n" + media + "\n[SIZE:REC]\n" + sizes + "\n");
    return folder_.Wide("l.ini");
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
  std::wstring Root(const std::string& name, DriveType type,
                    std::int64_t free) {
    fs::create_directories(folder_.path() / name);
    test_.volumes->AddRoot(folder_.Wide(name) + L"/", type, free);
    return folder_.Wide(name) + L"/";
  }

  TempFolder folder_;
  DiscTestPlatform test_;
  std::wstring work_ = folder_.Wide("work");
  std::unique_ptr<Tessaline> creator_ = Make();
};

TEST_F(CreatorTest, LayoutFailuresCarryTheirExactMessages) {
  EXPECT_EQ(Failure(folder_.Wide("no.ini")),
            L" layout ini not found:" + folder_.Wide("no.ini"));
  WriteFile(folder_.path() / "e.ini", "; [MEDIA:REC]\nREC1=a\n");
  EXPECT_EQ(Failure(folder_.Wide("e.ini")), L"Sections not found");
  WriteFile(folder_.path() / "e.ini", "[SIZE:REC]\nREC1=1\n[MEDIA:REC]\n");
  EXPECT_EQ(Failure(folder_.Wide("e.ini")), L"Section not found:MEDIA:REC");
  // Sections match without case, disc keys only exactly.
  EXPECT_EQ(Failure(Layout("rec1=a", "REC1=1")),
            L"Value not found (for key)REC1");
  EXPECT_EQ(creator_->NumDiscs(), 0u);
  EXPECT_EQ(Failure(Layout("REC1=a\nREC2=b", "REC1=1\nREC2=  ")),
            L"Value not found (for key)REC2");
  EXPECT_EQ(Failure(Layout("REC1=a\nREC2=\"\"", "REC1=1\nREC2=1")),
            L"Value not found (for key)REC2");
  EXPECT_EQ(creator_->NumDiscs(), 1u);
}

TEST_F(CreatorTest, DiscsRunWithoutGapsAndLaterReadingsKeepHigherOnes) {
  // REC4 has no size: reading it would fail.
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
  struct Case {
    const char* size;
    std::int64_t enough;
    const wchar_t* asked;
  };
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  for (const Case& c : {Case{" +1000000000x", 2020971520, L"MB 1927"},
                        Case{"about 2 GB", 20971520, L"MB 20"},
                        Case{"-3000000000", 20971520, L"MB 20"},
                        Case{"4611686018427387904", kMax, L"MB 2147483647"}}) {
    const std::wstring layout = Layout("REC1=a", std::string("REC1=") + c.size);
    test_.volumes->SetFreeBytes(work_, c.enough);
    EXPECT_EQ(Failure(layout), L"none") << c.size;
    test_.volumes->SetFreeBytes(work_, c.enough - 1);
    EXPECT_EQ(Failure(layout), c.asked) << c.size;
    EXPECT_EQ(Work(), work_);
  }
}

TEST_F(CreatorTest, SearchTakesTheFirstFixedDriveWithRoomAndStaysThere) {
  creator_->SetTempDir(L"/nowhere");  // an unknown volume has no room
  // Drives that are not fixed are never chosen, nor asked for their room.
  Root("B", DriveType::kRemote, kPlenty);
  Root("C", DriveType::kRamDisk, kPlenty);
  Root("D", DriveType::kRemovable, kPlenty);
  const std::wstring e = Root("E", DriveType::kFixed, 1000);
  Root("F", DriveType::kCdrom, kPlenty);
  WriteFile(folder_.path() / "G", "a file: no folder can be made there");
  test_.volumes->AddRoot(folder_.Wide("G") + L"/", DriveType::kFixed, kPlenty);
  const std::wstring h = Root("H", DriveType::kFixed, 100 << 20);
  Root("I", DriveType::kFixed, 1 << 30);
  const fs::path stale = folder_.path() / "H/temp/ZeltRecovery/boot.iso";
  WriteFile(stale, "old");
  fs::permissions(stale, fs::perms::owner_read);

  EXPECT_EQ(Failure(Layout("REC1=a\nREC2=b\nREC3=c",
                           "REC1=1\nREC2=2\nREC3=1073741824")),
            L"MB 2068");
  const std::wstring moved = h + L"temp/ZeltRecovery/";
  EXPECT_EQ(Work(), moved);
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_FALSE(fs::exists(folder_.path() / "I/temp"));
  // Disc 2 is tested against the new work folder first; disc 3 fits
  // nowhere, and I is never reached because H had room for disc 1.
  const auto g = folder_.Wide("G") + L"/";
  EXPECT_EQ(test_.volumes->FreeBytesQueries(),
            (std::vector<std::wstring>{L"/nowhere", e, g, h, moved, moved, e, g,
                                       h, folder_.Wide("I") + L"/"}));
  EXPECT_EQ(creator_->NumDiscs(), 2u);
}

TEST_F(CreatorTest, StageCopiesTheItemsOrListsTheMissingOnes) {
  WriteFile(folder_.path() / "source/a.txt", "a");
  WriteFile(folder_.path() / "source/sys/deep/x", "x");
  fs::create_directories(folder_.path() / "other");
  test_.volumes->SetFreeBytes(folder_.Wide("other"), kPlenty);
  EXPECT_EQ(creator_->SetTempDir(folder_.Wide("other").c_str()), 1);
  // Vertical tabs are dropped from the lists as they are read.
  creator_->AnalyzeLayout(
      Layout("REC1=a.txt,\vsys\v\nREC2=a.txt,gone1,sys,gone2", "REC1=1\nREC2=1")
          .c_str());
  creator_->Stage(1);
  EXPECT_EQ(ReadFile(folder_.path() / "other/REC1/sys/deep/x"), "x");
  EXPECT_EQ(ReadFile(folder_.path() / "other/REC1/a.txt"), "a");
  try {
    creator_->Stage(2);
    ADD_FAILURE();
  } catch (const MediaWriterException& e) {
    EXPECT_EQ(e.message, L"Missing source folder or files - copy failed.");
  }
  const std::string source = folder_.path().string() + "/source/";
  EXPECT_EQ(ReadFile(folder_.path() / "other/missing.txt"),
            source + "gone2\r\n" + source + "gone1\r\n");
  EXPECT_EQ(ReadFile(folder_.path() / "other/REC2/sys/deep/x"), "x");
  EXPECT_EQ(ReadFile(folder_.path() / "other/REC2/a.txt"), "a");
  creator_->Stage(7);
  EXPECT_EQ(creator_->NumDiscs(), 3u);
  EXPECT_TRUE(fs::is_empty(folder_.path() / "other/REC7"));
}

// Final reports of one job; can hold the job at its first report.
struct Reports {
  static void Callback(std::int32_t code, std::intptr_t first, std::intptr_t,
                       void* context) {
    auto* self = static_cast<Reports*>(context);
    std::unique_lock<std::mutex> lock(self->mutex);
    if (code >= 10 && code <= 14) self->finals.push_back(code);
    if (code == 12 && first != 0) {
      self->failure = reinterpret_cast<const wchar_t*>(first);
    }
    if (self->hold && !self->held) {
      self->held = true;
      self->changed.notify_all();
      self->changed.wait(lock, [self] { return self->released; });
    }
  }
  void WaitUntilHeld() {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return held; });
  }
  void Release() {
    std::lock_guard<std::mutex> lock(mutex);
    released = true;
    changed.notify_all();
  }
  std::mutex mutex;
  std::condition_variable changed;
  bool hold = false, held = false, released = false;
  std::vector<std::int32_t> finals;
  std::wstring failure;
};
const std::vector<std::int32_t> kCancelled{11}, kFailed{12};

// A media name is part of file names (the staging folder, the disc marker):
// one that is not a plain name is refused before any file is touched.
TEST_F(CreatorTest, MediaNamesThatAreNoPlainNameAreRefused) {
  WriteFile(folder_.path() / "source/a.txt", "a");
  WriteFile(folder_.path() / "victim1", "keep");
  const std::wstring layout = Layout("REC1=a.txt", "REC1=1");
  const auto before = TreeOf(folder_.path());
  for (const std::wstring& name :
       {std::wstring(L"../victim"), std::wstring(L"a/b"), std::wstring(L"a\\b"),
        std::wstring(L"C:x"), std::wstring(L"R..1"), std::wstring(L"R\t")}) {
    Tessaline creator(work_.c_str(), folder_.Wide("source").c_str(),
                      name.c_str(), test_.platform);
    const std::wstring refusal =
        L"Media name cannot be part of a file name:" + name;
    Reports reports;
    for (int call = 0; call < 3; ++call) {
      try {
        if (call == 0) creator.AnalyzeLayout(layout.c_str());
        if (call == 1) creator.Stage(1);
        if (call == 2) creator.CreateDisc(1, 0, &Reports::Callback, &reports);
        ADD_FAILURE() << call;
      } catch (const CreateMediaException& e) {
        EXPECT_EQ(e.message, refusal) << call;
      }
    }
    EXPECT_TRUE(reports.finals.empty());
  }
  EXPECT_EQ(TreeOf(folder_.path()), before);
}

// Every disc deletes parts of its work folder: a work folder that overlaps
// the source, as the system resolves both, starts nothing and touches
// nothing.
TEST_F(CreatorTest, WorkFolderOverlappingTheSourceIsRefused) {
  WriteFile(folder_.path() / "source/a.txt", "a");
  WriteFile(folder_.path() / "source/Burn/b.txt", "b");
  fs::create_directory_symlink(folder_.path() / "source",
                               folder_.path() / "ln");
  const std::wstring layout = Layout("REC1=a.txt", "REC1=1");
  creator_->AnalyzeLayout(layout.c_str());
  const auto before = TreeOf(folder_.path());
  const std::wstring source = folder_.Wide("source");
  for (const std::wstring& work :
       {source, folder_.Wide("ln/Burn"), folder_.Wide("work/../source/new/x"),
        folder_.Wide(""), folder_.Wide("work/../ln/")}) {
    SCOPED_TRACE(platform::ToUtf8(work));
    creator_->SetTempDir(work.c_str());
    const std::wstring refusal =
        work + L" - work folder and source folder overlap: " + source;
    try {
      creator_->Stage(1);
      ADD_FAILURE();
    } catch (const MediaWriterException& e) {
      EXPECT_EQ(e.message, refusal);
    }
    Reports reports;
    creator_->CreateDisc(1, 0, &Reports::Callback, &reports);
    EXPECT_EQ(reports.finals, kFailed);
    EXPECT_EQ(reports.failure, refusal);
  }
  EXPECT_EQ(TreeOf(folder_.path()), before);
}

// Entries that name the whole source, or hold control characters, stop
// the staging before anything is copied.
TEST_F(CreatorTest, StageRefusesEntriesNamingTheSourceOrControlCharacters) {
  WriteFile(folder_.path() / "source/a.txt", "a");
  struct Case {
    const char* entry;
    const wchar_t* failure;
  };
  for (const Case& c :
       {Case{".", L"/. - copy failed. Item names the whole source folder"},
        {"./", L"/./ - copy failed. Item names the whole source folder"},
        {"b/..", L"/b/.. - copy failed. Item names the whole source folder"},
        {"./.", L"/./. - copy failed. Item names the whole source folder"},
        {"a\x01b",
         L"/a\x01b - copy failed. Item lies outside the source folder"},
        {"..\x1f",
         L"/..\x1f - copy failed. Item lies outside the source folder"}}) {
    SCOPED_TRACE(c.entry);
    creator_->AnalyzeLayout(
        Layout(std::string("REC1=a.txt,") + c.entry, "REC1=1").c_str());
    try {
      creator_->Stage(1);
      ADD_FAILURE();
    } catch (const MediaWriterException& e) {
      EXPECT_EQ(e.message, folder_.Wide("source") + c.failure);
    }
    EXPECT_FALSE(fs::exists(folder_.path() / "work/REC1/a.txt"));
  }
}

// Jobs run one after the other: they share the work folder.
TEST_F(CreatorTest, CancelStaysAndCopiesGetItsValueInAFlagOfTheirOwn) {
  Reports copied, assigned, first, untouched;
  creator_->Cancel();
  Tessaline(*creator_).CreateDisc(2, 0, &Reports::Callback, &copied);
  {
    Tessaline target(L"w", L"s", L"m", test_.platform);
    target = *creator_;
    target.CreateDisc(2, 0, &Reports::Callback, &assigned);
  }
  creator_->CreateDisc(2, 0, &Reports::Callback, &first);
  auto fresh = Make();
  Tessaline(*fresh).Cancel();
  fresh->CreateDisc(2, 0, &Reports::Callback, &untouched);
  creator_.reset();
  fresh.reset();
  EXPECT_EQ(copied.finals, kCancelled);
  EXPECT_EQ(assigned.finals, kCancelled);
  EXPECT_EQ(first.finals, kCancelled);
  EXPECT_EQ(untouched.finals, kFailed);
}

TEST_F(CreatorTest, ARunningJobMovesWithCopiesAndAssignments) {
  Reports moved, own, later;
  moved.hold = true;
  creator_->CreateDisc(2, 0, &Reports::Callback, &moved);
  moved.WaitUntilHeld();
  auto copy = std::make_unique<Tessaline>(*creator_);
  // Would wait for the held job if the source still owned it.
  creator_.reset();
  auto target = Make();
  target->CreateDisc(2, 0, &Reports::Callback, &own);
  *target = *copy;
  EXPECT_EQ(own.finals, kFailed);
  // The job's last owner cancels it; its earlier owners are not cancelled.
  target->Cancel();
  moved.Release();
  target.reset();
  EXPECT_EQ(moved.finals, kCancelled);
  copy->CreateDisc(2, 0, &Reports::Callback, &later);
  copy.reset();
  EXPECT_EQ(later.finals, kFailed);
}

}  // namespace
}  // namespace tessaline::testing
