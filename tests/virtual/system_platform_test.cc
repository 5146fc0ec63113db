// The system platform takes its recorders from TESSALINE_DRIVES at every
// call.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/disc.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "platform/virtual/drive_folder.h"
#include "platform/virtual/virtual_platform.h"
#include "support/core/temp_folder.h"
#include "support/core/test_platform.h"

namespace tessaline::testing {
namespace {

using namespace platform;

// Sets TESSALINE_DRIVES for one test and puts back what was there.
class DrivesVariable {
 public:
  DrivesVariable() {
    if (const char* old = std::getenv(kName)) saved_ = old;
  }
  ~DrivesVariable() {
    if (saved_) {
      setenv(kName, saved_->c_str(), 1);
    } else {
      unsetenv(kName);
    }
  }
  void Set(const std::string& value) { setenv(kName, value.c_str(), 1); }
  void Unset() { unsetenv(kName); }

 private:
  static constexpr const char* kName = "TESSALINE_DRIVES";
  std::optional<std::string> saved_;
};

std::int32_t RecorderCount(const Platform& platform) {
  std::shared_ptr<IDiscMaster2> master;
  EXPECT_EQ(platform.disc->CreateDiscMaster(&master), kS_OK);
  std::int32_t count = -1;
  EXPECT_EQ(master->GetCount(&count), kS_OK);
  return count;
}

TEST(SystemPlatformTest, RecordersComeFromTheVariableAtEachCall) {
  DrivesVariable variable;
  TempFolder temp;
  std::string error;
  for (const char* name : {"drive0", "drive1"}) {
    ASSERT_TRUE(CreateDriveFolder(temp.path().string(), name,
                                  IMAPI_MEDIA_TYPE_CDRW, &error));
  }

  variable.Set(temp.path().string());
  const std::shared_ptr<Platform> with_drives = SystemPlatform();
  ASSERT_TRUE(with_drives->files && with_drives->volumes &&
              with_drives->profiles && with_drives->clock &&
              with_drives->console && with_drives->prompt &&
              with_drives->processes && with_drives->apartment &&
              with_drives->devices && with_drives->disc);
  EXPECT_EQ(RecorderCount(*with_drives), 2);
  const std::wstring mount =
      FromUtf8((temp.path() / "drive1" / "mount").string());
  EXPECT_EQ(with_drives->devices->DevicePath(mount),
            FromUtf8((temp.path() / "drive1" / "medium.img").string()));

  variable.Set("");
  const std::shared_ptr<Platform> empty_value = SystemPlatform();
  EXPECT_EQ(RecorderCount(*empty_value), 0);
  variable.Unset();
  const std::shared_ptr<Platform> without = SystemPlatform();
  EXPECT_EQ(RecorderCount(*without), 0);
  EXPECT_EQ(without->devices->DevicePath(mount), L"");
  EXPECT_EQ(without->devices->Open(
                FromUtf8((temp.path() / "drive1" / "medium.img").string()),
                DeviceAttributes::kNormal),
            nullptr);
  // A platform made earlier keeps the drives it was made with.
  EXPECT_EQ(RecorderCount(*with_drives), 2);
}

TEST(VirtualPlatformTest, ReplacesOnlyDiscServicesAndDevices) {
  TestPlatform test = MakeTestPlatform();
  TempFolder temp;
  std::string error;
  ASSERT_TRUE(CreateDriveFolder(temp.path().string(), "d", IMAPI_MEDIA_TYPE_BDR,
                                &error));
  const std::shared_ptr<Platform> platform =
      MakeVirtualPlatform(test.platform, temp.path().string());
  EXPECT_EQ(platform->clock, test.platform->clock);
  EXPECT_EQ(platform->files, test.platform->files);
  EXPECT_EQ(platform->console, test.platform->console);
  EXPECT_NE(platform->disc, test.platform->disc);
  EXPECT_EQ(RecorderCount(*platform), 1);
}

}  // namespace
}  // namespace tessaline::testing
