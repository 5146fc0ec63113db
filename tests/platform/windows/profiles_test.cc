// The system's profile reader behind the Profiles seam: answers longer than
// a first buffer, relative paths, files that are not there.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/windows/win32.h"
#include "platform/windows/windows_backends.h"
#include "support/core/temp_folder.h"

namespace tessaline::platform {
namespace {

using Names = std::vector<std::wstring>;

TEST(WindowsProfilesTest, LongListsAndValuesAreReadWhole) {
  testing::TempFolder folder;
  std::string text = "[MEDIA:Rec]\r\n";
  Names keys;
  // Key names of 3000 characters in all, then a value of 20000.
  for (int i = 0; i < 300; ++i) {
    const std::string key = "Rec" + std::to_string(1000000 + i);
    text += key + "=x\r\n";
    keys.push_back(std::wstring(key.begin(), key.end()));
  }
  const std::string items(20000, 'a');
  text += "Long=" + items + "\r\n";
  keys.push_back(L"Long");
  testing::WriteFile(folder.path() / "layout.ini", text);

  const auto layout = windows::MakeProfiles()->Read(folder.Wide("layout.ini"));
  ASSERT_TRUE(layout);
  EXPECT_EQ(layout->SectionNames(), Names{L"MEDIA:Rec"});
  EXPECT_EQ(layout->KeyNames(L"media:rec"), keys);
  EXPECT_EQ(layout->Value(L"MEDIA:Rec", L"LONG"),
            std::wstring(items.begin(), items.end()));
}

TEST(WindowsProfilesTest, ARelativeNameIsTakenFromTheCurrentFolder) {
  testing::TempFolder folder;
  testing::WriteFile(folder.path() / "here.ini", "[S]\r\nk=v\r\n");
  wchar_t previous[MAX_PATH];
  ASSERT_NE(::GetCurrentDirectoryW(MAX_PATH, previous), 0u);
  ASSERT_TRUE(::SetCurrentDirectoryW(folder.Wide().c_str()));
  // The system's reader alone would look for it in the Windows folder.
  const std::wstring value =
      windows::MakeProfiles()->Read(L"here.ini")->Value(L"S", L"k");
  ::SetCurrentDirectoryW(previous);
  EXPECT_EQ(value, L"v");
}

TEST(WindowsProfilesTest, MissingFilesAndSectionsGiveNothing) {
  testing::TempFolder folder;
  testing::WriteFile(folder.path() / "s.ini", "[S]\r\nk=v\r\n");
  const auto profiles = windows::MakeProfiles();
  EXPECT_TRUE(
      profiles->Read(folder.Wide("absent.ini"))->SectionNames().empty());
  EXPECT_FALSE(profiles->Read(L""));
  const auto layout = profiles->Read(folder.Wide("s.ini"));
  EXPECT_TRUE(layout->KeyNames(L"T").empty());
  EXPECT_EQ(layout->Value(L"S", L"absent"), L"");
}

}  // namespace
}  // namespace tessaline::platform
