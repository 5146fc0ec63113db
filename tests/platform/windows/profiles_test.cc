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

  const auto profiles = windows::MakeProfiles();
  const std::wstring file = folder.Wide("layout.ini");
  EXPECT_EQ(profiles->SectionNames(file), Names{L"MEDIA:Rec"});
  EXPECT_EQ(profiles->KeyNames(file, L"media:rec"), keys);
  EXPECT_EQ(profiles->Value(file, L"MEDIA:Rec", L"LONG"),
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
      windows::MakeProfiles()->Value(L"here.ini", L"S", L"k");
  ::SetCurrentDirectoryW(previous);
  EXPECT_EQ(value, L"v");
}

TEST(WindowsProfilesTest, MissingFilesAndSectionsGiveNothing) {
  testing::TempFolder folder;
  testing::WriteFile(folder.path() / "s.ini", "[S]\r\nk=v\r\n");
  const auto profiles = windows::MakeProfiles();
  EXPECT_TRUE(profiles->SectionNames(folder.Wide("absent.ini")).empty());
  EXPECT_TRUE(profiles->SectionNames(L"").empty());
  EXPECT_TRUE(profiles->KeyNames(folder.Wide("s.ini"), L"T").empty());
  EXPECT_EQ(profiles->Value(folder.Wide("s.ini"), L"S", L"absent"), L"");
}

}  // namespace
}  // namespace tessaline::platform
