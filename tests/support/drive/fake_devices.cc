#include "support/drive/fake_devices.h"

#include <algorithm>
#include <cstring>
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
  std::uint32_t bytes_per_sector = 2048;
  bool fail_bytes_per_sector = false;
  std::uint32_t short_reads = 0;
  std::int64_t fail_reads_from = -1;

  std::vector<std::wstring> device_path_requests;
  std::vector<FakeDeviceOpen> opens;
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
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->requests.push_back("LockVolume");
    if (closed_) return false;
    if (state_->failing_locks > 0) {
      --state_->failing_locks;
      return false;
    }
    return true;
  }
  bool DismountVolume() override { return Record("DismountVolume"); }
  bool UnlockVolume() override { return Record("UnlockVolume"); }

  bool BytesPerSector(std::uint32_t* bytes) override {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->requests.push_back("BytesPerSector");
    if (closed_ || state_->fail_bytes_per_sector) return false;
    *bytes = state_->bytes_per_sector;
    return true;
  }

  bool Seek(std::int64_t offset) override {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->requests.push_back("Seek(" + std::to_string(offset) + ")");
    if (closed_ || offset < 0) return false;
    position_ = offset;
    return true;
  }

  std::uint32_t Read(void* buffer, std::uint32_t size) override {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->requests.push_back("Read(" + std::to_string(size) + ")");
    if (closed_) return 0;
    if (state_->fail_reads_from >= 0 && position_ >= state_->fail_reads_from) {
      return 0;
    }
    const auto length = static_cast<std::int64_t>(state_->content.size());
    if (position_ >= length) return 0;
    std::int64_t count = std::min<std::int64_t>(size, length - position_);
    if (state_->short_reads > 0) {
      count = std::min<std::int64_t>(count, state_->short_reads);
    }
    std::memcpy(buffer, state_->content.data() + position_,
                static_cast<std::size_t>(count));
    position_ += count;
    return static_cast<std::uint32_t>(count);
  }

  bool Close() override {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->requests.push_back("Close");
    if (closed_) return false;
    closed_ = true;
    --state_->open_devices;
    return true;
  }

 private:
  bool Record(const char* request) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->requests.push_back(request);
    return !closed_;
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

void FakeDevices::SetBytesPerSector(std::uint32_t bytes) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->bytes_per_sector = bytes;
}

void FakeDevices::FailBytesPerSector(bool fail) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->fail_bytes_per_sector = fail;
}

void FakeDevices::SetShortReads(std::uint32_t max_bytes) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->short_reads = max_bytes;
}

void FakeDevices::FailReadsFrom(std::int64_t offset) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->fail_reads_from = offset;
}

std::vector<std::wstring> FakeDevices::DevicePathRequests() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->device_path_requests;
}

std::vector<FakeDeviceOpen> FakeDevices::Opens() const {
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

void FakeDevices::ClearRecord() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->device_path_requests.clear();
  state_->opens.clear();
  state_->requests.clear();
}

std::wstring FakeDevices::DevicePath(const std::wstring& drive) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->device_path_requests.push_back(drive);
  const auto found = state_->device_paths.find(drive);
  if (found != state_->device_paths.end()) return found->second;
  return L"\\\\.\\" + drive;
}

std::unique_ptr<platform::Device> FakeDevices::Open(
    const std::wstring& device_path, platform::DeviceAttributes attributes) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->opens.push_back({device_path, attributes});
  if (state_->refuse_open) return nullptr;
  ++state_->open_devices;
  return std::make_unique<FakeDevice>(state_);
}

}  // namespace tessaline::testing
