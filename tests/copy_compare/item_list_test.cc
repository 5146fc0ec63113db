#include "copy_compare/item_list.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/text.h"
#include "support/core/test_platform.h"
#include "tessaline/tessaline.h"

namespace tessaline {
namespace {

namespace fs = std::filesystem;

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

TEST(ItemListTest, ReportIsUtf8AndReplacesTheOldOne) {
  const platform::Platform platform = *testing::MakeTestPlatform().platform;
  testing::TempFolder temp;
  const fs::path report = temp.path() / "missing.txt";
  testing::WriteFile(report, std::string(100, 'o'));
  fs::create_directory(temp.path() / "Burn");
  WriteMissingReport(platform, temp.Wide("Burn"), {L"/s/\u00e9t\u00e9", L"b"});
  EXPECT_EQ(testing::ReadFile(report), "/s/\xc3\xa9t\xc3\xa9\r\nb\r\n");
  // The build folder may be gone by the time a verification lists items.
  fs::remove_all(temp.path() / "Burn");
  WriteMissingReport(platform, temp.Wide("Burn"), {L"c"});
  EXPECT_EQ(testing::ReadFile(report), "c\r\n");
}

}  // namespace
}  // namespace tessaline
