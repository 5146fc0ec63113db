// Shared pieces of the virtual drive tests: IMAPI2 objects on the rig's
// drives and an in-memory stream.
#ifndef TESSALINE_TESTS_VIRTUAL_VIRTUAL_DRIVE_FIXTURE_H_
#define TESSALINE_TESTS_VIRTUAL_VIRTUAL_DRIVE_FIXTURE_H_

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/disc.h"
#include "platform/text.h"
#include "support/rig/drive_rig.h"

namespace tessaline::testing {

using platform::HRESULT;

// A stream over bytes in memory; `on_read` runs before each Read with its
// number (0 first).
class MemoryStream final : public platform::IStream {
 public:
  explicit MemoryStream(std::vector<std::uint8_t> bytes)
      : bytes_(std::move(bytes)) {}

  HRESULT Stat(std::uint64_t* size) override {
    *size = bytes_.size();
    return platform::kS_OK;
  }
  HRESULT Read(void* buffer, std::uint32_t size, std::uint32_t* read) override {
    if (on_read) on_read(reads_);
    ++reads_;
    const std::size_t count =
        std::min<std::size_t>(size, bytes_.size() - position_);
    std::memcpy(buffer, bytes_.data() + position_, count);
    position_ += count;
    *read = static_cast<std::uint32_t>(count);
    return platform::kS_OK;
  }

  std::function<void(int)> on_read;

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t position_ = 0;
  int reads_ = 0;
};

// Bytes that differ from sector to sector.
inline std::vector<std::uint8_t> Sectors(std::size_t count,
                                         std::uint8_t seed = 1) {
  std::vector<std::uint8_t> bytes(count * 2048);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>(i / 2048 * 7 + i % 251 + seed);
  }
  return bytes;
}

// The rig's drives through the virtual disc services and devices.
class VirtualDrivesTest : public DriveRig {
 protected:
  std::shared_ptr<platform::IDiscRecorder2> Recorder(std::int32_t index) {
    std::shared_ptr<platform::IDiscMaster2> master;
    EXPECT_EQ(disc_->CreateDiscMaster(&master), platform::kS_OK);
    std::wstring id;
    EXPECT_EQ(master->GetItem(index, &id), platform::kS_OK);
    std::shared_ptr<platform::IDiscRecorder2> recorder;
    EXPECT_EQ(disc_->CreateRecorder(&recorder), platform::kS_OK);
    EXPECT_EQ(recorder->InitializeDiscRecorder(id), platform::kS_OK);
    return recorder;
  }

  std::shared_ptr<platform::IDiscFormat2Data> Writer(std::int32_t index) {
    std::shared_ptr<platform::IDiscFormat2Data> writer;
    EXPECT_EQ(disc_->CreateDataWriter(&writer), platform::kS_OK);
    EXPECT_EQ(writer->PutRecorder(Recorder(index)), platform::kS_OK);
    return writer;
  }

  std::shared_ptr<platform::IDiscFormat2Erase> Eraser(std::int32_t index) {
    std::shared_ptr<platform::IDiscFormat2Erase> eraser;
    EXPECT_EQ(disc_->CreateEraser(&eraser), platform::kS_OK);
    EXPECT_EQ(eraser->PutRecorder(Recorder(index)), platform::kS_OK);
    return eraser;
  }

  HRESULT WriteBytes(std::int32_t index, std::vector<std::uint8_t> bytes) {
    MemoryStream stream(std::move(bytes));
    return Writer(index)->Write(&stream);
  }

  bool Blank(std::int32_t index) {
    bool blank = false;
    EXPECT_EQ(Writer(index)->GetMediaHeuristicallyBlank(&blank),
              platform::kS_OK);
    return blank;
  }

  std::wstring MountOf(std::int32_t index) {
    std::vector<std::wstring> paths;
    EXPECT_EQ(Recorder(index)->GetVolumePathNames(&paths), platform::kS_OK);
    return paths.size() == 1 ? paths[0] : L"";
  }

  std::shared_ptr<platform::Devices>& devices_ = test_.platform->devices;
};

}  // namespace tessaline::testing

#endif  // TESSALINE_TESTS_VIRTUAL_VIRTUAL_DRIVE_FIXTURE_H_
