// A drive's volume device on Windows: "\\.\E:" opened with CreateFileW and
// driven with DeviceIoControl.
#include <algorithm>
#include <cstring>

#include "platform/windows/win32.h"
#include "platform/windows/windows_backends.h"

namespace tessaline::platform::windows {
namespace {

// The request codes, as the drive control sends them. Where the compiler's
// headers define them, they must agree.
constexpr DWORD kStorageMediaRemoval = 0x2D4804;
constexpr DWORD kStorageEjectMedia = 0x2D4808;
constexpr DWORD kStorageLoadMedia = 0x2D480C;
constexpr DWORD kCdromMediaRemoval = 0x24804;
constexpr DWORD kCdromGetDriveGeometry = 0x2404C;
constexpr DWORD kLockVolume = 0x90018;
constexpr DWORD kDismountVolume = 0x90020;
constexpr DWORD kUnlockVolume = 0x9001C;
#ifdef IOCTL_STORAGE_MEDIA_REMOVAL
static_assert(kStorageMediaRemoval == IOCTL_STORAGE_MEDIA_REMOVAL);
static_assert(kStorageEjectMedia == IOCTL_STORAGE_EJECT_MEDIA);
static_assert(kStorageLoadMedia == IOCTL_STORAGE_LOAD_MEDIA);
#endif
#ifdef FSCTL_LOCK_VOLUME
static_assert(kLockVolume == FSCTL_LOCK_VOLUME);
static_assert(kDismountVolume == FSCTL_DISMOUNT_VOLUME);
static_assert(kUnlockVolume == FSCTL_UNLOCK_VOLUME);
#endif
// DISK_GEOMETRY: cylinders (8 bytes), media type, tracks per cylinder,
// sectors per track, bytes per sector.
static_assert(sizeof(DISK_GEOMETRY) == 24);

// Raw reads of a volume want buffers aligned beyond what the heap gives;
// pages from VirtualAlloc are aligned to every sector size there is.
class PageBuffer {
 public:
  PageBuffer() = default;
  ~PageBuffer() { Release(); }
  PageBuffer(const PageBuffer&) = delete;
  PageBuffer& operator=(const PageBuffer&) = delete;

  void* Get(std::size_t size) {
    if (size > size_) {
      Release();
      data_ = ::VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE,
                             PAGE_READWRITE);
      size_ = data_ == nullptr ? 0 : size;
    }
    return data_;
  }

 private:
  void Release() {
    if (data_ != nullptr) ::VirtualFree(data_, 0, MEM_RELEASE);
    data_ = nullptr;
    size_ = 0;
  }

  void* data_ = nullptr;
  std::size_t size_ = 0;
};

class WinDevice final : public Device {
 public:
  explicit WinDevice(UniqueHandle handle) : handle_(std::move(handle)) {}

  bool StorageMediaRemoval(bool prevent) override {
    return SendByte(kStorageMediaRemoval, prevent ? 1 : 0);
  }
  bool EjectMedia() override { return Send(kStorageEjectMedia); }
  bool LoadMedia() override { return SendByte(kStorageLoadMedia, 0); }
  bool CdromMediaRemoval(bool prevent) override {
    return SendByte(kCdromMediaRemoval, prevent ? 1 : 0);
  }
  bool LockVolume() override { return Send(kLockVolume); }
  bool DismountVolume() override { return Send(kDismountVolume); }
  bool UnlockVolume() override { return Send(kUnlockVolume); }

  bool BytesPerSector(std::uint32_t* bytes) override {
    DISK_GEOMETRY geometry{};
    DWORD returned = 0;
    if (!::DeviceIoControl(handle_.get(), kCdromGetDriveGeometry, nullptr, 0,
                           &geometry, sizeof geometry, &returned, nullptr) ||
        returned < sizeof geometry) {
      return false;
    }
    *bytes = geometry.BytesPerSector;
    return true;
  }

  bool Seek(std::int64_t offset) override {
    LARGE_INTEGER position;
    position.QuadPart = offset;
    return ::SetFilePointerEx(handle_.get(), position, nullptr, FILE_BEGIN) !=
           FALSE;
  }

  std::uint32_t Read(void* buffer, std::uint32_t size) override {
    void* pages = buffer_.Get(size);
    if (pages == nullptr) return 0;
    DWORD read = 0;
    if (!::ReadFile(handle_.get(), pages, size, &read, nullptr)) return 0;
    std::memcpy(buffer, pages, std::min<DWORD>(read, size));
    return read;
  }

  bool Close() override { return handle_.Close(); }

 private:
  // The drive answers nothing the library reads; only acceptance counts.
  bool Send(DWORD request) {
    DWORD returned = 0;
    return ::DeviceIoControl(handle_.get(), request, nullptr, 0, nullptr, 0,
                             &returned, nullptr) != FALSE;
  }
  // PREVENT_MEDIA_REMOVAL is one byte.
  bool SendByte(DWORD request, BYTE value) {
    DWORD returned = 0;
    return ::DeviceIoControl(handle_.get(), request, &value, sizeof value,
                             nullptr, 0, &returned, nullptr) != FALSE;
  }

  UniqueHandle handle_;
  PageBuffer buffer_;
};

class WinDevices final : public Devices {
 public:
  // "E:" (or "E:\") names the device "\\.\E:".
  std::wstring DevicePath(const std::wstring& drive) override {
    if (drive.empty()) return {};
    return std::wstring(L"\\\\.\\") + drive[0] + L':';
  }

  std::unique_ptr<Device> Open(const std::wstring& device_path,
                               DeviceAttributes attributes) override {
    UniqueHandle handle(::CreateFileW(
        device_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
        nullptr, OPEN_EXISTING,
        attributes == DeviceAttributes::kNormal ? FILE_ATTRIBUTE_NORMAL : 0,
        nullptr));
    if (!handle.valid()) return nullptr;
    return std::make_unique<WinDevice>(std::move(handle));
  }

  // One lock file per drive letter in the system's temporary folder, which
  // every process of the machine sees.
  std::wstring LockPath(const std::wstring& drive) override {
    if (drive.empty()) return {};
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) return {};
    return std::wstring(temp, length) + L"tessaline-recorder-" + drive[0] +
           L".lock";
  }

  // Every recorder gets the same time: the file system and the firmware
  // give no sign of when they are done.
  std::uint32_t SettleMilliseconds(const std::wstring&, Settle when) override {
    return when == Settle::kAfterDismount ? 10000 : 6000;
  }
};

}  // namespace

std::shared_ptr<Devices> MakeDevices() {
  return std::make_shared<WinDevices>();
}

}  // namespace tessaline::platform::windows
