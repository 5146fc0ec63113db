// A whole disc made by a creator on the Windows backends, the job in its
// own COM apartment over the fake IMAPI2, verified on a drive letter the
// test run mapped to the written disc (TESSALINE_WINE_FIXED_DRIVES).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/text.h"
#include "platform/windows/fake_imapi2_fixture.h"
#include "platform/windows/windows_backends.h"
#include "support/core/test_platform.h"
#include "tessaline/tessaline.h"

namespace tessaline {
namespace {

namespace fs = std::filesystem;

// Empties a drive's root. An empty root has no entry at all, which the
// directory iterator takes for an error.
void Clear(const fs::path& root) {
  std::error_code empty;
  for (const auto& entry : fs::directory_iterator(root, empty)) {
    fs::remove_all(entry.path());
  }
}

// The job's apartment, with the fake IMAPI2 registered in it.
class FakeImapi2Apartment : public platform::Apartment {
 public:
  FakeImapi2Apartment(std::shared_ptr<platform::Apartment> inner,
                      testing::FakeImapi2State* state)
      : inner_(std::move(inner)), state_(state) {}
  std::int32_t Enter() override {
    const std::int32_t entered = inner_->Enter();
    fake_ = std::make_unique<testing::FakeImapi2>(state_);
    return entered;
  }
  void Leave() override {
    fake_.reset();
    inner_->Leave();
  }

 private:
  std::shared_ptr<platform::Apartment> inner_;
  testing::FakeImapi2State* state_;
  std::unique_ptr<testing::FakeImapi2> fake_;
};

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

  auto test = testing::MakeTestPlatform();
  test.volumes->SetFreeBytes(temp.Wide(), INT64_MAX);
  testing::FakeImapi2State imapi2;
  imapi2.volume_paths = {drive + L"\\"};
  imapi2.disc = drive + L"\\";
  test.platform->devices = platform::windows::MakeDevices();
  test.platform->disc = platform::windows::MakeDiscServices();
  test.platform->apartment =
      std::make_shared<FakeImapi2Apartment>(test.platform->apartment, &imapi2);

  // The calls the creator makes on this thread find the fake as well.
  const ::HRESULT entered = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  auto here = std::make_unique<testing::FakeImapi2>(&imapi2);
  Log log;
  {
    Tessaline creator(temp.Wide("work").c_str(), temp.Wide("source").c_str(),
                      L"RECOVERY", test.platform);
    creator.AnalyzeLayout(temp.Wide("layout.ini").c_str());
    ASSERT_EQ(creator.NumDiscs(), 2u);
    creator.CreateDisc(2, 1, &Log::Callback, &log);
  }  // The creator's end joins the job.
  here.reset();
  if (SUCCEEDED(entered)) ::CoUninitialize();

  ASSERT_FALSE(log.codes.empty());
  EXPECT_EQ(log.codes.back(), 10);
  EXPECT_THAT(log.codes, ::testing::IsSupersetOf({1, 4, 9, 15}));
  EXPECT_EQ(testing::ReadFile(disc / L"drivers" / L"net.inf"), "net");
  EXPECT_EQ(testing::ReadFile(disc / L"readme.txt"), "read me");
  EXPECT_TRUE(fs::exists(disc / L"RECOVERY2"));
  EXPECT_FALSE(fs::exists(temp.path() / "work" / "Burn"));
  EXPECT_THAT(imapi2.calls,
              ::testing::Contains("put_VolumeName RECOVERYDISC2"));
  EXPECT_EQ(imapi2.live_objects, 0);
  EXPECT_EQ(imapi2.advised_sinks, 0);
  EXPECT_EQ(test.prompt->Count(), 0);
  Clear(disc);
}

}  // namespace
}  // namespace tessaline
