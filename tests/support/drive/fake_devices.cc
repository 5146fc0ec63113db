#include "support/drive/fake_devices.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>

namespace tessaline::testing {

class FakeDevicesState {
 public:
  mutable std::mutex mutex;
  std::map<std::wstring, std::wstring> device_paths;
  bool refuse_open = false;
  int failing_locks = 0;
  std::vector<std::uint8_t> content;
  bool fail_bytes_per_sector = false;
  std::int64_t fail_reads_from = -1;

  std::vector<std::wstring> opens;
  std::vector<std::string> requests;
  int open_devices = 0;
};

namespace {

class FakeDevice : public platform::Device {
 public:
  explicit FakeDevice(std::shared_ptr<FakeDevicesState> state)
      : state_(std::move(state)) {}

  ~FakeDevice() override {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (!closed_) --state_->open_devices;
  }

  bool StorageMediaRemoval(bool prevent) override {
    return Record(prevent ? "StorageMediaRemoval(prevent)"
                          : "StorageMediaRemoval(allow)");
  }
  bool EjectMedia() override { return Record("EjectMedia"); }
  bool LoadMedia() override { return Record("LoadMedia"); }
  bool CdromMediaRemoval(bool prevent) override {
    return Record(prevent ? "CdromMediaRemoval(prevent)"
                          : "CdromMediaRemoval(allow)");
  }
  bool LockVolume() override {
    return Record("LockVolume", [&] { return state_->failing_locks-- <= 0; });
  }
  bool DismountVolume() override { return Record("DismountVolume"); }
  bool UnlockVolume() override { return Record("UnlockVolume"); }

  bool BytesPerSector(std::uint32_t* bytes) override {
    return Record("BytesPerSector", [&] {
      *bytes = 2048;
      return !state_->fail_bytes_per_sector;
    });
  }
  bool Seek(std::int64_t offset) override {
    return Record("Seek(" + std::to_string(offset) + ")", [&] {
      position_ = offset;
      return offset >= 0;
    });
  }
  std::uint32_t Read(void* buffer, std::uint32_t size) override {
    std::int64_t count = 0;
    Record("Read(" + std::to_string(size) + ")", [&] {
      const auto length = static_cast<std::int64_t>(state_->content.size());
      if (state_->fail_reads_from >= 0 &&
          position_ >= state_->fail_reads_from) {
        return false;
      }
      if (position_ >= length) return false;
      count = std::min<std::int64_t>(length - position_, size);
      std::memcpy(buffer, state_->content.data() + position_,
                  static_cast<std::size_t>(count));
      position_ += count;
      return true;
    });
    return static_cast<std::uint32_t>(count);
  }
  bool Close() override {
    return Record("Close", [&] {
      closed_ = true;
      --state_->open_devices;
      return true;
    });
  }

 private:
  // Records the request and, on a device still open, does it.
  bool Record(
      const std::string& request,
      const std::function<bool()>& work = [] { return true; }) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->requests.push_back(request);
    return !closed_ && work();
  }

  const std::shared_ptr<FakeDevicesState> state_;
  bool closed_ = false;
  std::int64_t position_ = 0;
};

}  // namespace

FakeDevices::FakeDevices() : state_(std::make_shared<FakeDevicesState>()) {}

FakeDevices::~FakeDevices() = default;

void FakeDevices::SetDevicePath(const std::wstring& drive,
                                const std::wstring& path) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->device_paths[drive] = path;
}

void FakeDevices::RefuseOpen(bool refuse) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->refuse_open = refuse;
}

void FakeDevices::FailVolumeLock(int count) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->failing_locks = count;
}

void FakeDevices::SetContent(std::vector<std::uint8_t> bytes) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->content = std::move(bytes);
}

void FakeDevices::FailBytesPerSector(bool fail) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->fail_bytes_per_sector = fail;
}

void FakeDevices::FailReadsFrom(std::int64_t offset) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->fail_reads_from = offset;
}

std::vector<std::wstring> FakeDevices::Opens() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->opens;
}

std::vector<std::string> FakeDevices::Requests() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->requests;
}

int FakeDevices::OpenDevices() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->open_devices;
}

std::wstring FakeDevices::DevicePath(const std::wstring& drive) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  const auto found = state_->device_paths.find(drive);
  return found != state_->device_paths.end() ? found->second
                                             : L"\\\\.\\" + drive;
}

std::unique_ptr<platform::Device> FakeDevices::Open(
    const std::wstring& device_path, platform::DeviceAttributes) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->opens.push_back(device_path);
  if (state_->refuse_open) return nullptr;
  ++state_->open_devices;
  return std::make_unique<FakeDevice>(state_);
}

}  // namespace tessaline::testing
