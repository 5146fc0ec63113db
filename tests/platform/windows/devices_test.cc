// A drive's volume device through CreateFileW and DeviceIoControl. The
// drive requests need a real recorder; what runs anywhere is the naming of
// devices, opening, and the read-back through page-aligned buffers, here
// against a disc image that the test run made a drive's device
// (TESSALINE_WINE_DEVICE_DRIVE and TESSALINE_WINE_DEVICE_IMAGE, set up by
// scripts/windows-check.sh).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/windows/win32.h"
#include "platform/windows/windows_backends.h"

namespace tessaline::platform {
namespace {

TEST(WindowsDevicesTest, DevicePathsNameTheLetterAndAbsentOnesDoNotOpen) {
  const auto devices = windows::MakeDevices();
  EXPECT_EQ(devices->DevicePath(L"E:"), L"\\\\.\\E:");
  // The letter as the recorder reported it, case and all.
  EXPECT_EQ(devices->DevicePath(L"f:\\"), L"\\\\.\\f:");
  EXPECT_EQ(devices->DevicePath(L""), L"");
  // An absent device does not open.
  const DWORD used = ::GetLogicalDrives();
  for (wchar_t letter = L'Z'; letter >= L'D'; --letter) {
    if ((used & (1u << (letter - L'A'))) != 0) continue;
    const std::wstring path = devices->DevicePath(std::wstring{letter, L':'});
    EXPECT_EQ(devices->Open(path, DeviceAttributes::kNormal), nullptr);
    EXPECT_EQ(devices->Open(path, DeviceAttributes::kNone), nullptr);
    return;
  }
  GTEST_SKIP() << "every drive letter is in use";
}

TEST(WindowsDevicesTest, ReadsTheVolumeAtSectorOffsets) {
  const char* drive = std::getenv("TESSALINE_WINE_DEVICE_DRIVE");
  const char* image = std::getenv("TESSALINE_WINE_DEVICE_IMAGE");
  if (drive == nullptr || image == nullptr) {
    GTEST_SKIP() << "no drive whose device is a known image";
  }
  std::ifstream in(std::filesystem::path(FromUtf8(image)), std::ios::binary);
  const std::string expected((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
  ASSERT_GE(expected.size(), 3u * 2048);

  const auto devices = windows::MakeDevices();
  const auto device = devices->Open(devices->DevicePath(FromUtf8(drive)),
                                    DeviceAttributes::kNormal);
  ASSERT_NE(device, nullptr);
  // The caller's buffer need not be aligned: the read goes through pages
  // of the backend's own.
  std::vector<char> storage(2 * 2048 + 1);
  char* buffer = storage.data() + 1;
  ASSERT_TRUE(device->Seek(2048));
  ASSERT_EQ(device->Read(buffer, 2 * 2048), 2u * 2048);
  EXPECT_EQ(std::string(buffer, 2 * 2048), expected.substr(2048, 2 * 2048));
  // The end of the volume reads short.
  ASSERT_TRUE(device->Seek(static_cast<std::int64_t>(expected.size()) - 2048));
  EXPECT_EQ(device->Read(buffer, 2 * 2048), 2048u);
  EXPECT_TRUE(device->Close());
}

}  // namespace
}  // namespace tessaline::platform
