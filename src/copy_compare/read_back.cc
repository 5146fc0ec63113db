#include "copy_compare/read_back.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "drive/drive_letter.h"
#include "platform/text.h"

namespace tessaline {
namespace {

constexpr std::uint32_t kSectorsPerChunk = 1000;
constexpr std::uint32_t kFallbackSectorSize = 2048;
constexpr std::size_t kPageSize = 4096;

const wchar_t kMissingText[] =
    L"Missing source folder or files - verify failed.";

[[noreturn]] void Fail(std::int32_t chunk, std::int32_t code,
                       std::wstring text) {
  throw MediaVerifyException(std::move(text), chunk, code);
}

std::wstring MismatchText(const char* which, std::int64_t position,
                          std::uint32_t value) {
  char buffer[96];
  std::snprintf(buffer, sizeof buffer,
                " - verify error(%s). During disc verification [%lld]-[%x]",
                which, static_cast<long long>(position), value);
  return platform::FromUtf8(buffer);
}

struct FreeBuffer {
  void operator()(std::uint8_t* p) const {
    ::operator delete[](p, std::align_val_t{kPageSize});
  }
};
using Buffer = std::unique_ptr<std::uint8_t[], FreeBuffer>;

// A page-aligned buffer, as the device reads want; null when memory is
// short.
Buffer AllocateChunk(std::uint32_t size) {
  std::size_t rounded = (size + kPageSize - 1) / kPageSize * kPageSize;
  return Buffer(static_cast<std::uint8_t*>(
      ::operator new[](rounded == 0 ? kPageSize : rounded,
                       std::align_val_t{kPageSize}, std::nothrow)));
}

// Reads up to `size` bytes, as a synchronous ReadFile would: stops early
// only at the end of the file or on a failure.
std::uint32_t ReadChunk(platform::File& file, std::uint8_t* buffer,
                        std::uint32_t size) {
  std::uint32_t total = 0;
  while (total < size) {
    std::int64_t n = file.Read(buffer + total, size - total);
    if (n <= 0) break;
    total += static_cast<std::uint32_t>(n);
  }
  return total;
}

}  // namespace

std::int32_t CompareDiscWithImage(const platform::Platform& platform,
                                  const StatusReporter& report,
                                  const std::wstring& work_folder,
                                  std::int32_t recorder_index,
                                  const CancelFlag* cancel) {
  auto& files = *platform.files;
  platform.clock->Sleep(5);
  if (work_folder.empty()) Fail(0, kVerifyWorkFolderEmpty, kMissingText);
  std::wstring drive;
  if (GetDriveLetter(platform, recorder_index, &drive) != 1) {
    Fail(0, kVerifyDriveNotFound, kMissingText);
  }

  const std::uint32_t start = platform.clock->TickCount();
  const std::wstring device_path = platform.devices->DevicePath(drive);
  const std::wstring image_path =
      platform::JoinPath(work_folder, files.Separator(), L"boot.iso");
  auto image = files.OpenRead(image_path, nullptr);
  if (!image)
    Fail(0, kVerifyImageOpenFailed,
         image_path + L" - open failed. During disc verification");
  const std::int64_t size = image->Size();
  if (size < 0) {
    image->Close();
    Fail(0, kVerifyImageSizeFailed,
         image_path + L" - disc size error. During disc verification");
  }
  auto device =
      platform.devices->Open(device_path, platform::DeviceAttributes::kNormal);
  if (!device) {
    image->Close();
    Fail(0, kVerifyDeviceOpenFailed,
         device_path + L" - open failed. During disc verification");
  }
  std::uint32_t sector_size = 0;
  if (!device->BytesPerSector(&sector_size) || sector_size == 0) {
    sector_size = kFallbackSectorSize;
  }
  const std::uint32_t chunk = kSectorsPerChunk * sector_size;

  // Both handles are closed by their destructors when a failure leaves.
  Buffer image_buffer = AllocateChunk(chunk);
  if (!image_buffer) {
    Fail(0, kVerifyFirstBufferFailed,
         L" - memory allocation failed(1). During disc verification");
  }
  Buffer disc_buffer = AllocateChunk(chunk);
  if (!disc_buffer) {
    Fail(0, kVerifySecondBufferFailed,
         L" - memory allocation failed(2). During disc verification");
  }

  std::int64_t position = 0;
  std::uint64_t number = 1;
  while (position <= size) {
    image->Seek(position);
    device->Seek(position);
    const std::uint32_t from_image =
        ReadChunk(*image, image_buffer.get(), chunk);
    std::uint32_t from_disc = device->Read(disc_buffer.get(), chunk);
    if (from_image != from_disc) {
      const auto low_chunk = static_cast<std::int32_t>(number);
      if (position + from_image != size) {
        Fail(low_chunk, static_cast<std::int32_t>(from_image),
             MismatchText("1", position, from_image));
      }
      // The image's last chunk is short; the disc is read again with its
      // length, and must give all of it.
      device->Seek(position);
      from_disc =
          from_image == 0 ? 0 : device->Read(disc_buffer.get(), from_image);
      if (from_disc != from_image) {
        Fail(low_chunk, static_cast<std::int32_t>(from_image),
             MismatchText("1", position, from_image));
      }
    }
    const int difference =
        std::memcmp(image_buffer.get(), disc_buffer.get(), from_image);
    if (difference != 0) {
      Fail(static_cast<std::int32_t>(number), difference,
           MismatchText("2", position, static_cast<std::uint32_t>(difference)));
    }
    if (from_image != chunk) break;
    if (IsCancelled(cancel)) return 0;

    const std::uint32_t elapsed = (platform.clock->TickCount() - start) / 1000;
    const std::uint64_t compared = static_cast<std::uint64_t>(chunk) * number;
    const double ratio =
        static_cast<double>(size) / static_cast<double>(compared);
    const auto estimate = static_cast<std::uint64_t>(elapsed * ratio);
    report(kStatusVerifying, elapsed,
           static_cast<std::uint32_t>(estimate & 0xFFFFFFFFu));
    ++number;
    position += chunk;
  }
  image_buffer.reset();
  disc_buffer.reset();
  const bool image_closed = image->Close();
  const bool device_closed = device->Close();
  return image_closed && device_closed ? 0 : 1;
}

std::int32_t RemoveBootImage(const platform::Platform& platform,
                             const std::wstring& work_folder) {
  if (work_folder.empty()) return 1;
  auto& files = *platform.files;
  const std::wstring image_path =
      platform::JoinPath(work_folder, files.Separator(), L"boot.iso");
  if (files.Exists(image_path) && !files.DeleteFile(image_path) &&
      !files.DeleteFile(image_path)) {
    files.DeleteAtRestart(image_path);
  }
  return 0;
}

}  // namespace tessaline
