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
#include "support/core/temp_folder.h"

namespace tessaline::testing {
namespace {

using namespace platform;

std::int32_t RecorderCount(const Platform& platform) {
  std::shared_ptr<IDiscMaster2> master;
  EXPECT_EQ(platform.disc->CreateDiscMaster(&master), kS_OK);
  std::int32_t count = -1;
  EXPECT_EQ(master->GetCount(&count), kS_OK);
  return count;
}

TEST(SystemPlatformTest, RecordersComeFromTheVariableAtEachCall) {
  // What the variable held before is put back at the end.
  struct Restore {
    std::optional<std::string> saved;
    ~Restore() {
      saved ? setenv("TESSALINE_DRIVES", saved->c_str(), 1)
            : unsetenv("TESSALINE_DRIVES");
    }
  } restore;
  if (const char* old = std::getenv("TESSALINE_DRIVES")) restore.saved = old;
  TempFolder temp;
  std::string error;
  for (const char* name : {"drive0", "drive1"}) {
    ASSERT_TRUE(CreateDriveFolder(temp.path().string(), name,
                                  IMAPI_MEDIA_TYPE_CDRW, &error));
  }
  const std::wstring mount = temp.Wide("drive1/mount");
  const std::wstring medium = temp.Wide("drive1/medium.img");

  setenv("TESSALINE_DRIVES", temp.path().c_str(), 1);
  const std::shared_ptr<Platform> with_drives = SystemPlatform();
  EXPECT_EQ(RecorderCount(*with_drives), 2);
  EXPECT_EQ(with_drives->devices->DevicePath(mount), medium);
  // Its mount points are the media's, read-only.
  EXPECT_EQ(with_drives->files->OpenWrite(mount + L"/x", nullptr), nullptr);
  unsetenv("TESSALINE_DRIVES");
  const std::shared_ptr<Platform> without = SystemPlatform();
  EXPECT_EQ(RecorderCount(*without), 0);
  EXPECT_EQ(without->devices->DevicePath(mount), L"");
  EXPECT_EQ(without->devices->Open(medium, DeviceAttributes::kNormal), nullptr);
  // A platform made earlier keeps the drives it was made with.
  EXPECT_EQ(RecorderCount(*with_drives), 2);
}

}  // namespace
}  // namespace tessaline::testing
