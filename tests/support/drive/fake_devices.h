// A fake of the volume devices of drives (platform::Devices).
//
// Use:
//
//   auto devices = std::make_shared<FakeDevices>();
//   devices->FailVolumeLock(3);             // the first three locks fail
//   devices->SetContent(image_bytes);       // what raw reads give
//   test.platform->devices = devices;
//   ... run the code under test ...
//   EXPECT_THAT(devices->Requests(),
//               ElementsAre("LockVolume", "DismountVolume", "UnlockVolume",
//                           "Close"));
//   EXPECT_EQ(devices->OpenDevices(), 0);
//
// DevicePath forms "\\.\" followed by the drive, as Windows names a drive's
// volume device, unless SetDevicePath gives another path for that drive (an
// empty path stands for a drive without a device). Every device opened
// shares the configuration and the one record of requests.
//
// Requests are recorded in order by the names of platform::Device:
//   StorageMediaRemoval(prevent) StorageMediaRemoval(allow) EjectMedia
//   LoadMedia CdromMediaRemoval(prevent) CdromMediaRemoval(allow)
//   LockVolume DismountVolume UnlockVolume BytesPerSector Seek(<offset>)
//   Read(<size>) Close
//
// Thread use: guarded by a lock; the code under test may run on another
// thread.
#ifndef TESSALINE_TESTS_SUPPORT_DRIVE_FAKE_DEVICES_H_
#define TESSALINE_TESTS_SUPPORT_DRIVE_FAKE_DEVICES_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tessaline::testing {

struct FakeDeviceOpen {
  std::wstring path;
  platform::DeviceAttributes attributes = platform::DeviceAttributes::kNormal;
};

class FakeDevicesState;

class FakeDevices : public platform::Devices {
 public:
  FakeDevices();
  ~FakeDevices() override;

  // Configuration -----------------------------------------------------------

  void SetDevicePath(const std::wstring& drive, const std::wstring& path);
  // Open gives no device (the recorder's device cannot be opened).
  void RefuseOpen(bool refuse);
  // The next `count` LockVolume requests fail; later ones succeed.
  void FailVolumeLock(int count);
  // The bytes that raw reads give, from offset 0.
  void SetContent(std::vector<std::uint8_t> bytes);
  // The answer of BytesPerSector (2048 unless set), or its failure.
  void SetBytesPerSector(std::uint32_t bytes);
  void FailBytesPerSector(bool fail);
  // Each Read gives at most this many bytes; 0: as many as asked for.
  void SetShortReads(std::uint32_t max_bytes);
  // Reads that start at or past this offset fail (give 0 bytes); -1: none.
  void FailReadsFrom(std::int64_t offset);

  // Record ------------------------------------------------------------------

  // The drives DevicePath was asked for, in order.
  std::vector<std::wstring> DevicePathRequests() const;
  // Every Open, the refused ones included, in order.
  std::vector<FakeDeviceOpen> Opens() const;
  // Every request to any device, in order (see above).
  std::vector<std::string> Requests() const;
  // Devices neither closed nor destroyed.
  int OpenDevices() const;
  void ClearRecord();

  // Devices -----------------------------------------------------------------

  std::wstring DevicePath(const std::wstring& drive) override;
  std::unique_ptr<platform::Device> Open(
      const std::wstring& device_path,
      platform::DeviceAttributes attributes) override;

 private:
  std::shared_ptr<FakeDevicesState> state_;
};

}  // namespace tessaline::testing

#endif  // TESSALINE_TESTS_SUPPORT_DRIVE_FAKE_DEVICES_H_
