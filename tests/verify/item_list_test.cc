#include "verify/item_list.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/text.h"
#include "support/core/test_platform.h"
#include "tessaline/tessaline.h"

namespace tessaline {
namespace {

namespace fs = std::filesystem;

TEST(ItemListTest, KeepsOrderSkipsEntriesNamingTheSourceAndRefusesOthers) {
  const platform::Platform platform = *testing::MakeTestPlatform().platform;
  ItemList list = ParseItemList(platform, L"/s", L",a,b\\c,,d/../e, f,.,g/..,");
  EXPECT_EQ(list.first, L"a");
  EXPECT_EQ(list.rest, (std::vector<std::wstring>{L" f", L"d/../e", L"b/c"}));
  EXPECT_EQ(list.count, 4u);
  EXPECT_EQ(ParseItemList(platform, L"/s", L"").count, 0u);
  for (const wchar_t* entry : {L"/etc", L"..\\x", L"a/../../x"}) {
    EXPECT_THROW(ParseItemList(platform, L"/s", L"ok," + std::wstring(entry)),
                 MediaWriterException)
        << platform::ToUtf8(entry);
  }
}

TEST(ItemListTest, ReportIsUtf8ReplacesTheOldOneAndFailsAsAFile) {
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

  fs::remove(report);
  fs::create_directory(report);
  try {
    WriteMissingReport(platform, temp.Wide("Burn"), {L"b"});
    ADD_FAILURE() << "no exception";
  } catch (const FileException& e) {
    EXPECT_EQ(e.path, temp.Wide("missing.txt"));
    EXPECT_EQ(e.message, L"Is a directory");
  }
}

}  // namespace
}  // namespace tessaline
