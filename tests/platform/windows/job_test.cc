// A whole disc made by a creator on the Windows backends: the layout file
// through GetPrivateProfileStringW, the copy and the build folder through
// the Win32 file system, the writer job on its own thread in a COM
// apartment, the fake disc services for the recorder, and verification
// against a real drive letter that shows what was "written" (one of the
// drive letters the test run mapped, TESSALINE_WINE_FIXED_DRIVES).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <vector>

#include "platform/text.h"
#include "support/disc/disc_test_platform.h"
#include "support/drive/fake_devices.h"
#include "tessaline/tessaline.h"

namespace tessaline {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

// Empties a drive's root. An empty root has no entry at all, which the
// directory iterator takes for an error.
void Clear(const fs::path& root) {
  std::error_code empty;
  for (const auto& entry : fs::directory_iterator(root, empty)) {
    fs::remove_all(entry.path());
  }
}

struct Log {
  std::mutex mutex;
  std::vector<std::int32_t> codes;

  static void Callback(std::int32_t code, std::intptr_t, std::intptr_t,
                       void* context) {
    auto* log = static_cast<Log*>(context);
    std::lock_guard<std::mutex> lock(log->mutex);
    log->codes.push_back(code);
  }
};

TEST(WindowsJobTest, DataDiscIsBuiltWrittenAndVerifiedOnARealDrive) {
  const char* letters = std::getenv("TESSALINE_WINE_FIXED_DRIVES");
  if (letters == nullptr || letters[0] == '\0') {
    GTEST_SKIP() << "needs a drive letter mapped to a test folder";
  }
  const std::wstring drive{static_cast<wchar_t>(letters[0]), L':'};
  const fs::path disc = drive + L"\\";
  Clear(disc);

  testing::TempFolder temp;
  fs::create_directories(temp.path() / "work");
  testing::WriteFile(temp.path() / "source" / "drivers" / "net.inf", "net");
  testing::WriteFile(temp.path() / "source" / "readme.txt", "read me");
  testing::WriteFile(temp.path() / "layout.ini",
                     "[MEDIA:RECOVERY]\r\nRECOVERY1=boot\r\n"
                     "RECOVERY2=drivers,readme.txt\r\n[SIZE:RECOVERY]\r\n"
                     "RECOVERY1=100\r\nRECOVERY2=200\r\n");

  auto test = testing::MakeDiscTestPlatform(L'\\');
  test.volumes->SetFreeBytes(temp.Wide(), INT64_MAX);
  auto& recorder = test.disc->AddRecorder();
  recorder.volume_paths = {drive + L"\\"};
  auto devices = std::make_shared<testing::FakeDevices>();
  test.platform->devices = devices;
  // Writing the image puts the build folder on the disc.
  test.disc->SetCallHook([disc](const testing::FakeCall& call) {
    if (call.name != "IFsiDirectoryItem::AddTree") return;
    fs::copy(fs::path(call.text), disc, fs::copy_options::recursive);
  });

  Log log;
  {
    Tessaline creator(temp.Wide("work").c_str(), temp.Wide("source").c_str(),
                      L"RECOVERY", test.platform);
    creator.AnalyzeLayout(temp.Wide("layout.ini").c_str());
    ASSERT_EQ(creator.NumDiscs(), 2u);
    creator.CreateDisc(2, 1, &Log::Callback, &log);
  }  // The creator's end joins the job.

  ASSERT_FALSE(log.codes.empty());
  EXPECT_EQ(log.codes.back(), 10);
  EXPECT_THAT(log.codes, ::testing::IsSupersetOf({1, 4, 9, 15}));
  EXPECT_EQ(testing::ReadFile(disc / L"drivers" / L"net.inf"), "net");
  EXPECT_EQ(testing::ReadFile(disc / L"readme.txt"), "read me");
  EXPECT_TRUE(fs::exists(disc / L"RECOVERY2"));
  // The build folder is gone; the drive was locked for the verification
  // and unlocked after it and once more at the end.
  EXPECT_FALSE(fs::exists(temp.path() / "work" / "Burn"));
  EXPECT_THAT(test.disc->Calls("IFileSystemImage::PutVolumeName"),
              ElementsAre(::testing::Field(&testing::FakeCall::text,
                                           L"RECOVERYDISC2")));
  const auto requests = devices->Requests();
  EXPECT_EQ(std::count(requests.begin(), requests.end(),
                       "CdromMediaRemoval(prevent)"),
            1);
  EXPECT_EQ(
      std::count(requests.begin(), requests.end(), "CdromMediaRemoval(allow)"),
      2);
  EXPECT_EQ(test.disc->LiveObjects(), 0);
  EXPECT_EQ(test.prompt->Count(), 0);
  Clear(disc);
}

}  // namespace
}  // namespace tessaline
