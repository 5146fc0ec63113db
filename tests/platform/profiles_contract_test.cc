// The profile reader contract, one suite for every system: POSIX's reader
// (ProfileDocument over the file's bytes) and, under Wine, the system's
// GetPrivateProfileStringW behind the Profiles seam.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/core/temp_folder.h"
#include "support/core/test_platform.h"

namespace tessaline::platform {
namespace {

using Names = std::vector<std::wstring>;

TEST(ProfilesContractTest, LongListsAndValuesAreReadWhole) {
  testing::TempFolder folder;
  std::string text = "[MEDIA:Rec]\r\n";
  Names keys;
  // Key names of 3000 characters in all, then a value of 20000.
  for (int i = 0; i < 300; ++i) {
    const std::string key = "Rec" + std::to_string(1000000 + i);
    text += key + " = x\r\n";
    keys.push_back(std::wstring(key.begin(), key.end()));
  }
  const std::string items(20000, 'a');
  text += "Long=" + items + "\r\n";
  keys.push_back(L"Long");
  testing::WriteFile(folder.path() / "layout.ini", text);

  const auto layout =
      testing::MakeSystemProfiles()->Read(folder.Wide("layout.ini"));
  ASSERT_TRUE(layout);
  EXPECT_EQ(layout->SectionNames(), Names{L"MEDIA:Rec"});
  EXPECT_EQ(layout->KeyNames(L"media:rec"), keys);
  EXPECT_EQ(layout->Value(L"MEDIA:Rec", L"LONG"),
            std::wstring(items.begin(), items.end()));
  EXPECT_EQ(layout->Value(L"MEDIA:Rec", L"rec1000299"), L"x");
}

TEST(ProfilesContractTest, FilesByRelativeNameOrUtf16AndMissingParts) {
  testing::TempFolder folder;
  testing::WriteFile(folder.path() / "here.ini", "[S]\r\nk=v\r\n");
  testing::WriteFile(folder.path() / "u.ini",
                     std::string("\xFF\xFE[\0s\0]\0\n\0k\0=\0\xE4\0", 16));
  const auto profiles = testing::MakeSystemProfiles();
  // Windows' reader alone would look for a relative name in the Windows
  // folder.
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(folder.path());
  const auto here = profiles->Read(L"here.ini");
  std::filesystem::current_path(previous);
  ASSERT_TRUE(here);
  EXPECT_EQ(here->Value(L"S", L"k"), L"v");
  EXPECT_TRUE(here->KeyNames(L"T").empty());
  EXPECT_EQ(here->Value(L"S", L"absent"), L"");
  EXPECT_EQ(profiles->Read(folder.Wide("u.ini"))->Value(L"S", L"K"), L"\u00e4");
  EXPECT_FALSE(profiles->Read(L""));
  // A missing file: nothing on POSIX, an empty profile from the system's
  // reader on Windows; the creator reads both as no media.
  const auto absent = profiles->Read(folder.Wide("absent.ini"));
  EXPECT_TRUE(!absent || absent->SectionNames().empty());
#ifndef _WIN32
  EXPECT_FALSE(absent);
  // Without a byte-order mark the bytes are UTF-8.
  testing::WriteFile(folder.path() / "l\u00e4yout.ini",
                     "[S]\r\nk = \xC3\xA4\r\n");
  EXPECT_EQ(profiles->Read(folder.Wide("l\u00e4yout.ini"))->Value(L"s", L"K"),
            L"\u00e4");
  EXPECT_FALSE(profiles->Read(folder.Wide()));
#endif
}

}  // namespace
}  // namespace tessaline::platform
