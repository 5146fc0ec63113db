// Staging a disc's items: the item list, the copy, the list of items
// missing from the source.
#include "copy_compare/copy.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#include "copy_compare/hooked_files.h"
#include "copy_compare/item_list.h"
#include "platform/text.h"
#include "support/core/test_platform.h"

namespace tessaline {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::WriteFile;
using Report = std::array<std::intptr_t, 3>;

// Copies into the staging folder of disc 2, <work>/Media2, as Stage does.
class CopyTest : public ::testing::Test {
 protected:
  CopyTest() {
    platform_.files = hooked_;
    WriteFile(Path("src/boot/efi/x.efi"), "efi");
    WriteFile(Path("src/x/y/file.txt"), "deep");
    WriteFile(Path("src/top.txt"), "top");
    fs::create_directories(Path("work/Media2"));
  }
  fs::path Path(const std::string& relative) { return temp_.path() / relative; }
  std::string Copy(const std::wstring& items) {
    try {
      CopyDiscItems(platform_, StatusReporter(&Record, this), temp_.Wide("src"),
                    items, temp_.Wide("work/Media2"), &cancel_);
    } catch (const MediaWriterException& e) {
      return platform::ToUtf8(e.message);
    }
    return "done";
  }
  static void Record(std::int32_t code, std::intptr_t first,
                     std::intptr_t second, void* self) {
    static_cast<CopyTest*>(self)->reports_.push_back({code, first, second});
  }
  std::string Lines(std::initializer_list<const char*> names) {
    std::string text;
    for (const char* name : names) text += Path(name).string() + "\r\n";
    return text;
  }

  testing::TempFolder temp_;
  testing::TestPlatform test_ = testing::MakeTestPlatform();
  std::shared_ptr<HookedFiles> hooked_ =
      std::make_shared<HookedFiles>(test_.platform->files);
  platform::Platform platform_ = *test_.platform;
  CancelFlag cancel_{0};
  std::vector<Report> reports_;
};

const char kMissing[] = "Missing source folder or files - copy failed.";

TEST_F(CopyTest, StagingCopiesItemsAndOnlyTheFirstOverAnExistingOne) {
  EXPECT_EQ(Copy(L"boot,x\\y\\file.txt,top.txt"), "done");
  EXPECT_EQ(ReadFile(Path("work/Media2/boot/efi/x.efi")), "efi");
  EXPECT_EQ(ReadFile(Path("work/Media2/x/y/file.txt")), "deep");
  EXPECT_EQ(ReadFile(Path("work/Media2/top.txt")), "top");
  EXPECT_FALSE(fs::exists(Path("work/missing.txt")));

  // Only the first entry is copied over what the destination holds.
  WriteFile(Path("work/Media2/top.txt"), "old top");
  WriteFile(Path("work/Media2/x/y/file.txt"), "old deep");
  fs::permissions(Path("work/Media2/x/y/file.txt"), fs::perms::owner_read);
  hooked_->RefuseReadOnlyDestinations();
  EXPECT_EQ(Copy(L"x/y/file.txt,top.txt"), "done");
  EXPECT_EQ(ReadFile(Path("work/Media2/top.txt")), "old top");
  EXPECT_EQ(ReadFile(Path("work/Media2/x/y/file.txt")), "deep");
}

TEST_F(CopyTest, MissingItemsAreListedInProcessingOrderAfterTheCopy) {
  // An absent first entry is listed too, last, as it is taken last.
  EXPECT_EQ(Copy(L"gone1,top.txt,gone3,gone2"), kMissing);
  EXPECT_EQ(ReadFile(Path("work/missing.txt")),
            Lines({"src/gone2", "src/gone3", "src/gone1"}));
  // The list is UTF-8 and replaces the longer one before it.
  EXPECT_EQ(Copy(L"top.txt,g\u00f6ne,boot"), kMissing);
  EXPECT_TRUE(fs::exists(Path("work/Media2/top.txt")));
  EXPECT_TRUE(fs::exists(Path("work/Media2/boot/efi/x.efi")));
  EXPECT_EQ(ReadFile(Path("work/missing.txt")), Lines({"src/g\xc3\xb6ne"}));
  // A verification may list items after the build folder is gone.
  fs::remove_all(Path("work/Media2"));
  WriteMissingReport(platform_, temp_.Wide("work/Media2"), {L"c"});
  EXPECT_EQ(ReadFile(Path("work/missing.txt")), "c\r\n");
  // With no folder above the destination there is nowhere to report.
  fs::remove(Path("work/missing.txt"));
  EXPECT_THROW(CopyDiscItems(platform_, {}, temp_.Wide("src"), L"gone1",
                             temp_.Wide("none/Media2"), &cancel_),
               MediaWriterException);
  EXPECT_FALSE(fs::exists(Path("none")));
}

TEST_F(CopyTest, ProgressIsUnsigned32BitAndTruncatedInOrder) {
  for (int i = 1; i <= 6; ++i) WriteFile(Path("src/e" + std::to_string(i)), "");
  const std::uint32_t start = 0xFFFFFE00u;  // the tick count wraps on the way
  test_.clock->SetTickCount(start);
  // Each entry's copy moves the clock to the time of its report.
  std::vector<std::uint32_t> ticks = {500, 800, 1001, 70000, 70000, 70000};
  hooked_->on_copy = [&, next = 0u](const std::wstring&) mutable {
    test_.clock->SetTickCount(start + ticks.at(next++));
    return 0u;
  };
  EXPECT_EQ(Copy(L"e1,e2,e3,e4,e5,e6"), "done");
  EXPECT_EQ(reports_,
            (std::vector<Report>{
                {1, 0, 3}, {1, 0, 2}, {1, 1, 1}, {1, 70, 105}, {1, 70, 84}}));
}

TEST_F(CopyTest, CancelStopsCopyingButNotTheWalk) {
  cancel_ = 1;
  EXPECT_EQ(Copy(L"top.txt,gone1,boot"), kMissing);
  EXPECT_TRUE(fs::is_empty(Path("work/Media2")));
  EXPECT_EQ(ReadFile(Path("work/missing.txt")), Lines({"src/gone1"}));

  cancel_ = 0;
  hooked_->on_copy = [&](const std::wstring&) -> std::uint32_t {
    cancel_ = 1;
    return 0;
  };
  EXPECT_EQ(Copy(L"top.txt,x/y/file.txt,boot"), "done");
  EXPECT_FALSE(fs::exists(Path("work/Media2/boot/efi/x.efi")));
  EXPECT_FALSE(fs::exists(Path("work/Media2/x/y/file.txt")));
  EXPECT_FALSE(fs::exists(Path("work/Media2/top.txt")));
}

TEST_F(CopyTest, FailuresNameTheDestinationAndEndTheWalk) {
  hooked_->on_copy = [](const std::wstring& to) -> std::uint32_t {
    return to.ends_with(L"top.txt") ? 0 : ENOSPC;
  };
  const std::string media = Path("work/Media2").string();
  EXPECT_EQ(Copy(L"gone1,top.txt,x/y/file.txt"),
            media +
                "/x/y/file.txt - copy failed.  Details:No space left on "
                "device");
  EXPECT_FALSE(fs::exists(Path("work/missing.txt")));
  EXPECT_FALSE(fs::exists(Path("work/Media2/top.txt")));
  EXPECT_EQ(Copy(L"boot"),
            media + "/boot - copy failed. During recursive folder copy");
  fs::remove_all(Path("work/Media2/x"));
  WriteFile(Path("work/Media2/x"), "a file in the way");
  EXPECT_EQ(Copy(L"top.txt,x/y/file.txt"),
            media +
                "/x/y/file.txt - copy failed. While creating "
                "intermediate folders");
  CopyItem(platform_, temp_.Wide("src/gone1"), temp_.Wide("work/g"), nullptr);
  EXPECT_FALSE(fs::exists(Path("work/g")));
}

TEST(ItemListTest, KeepsOrderSkipsEmptyEntriesAndRefusesOthers) {
  const platform::Platform platform = *testing::MakeTestPlatform().platform;
  ItemList list = ParseItemList(platform, L"/s", L",a,b\\c,,d/../e, f,\tt,");
  EXPECT_EQ(list.first, L"a");
  EXPECT_EQ(list.rest,
            (std::vector<std::wstring>{L"\tt", L" f", L"d/../e", L"b/c"}));
  EXPECT_EQ(list.count, 5u);
  EXPECT_EQ(ParseItemList(platform, L"/s", L"").count, 0u);
  const std::wstring outside =
      L" - copy failed. Item lies outside the source folder";
  const std::wstring itself =
      L" - copy failed. Item names the whole source folder";
  // The system cuts a path at its NUL: "..\0" is "..", "a\0" names a
  // folder whose every child is the folder again.
  for (const auto& [entry, failure] :
       std::vector<std::pair<std::wstring, std::wstring>>{
           {L"/etc", outside},
           {L"../x", outside},
           {L"a/../../x", outside},
           {std::wstring(L"..\0", 3), outside},
           {std::wstring(L"a\0", 2), outside},
           {L"a\nb", outside},
           {L"\x1f", outside},
           {L".", itself},
           {L"./", itself},
           {L"a/..", itself},
           {L"./.", itself}}) {
    try {
      ParseItemList(platform, L"/s", L"ok," + entry);
      ADD_FAILURE() << platform::ToUtf8(entry);
    } catch (const MediaWriterException& e) {
      EXPECT_EQ(e.message, L"/s/" + entry + failure);
    }
  }
}

}  // namespace
}  // namespace tessaline
