// A scriptable fake of the disc services (platform/disc.h). Recorders are
// listed in the order AddRecorder added them. Configure before the code under
// test runs (it may run on another thread); read the record at any time.
//
// Every call is recorded as a FakeCall named "Interface::Method" as in
// platform/disc.h, with the drive index it concerns (-1 when none):
//   *::PutRecorder        text = recorder id (empty: unbind), number = 1/0
//   *::PutClientName      text = client name
//   IDiscRecorder2Ex::GetFeaturePage  text "all"/"current", number = code
//   IDiscFormat2Erase::PutFullErase   number = 1
//   IDiscFormat2Data::Write           number = stream size in bytes
//   IFileSystemImage::PutFileSystemsToCreate / PutFreeMediaBlocks  number
//   IFileSystemImage::PutVolumeName   text = volume name
//   IFsiDirectoryItem::AddTree        text = folder, number = base flag
//   DiscServices::CreateStreamOnFile  text = path
//   IBootOptions::AssignBootImage     number = size of the boot image
// Scripted events are recorded before they are delivered (number = action
// of "DDiscFormat2DataEvents::Update", elapsed of "...EraseEvents::Update"),
// so a call hook can act during a write or erase.
//
// Fail(call, hr) makes the call return hr instead of doing its work (for one
// drive index, if asked); a failing Write or EraseMedia fails after its
// events. An unerasable medium fails EraseMedia at once. CancelWrite ends
// Write after the current event with E_IMAPI_REQUEST_CANCELLED. With UseClock,
// Write, EraseMedia and AddTree advance the clock by *_seconds. Streams only
// have a size: that of the file at the path, or one given by ServeStream.
#ifndef TESSALINE_TESTS_SUPPORT_DISC_FAKE_DISC_SERVICES_H_
#define TESSALINE_TESTS_SUPPORT_DISC_FAKE_DISC_SERVICES_H_

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/disc.h"
#include "support/core/fake_clock.h"

namespace tessaline::testing {

using platform::HRESULT;

inline constexpr int kAnyRecorder = -1;

struct FakeMedium {
  IMAPI_MEDIA_PHYSICAL_TYPE type = IMAPI_MEDIA_TYPE_DVDPLUSRW;
  bool blank = false;  // GetMediaHeuristicallyBlank
  bool erasable = true;
  int writes = 0;  // successful ones
};

struct FakeRecorder {
  std::wstring unique_id;  // set by AddRecorder
  // As IMAPI2 reports them: "E:\" (Windows) or "/media/cdrom0/" (POSIX).
  std::vector<std::wstring> volume_paths;
  std::vector<std::uint32_t> features;  // GetSupportedFeaturePages
  // GetFeaturePage fails (E_FAIL) for a code without a descriptor.
  std::map<std::uint32_t, std::vector<std::uint8_t>> descriptors;
  bool supported = true;  // IDiscFormat2Data::IsRecorderSupported
  FakeMedium medium;

  // Lists the feature with a descriptor: bytes 0-1 the code, byte 3 the
  // additional length, then the given bytes set.
  FakeRecorder& AddFeature(
      std::uint32_t code,
      const std::vector<std::pair<std::size_t, std::uint8_t>>& bytes = {});
  // Lists the feature without a readable descriptor.
  FakeRecorder& AddUnreadableFeature(std::uint32_t code);
};

struct FakeWriteEvent {
  std::int32_t action = platform::kWriteActionWritingData;
  std::int32_t elapsed = 0;
  std::int32_t total = 0;
  std::string failing_getter;  // e.g. "GetElapsedTime"; empty: none fails
  bool no_arguments = false;   // delivered without its arguments
};

struct FakeEraseEvent {
  std::int32_t elapsed = 0;
  std::int32_t expected = 0;
};

struct FakeCall {
  std::string name;
  int recorder = -1;
  std::wstring text;
  std::int64_t number = 0;
};

class FakeDiscState;

class FakeDiscServices : public platform::DiscServices {
 public:
  FakeDiscServices();
  ~FakeDiscServices() override;

  // Adds a recorder at the next drive index; the reference stays valid.
  FakeRecorder& AddRecorder();
  FakeRecorder& recorder(int index);
  int recorder_count() const;

  void Fail(const std::string& call, HRESULT hr, int recorder = kAnyRecorder);
  void ClearFailures();
  void ServeStream(const std::wstring& path, std::uint64_t size);
  // Called after every call is recorded, without the lock held.
  void SetCallHook(std::function<void(const FakeCall&)> hook);
  void UseClock(std::shared_ptr<FakeClock> clock);

  std::vector<FakeWriteEvent> write_events;
  std::vector<FakeEraseEvent> erase_events;
  std::uint32_t write_seconds = 0;
  std::uint32_t erase_seconds = 0;
  std::uint32_t add_tree_seconds = 0;
  // What the file-system image reports.
  std::int32_t image_file_count = 0;
  std::int32_t image_directory_count = 0;

  std::vector<FakeCall> Calls(const std::string& name) const;
  int Count(const std::string& name) const;
  // Objects of the fake still held by someone (streams included).
  int LiveObjects() const;
  // Data writers and erasers bound to a recorder and not unbound.
  int OpenBindings() const;
  // Sinks advised and not unadvised; advised sinks still alive anywhere.
  int OpenAdvises() const;
  int LiveSinks() const;

  HRESULT CreateDiscMaster(
      std::shared_ptr<platform::IDiscMaster2>* out) override;
  HRESULT CreateRecorder(
      std::shared_ptr<platform::IDiscRecorder2>* out) override;
  HRESULT CreateDataWriter(
      std::shared_ptr<platform::IDiscFormat2Data>* out) override;
  HRESULT CreateEraser(
      std::shared_ptr<platform::IDiscFormat2Erase>* out) override;
  HRESULT CreateFileSystemImage(
      std::shared_ptr<platform::IFileSystemImage>* out) override;
  HRESULT CreateBootOptions(
      std::shared_ptr<platform::IBootOptions>* out) override;
  HRESULT CreateStreamOnFile(const std::wstring& path,
                             std::shared_ptr<platform::IStream>* out) override;

  // A stream of `size` bytes, counted as a live object.
  std::shared_ptr<platform::IStream> MakeStream(std::uint64_t size);

 private:
  friend class FakeDiscState;
  std::shared_ptr<FakeDiscState> state_;
  std::deque<FakeRecorder> recorders_;
  std::map<std::wstring, std::uint64_t> served_streams_;
  std::shared_ptr<FakeClock> clock_;
};

}  // namespace tessaline::testing

#endif  // TESSALINE_TESTS_SUPPORT_DISC_FAKE_DISC_SERVICES_H_
