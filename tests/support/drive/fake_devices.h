// A fake of the volume devices of drives (platform::Devices).
//
// DevicePath gives "\\.\" followed by the drive, as Windows names a drive's
// volume device, unless SetDevicePath gives another path (empty: the drive
// has no device). All devices share the configuration and one record of
// requests, named as the methods of platform::Device:
//   StorageMediaRemoval(prevent|allow) EjectMedia LoadMedia
//   CdromMediaRemoval(prevent|allow) LockVolume DismountVolume UnlockVolume
//   BytesPerSector Seek(<offset>) Read(<size>) Close
// Guarded by a lock: the code under test may run on another thread.
#ifndef TESSALINE_TESTS_SUPPORT_DRIVE_FAKE_DEVICES_H_
#define TESSALINE_TESTS_SUPPORT_DRIVE_FAKE_DEVICES_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tessaline::testing {

class FakeDevicesState;

class FakeDevices : public platform::Devices {
 public:
  FakeDevices();
  ~FakeDevices() override;

  void SetDevicePath(const std::wstring& drive, const std::wstring& path);
  // Open gives no device.
  void RefuseOpen(bool refuse);
  // The next `count` LockVolume requests fail.
  void FailVolumeLock(int count);
  // The bytes that raw reads give, from offset 0; BytesPerSector is 2048.
  void SetContent(std::vector<std::uint8_t> bytes);
  void FailBytesPerSector(bool fail);
  // Reads that start at or past this offset give 0 bytes; -1: none.
  void FailReadsFrom(std::int64_t offset);

  // The device path of every Open, the refused ones included, in order.
  std::vector<std::wstring> Opens() const;
  std::vector<std::string> Requests() const;
  // Devices neither closed nor destroyed.
  int OpenDevices() const;

  std::wstring DevicePath(const std::wstring& drive) override;
  // The recorders of these tests are not shared with anyone.
  std::wstring LockPath(const std::wstring&) override { return {}; }
  // A real recorder's waits.
  std::uint32_t SettleMilliseconds(const std::wstring&,
                                   platform::Settle when) override {
    return when == platform::Settle::kAfterDismount ? 10000 : 6000;
  }
  std::unique_ptr<platform::Device> Open(
      const std::wstring& device_path,
      platform::DeviceAttributes attributes) override;

 private:
  std::shared_ptr<FakeDevicesState> state_;
};

}  // namespace tessaline::testing

#endif  // TESSALINE_TESTS_SUPPORT_DRIVE_FAKE_DEVICES_H_
