// Volumes on Windows: free space, drive types, the work drives from D to Z
// and the module folder; and the creator's drive search over the system's
// real drive letters.
#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform_wrapper.h"
#include "platform/windows/win32.h"
#include "platform/windows/windows_backends.h"
#include "support/core/test_platform.h"
#include "tessaline/tessaline.h"

namespace tessaline::platform {
namespace {

// Letters that the test run mapped to folders of their own, which the
// system counts as fixed disks (TESSALINE_WINE_FIXED_DRIVES, set up by
// scripts/windows-check.sh); empty where nobody did.
std::wstring FixedTestDrives() {
  const char* letters = std::getenv("TESSALINE_WINE_FIXED_DRIVES");
  std::wstring drives;
  for (const char* c = letters; c != nullptr && *c != '\0'; ++c) {
    drives.push_back(static_cast<wchar_t>(*c));
  }
  return drives;
}

std::wstring Root(wchar_t letter) { return std::wstring{letter, L':', L'\\'}; }

TEST(WindowsVolumesTest, WorkDrivesRunFromDToZ) {
  const auto roots = windows::MakeVolumes()->CandidateWorkRoots();
  ASSERT_EQ(roots.size(), 23u);
  for (std::size_t i = 0; i < roots.size(); ++i) {
    EXPECT_EQ(roots[i], Root(static_cast<wchar_t>(L'D' + i)));
  }
}

TEST(WindowsVolumesTest, DriveTypesAndFreeSpaceComeFromTheSystem) {
  const auto volumes = windows::MakeVolumes();
  testing::TempFolder folder;
  std::int64_t free = -1;
  EXPECT_EQ(volumes->TypeOfRoot(Root(folder.Wide()[0])), DriveType::kFixed);

  // A letter nobody uses has no root and cannot be asked for room.
  DWORD used = ::GetLogicalDrives();
  wchar_t unused = 0;
  for (wchar_t letter = L'Z'; letter >= L'D' && unused == 0; --letter) {
    if ((used & (1u << (letter - L'A'))) == 0) unused = letter;
  }
  ASSERT_NE(unused, 0);
  EXPECT_EQ(volumes->TypeOfRoot(Root(unused)), DriveType::kNoRootDir);
  EXPECT_FALSE(volumes->FreeBytes(Root(unused), &free));

  for (wchar_t letter : FixedTestDrives()) {
    EXPECT_EQ(volumes->TypeOfRoot(Root(letter)), DriveType::kFixed);
  }
}

TEST(WindowsVolumesTest, ModuleFolderIsTheRecordedModules) {
  const auto volumes = windows::MakeVolumes();
  wchar_t system[MAX_PATH];
  const UINT system_size = ::GetSystemDirectoryW(system, MAX_PATH);
  void* const before = windows::RecordedModuleHandle();
  windows::RecordModuleHandle(::GetModuleHandleW(L"kernel32.dll"));
  const std::wstring recorded = volumes->ModuleFolder();
  windows::RecordModuleHandle(before);
  EXPECT_EQ(::CompareStringOrdinal(recorded.c_str(), -1, system,
                                   static_cast<int>(system_size), TRUE),
            CSTR_EQUAL)
      << ::testing::PrintToString(recorded);
}

// Volumes that remember the roots whose type was asked, and report room
// only on one drive.
class SearchVolumes : public VolumesWrapper {
 public:
  SearchVolumes(std::shared_ptr<Volumes> target, wchar_t roomy)
      : VolumesWrapper(std::move(target)), roomy_(roomy) {}

  bool FreeBytes(const std::wstring& path, std::int64_t* free) override {
    std::int64_t real = 0;
    if (!VolumesWrapper::FreeBytes(path, &real)) return false;
    *free = !path.empty() && path[0] == roomy_ ? real : 0;
    return true;
  }
  DriveType TypeOfRoot(const std::wstring& root) override {
    std::lock_guard<std::mutex> lock(mutex_);
    asked_.push_back(root);
    return VolumesWrapper::TypeOfRoot(root);
  }
  std::vector<std::wstring> Asked() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return asked_;
  }

 private:
  const wchar_t roomy_;
  mutable std::mutex mutex_;
  std::vector<std::wstring> asked_;
};

TEST(WindowsVolumesTest, DriveSearchWalksTheRealLettersToAFixedDrive) {
  const std::wstring drives = FixedTestDrives();
  if (drives.size() < 2) {
    GTEST_SKIP() << "needs two letters mapped to fixed test drives";
  }
  // The first test drive is fixed but full; the second has the room.
  const wchar_t full = drives[0];
  const wchar_t roomy = drives[1];
  ASSERT_LT(full, roomy);
  testing::TempFolder folder;
  testing::WriteFile(folder.path() / "layout.ini",
                     "[MEDIA:Rec]\r\nRec1=a\r\n[SIZE:Rec]\r\nRec1=1000\r\n");
  const std::wstring work_root = Root(roomy) + L"temp\\ZeltRecovery\\";
  // An image left there by an earlier run.
  const int made = ::SHCreateDirectoryExW(nullptr, work_root.c_str(), nullptr);
  ASSERT_TRUE(made == ERROR_SUCCESS || made == ERROR_ALREADY_EXISTS) << made;
  const std::wstring stale = work_root + L"\\boot.iso";
  windows::UniqueHandle(::CreateFileW(stale.c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_READONLY,
                                      nullptr));
  ASSERT_NE(::GetFileAttributesW(stale.c_str()), INVALID_FILE_ATTRIBUTES);

  auto test = testing::MakeTestPlatform();
  auto volumes = std::make_shared<SearchVolumes>(windows::MakeVolumes(), roomy);
  test.platform->volumes = volumes;
  Tessaline creator(folder.Wide("work").c_str(), folder.Wide().c_str(), L"Rec",
                    test.platform);
  creator.AnalyzeLayout(folder.Wide("layout.ini").c_str());

  EXPECT_EQ(creator.NumDiscs(), 1u);
  const wchar_t* work = nullptr;
  creator.GetTempDir(&work);
  EXPECT_EQ(std::wstring(work), work_root);
  EXPECT_EQ(::GetFileAttributesW(stale.c_str()), INVALID_FILE_ATTRIBUTES);
  // Every letter from D on was asked, in order, up to the chosen one.
  const auto asked = volumes->Asked();
  ASSERT_EQ(asked.size(), static_cast<std::size_t>(roomy - L'D' + 1));
  for (std::size_t i = 0; i < asked.size(); ++i) {
    EXPECT_EQ(asked[i], Root(static_cast<wchar_t>(L'D' + i)));
  }
  ::RemoveDirectoryW(work_root.c_str());
  ::RemoveDirectoryW((Root(roomy) + L"temp").c_str());
}

}  // namespace
}  // namespace tessaline::platform
