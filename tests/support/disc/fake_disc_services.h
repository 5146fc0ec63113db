// A scriptable fake of the disc services (platform/disc.h).
//
// Use:
//
//   auto disc = std::make_shared<tessaline::testing::FakeDiscServices>();
//   auto& drive = disc->AddRecorder();        // drive index 0
//   drive.volume_paths = {L"E:\\"};           // or {L"/media/cdrom0/"}
//   drive.AddFeature(0x2F, {{4, 0x0C}});      // feature page, byte 4 = 0x0C
//   drive.medium.blank = false;
//   disc->write_events = {{.action = 4, .elapsed = 12, .total = 300}};
//   disc->Fail("IDiscFormat2Erase::EraseMedia", kE_FAIL);
//   platform->disc = disc;
//   ... run the code under test ...
//   EXPECT_EQ(disc->Count("IDiscFormat2Erase::EraseMedia"), 1);
//   EXPECT_EQ(disc->LiveObjects(), 0);
//   EXPECT_EQ(disc->OpenBindings(), 0);
//
// MakeDiscTestPlatform (disc_test_platform.h) gives a test platform with a
// fake already in place and tied to the fake clock.
//
// Configuration. Recorders (AddRecorder) are listed by the disc master in the
// order they were added; each carries its medium. The data writer's events
// during Write and the eraser's events during EraseMedia come from the
// scripts `write_events` and `erase_events`. Configure before the code under
// test runs (the configuration is read without a lock); the record and the
// counters may be read at any time.
//
// Failures. Fail(call, hr) makes the named call return hr instead of doing
// its work (the call is still recorded); FailOnce fails one call only.
// Names are "Interface::Method" as in platform/disc.h, e.g.
// "DiscServices::CreateDataWriter",
// "IDiscMaster2::GetCount", "IDiscRecorder2::InitializeDiscRecorder",
// "IDiscFormat2Data::Write". A failure can be limited to one drive index and
// can let the first `after` matching calls succeed. An injected failure of
// IDiscFormat2Data::Write or IDiscFormat2Erase::EraseMedia is returned after
// the script's events have been delivered, as a write that breaks off would.
// One of the eleven getters of an event's arguments fails through the
// event's `failing_getter` ("GetElapsedTime", ..., "GetFreeSystemBuffer").
//
// Record. Every call is recorded in order as a FakeCall: its name, the drive
// index it concerns (-1 when none), a text argument and a number argument:
//   *::PutRecorder             text = unique id of the recorder, or empty
//                              when unbinding; number = 1 bind, 0 unbind
//   *::PutClientName           text = client name
//   IDiscRecorder2::InitializeDiscRecorder  text = unique id
//   IDiscRecorder2Ex::GetFeaturePage  number = feature code
//   IDiscFormat2Erase::PutFullErase   number = 1 full, 0 quick
//   IDiscFormat2Data::Write    number = size of the stream in bytes
//   IFileSystemImage::PutFileSystemsToCreate  number = flags
//   IFileSystemImage::PutVolumeName   text = volume name
//   IFileSystemImage::PutFreeMediaBlocks  number = blocks
//   IFsiDirectoryItem::AddTree text = source folder, number = base flag
//   DiscServices::CreateStreamOnFile  text = path
//   IBootOptions::AssignBootImage     number = size of the boot image
//
// Counters. LiveObjects() counts the fake's objects that are still held by
// someone (streams included); OpenBindings() the data writers and erasers
// bound to a recorder and not unbound; OpenAdvises() the sinks advised and not
// unadvised; LiveSinks() the advised sinks that are still alive anywhere.
//
// Streams. CreateStreamOnFile serves a stream registered with ServeStream
// (any size, the bytes are generated, nothing is stored) or otherwise reads
// the real file at the path. A missing file fails with 0x80070002.
//
// Medium. A successful Write marks the recorder's medium written (not
// blank, content kept up to capture_limit); a stream larger than its free
// sectors fails with E_IMAPI_DF2DATA_STREAM_TOO_LARGE_FOR_CURRENT_MEDIA
// before any event. A successful EraseMedia makes it blank; a medium that
// is not erasable fails at once. Without a medium (present = false) the
// queries, Write and EraseMedia fail with E_IMAPI_RECORDER_MEDIA_NO_MEDIA.
// CancelWrite during Write ends it after the current event with
// E_IMAPI_REQUEST_CANCELLED. Every event is also recorded as a call
// ("DDiscFormat2DataEvents::Update", number = action;
// "DDiscFormat2EraseEvents::Update", number = elapsed) before it is
// delivered, so a call hook can act "during" a write or erase.
//
// Time. With UseClock(clock), Write, EraseMedia and AddTree advance that fake
// clock by `write_seconds`, `erase_seconds` and `add_tree_seconds` (without
// recording a Sleep), so elapsed-time lines can be checked.
//
// Thread use: the code under test may run on another thread; the record and
// counters are guarded by a lock, and no lock is held while a sink or a hook
// runs.
#ifndef TESSALINE_TESTS_SUPPORT_DISC_FAKE_DISC_SERVICES_H_
#define TESSALINE_TESTS_SUPPORT_DISC_FAKE_DISC_SERVICES_H_

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/disc.h"
#include "support/core/fake_clock.h"

namespace tessaline::testing {

using platform::HRESULT;

inline constexpr int kAnyRecorder = -1;
// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND).
inline constexpr HRESULT kFileNotFound = static_cast<HRESULT>(0x80070002u);

struct FakeMedium {
  // False: no disc in the tray; media queries and writes fail with
  // E_IMAPI_RECORDER_MEDIA_NO_MEDIA.
  bool present = true;
  IMAPI_MEDIA_PHYSICAL_TYPE type = IMAPI_MEDIA_TYPE_DVDPLUSRW;
  // Flags of platform::MediaState.
  std::uint32_t state = platform::kMediaStateAppendable;
  // The answer of GetMediaHeuristicallyBlank.
  bool blank = false;
  std::int32_t free_sectors = 2295104;
  // Flags of platform::WriteProtectState.
  std::uint32_t write_protect = platform::kWriteProtectNone;
  // False: EraseMedia fails with E_IMAPI_ERASE_MEDIA_IS_NOT_SUPPORTED.
  bool erasable = true;
  // The bytes of the last successful Write, when the stream was at most
  // FakeDiscServices::capture_limit bytes long.
  std::vector<std::uint8_t> content;
  std::uint64_t written_size = 0;
  int writes = 0;
  int erases = 0;
};

struct FakeRecorder {
  // Empty: "fake-recorder-<index>" is used.
  std::wstring unique_id;
  std::wstring vendor = L"FAKEVNDR";
  std::wstring product = L"Fake Writer";
  // As IMAPI2 reports them: "E:\" (Windows) or "/media/cdrom0/" (POSIX).
  std::vector<std::wstring> volume_paths;
  // The codes GetSupportedFeaturePages returns, in order.
  std::vector<std::uint32_t> features;
  // Descriptors by feature code; GetFeaturePage fails (E_FAIL) for a code
  // without one.
  std::map<std::uint32_t, std::vector<std::uint8_t>> descriptors;
  // The answer of IDiscFormat2Data::IsRecorderSupported.
  bool supported = true;
  // False: QueryRecorderEx fails with E_NOINTERFACE.
  bool has_extended = true;
  FakeMedium medium;

  // Lists the feature and gives it a descriptor: bytes 0-1 the code, byte 3
  // the additional length, then the given bytes set (the descriptor is long
  // enough for the highest index, at least 4 bytes).
  FakeRecorder& AddFeature(
      std::uint32_t code,
      const std::vector<std::pair<std::size_t, std::uint8_t>>& bytes = {});
  // Lists the feature without a readable descriptor.
  FakeRecorder& AddUnreadableFeature(std::uint32_t code);
};

// One event of the data writer during Write.
struct FakeWriteEvent {
  std::int32_t action = platform::kWriteActionWritingData;
  std::int32_t elapsed = 0;
  std::int32_t total = 0;
  std::int32_t remaining = 0;
  // Name of the getter of the event's arguments that fails, or empty.
  std::string failing_getter;
  // The event's arguments do not answer for IDiscFormat2DataEventArgs.
  bool no_arguments = false;
  // The event's source does not answer for IDiscFormat2Data.
  bool no_writer = false;
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

struct FakeFailure {
  std::string call;
  HRESULT hr = platform::kE_FAIL;
  int recorder = kAnyRecorder;
  // Matching calls that still succeed before the failures start.
  int after = 0;
  // How many matching calls fail from then on; -1 for all.
  int times = -1;
};

class FakeDiscState;

class FakeDiscServices : public platform::DiscServices {
 public:
  FakeDiscServices();
  ~FakeDiscServices() override;

  // Configuration ---------------------------------------------------------

  // Adds a recorder at the next drive index and returns it for set-up. The
  // reference stays valid as long as the fake.
  FakeRecorder& AddRecorder(FakeRecorder recorder = {});
  // The recorder at a drive index, which must exist.
  FakeRecorder& recorder(int index);
  int recorder_count() const;

  void Fail(const std::string& call, HRESULT hr, int recorder = kAnyRecorder,
            int after = 0);
  // Fails only the matching call after the first `after` ones.
  void FailOnce(const std::string& call, HRESULT hr,
                int recorder = kAnyRecorder, int after = 0);
  void Fail(const FakeFailure& failure);
  void ClearFailures();

  // CreateStreamOnFile(path) gives a stream of `size` generated bytes.
  void ServeStream(const std::wstring& path, std::uint64_t size);

  // Called after every call is recorded, without the lock held (for a test
  // that acts at a chosen point, e.g. sets the cancel flag).
  void SetCallHook(std::function<void(const FakeCall&)> hook);

  void UseClock(std::shared_ptr<FakeClock> clock);
  const std::shared_ptr<FakeClock>& clock() const { return clock_; }

  std::vector<FakeWriteEvent> write_events;
  std::vector<FakeEraseEvent> erase_events;
  std::uint32_t write_seconds = 0;
  std::uint32_t erase_seconds = 0;
  std::uint32_t add_tree_seconds = 0;
  // What the file-system image reports after AddTree.
  std::int32_t image_file_count = 0;
  std::int32_t image_directory_count = 0;
  // Size of the result image stream, in 2048-byte blocks.
  std::int32_t image_blocks = 16;
  // Streams up to this size are read whole on Write and kept in the
  // medium's content; longer ones only have their size recorded.
  std::uint64_t capture_limit = 64ull << 20;

  // Record and counters -----------------------------------------------------

  std::vector<FakeCall> Calls() const;
  std::vector<FakeCall> Calls(const std::string& name) const;
  // The names of all calls, in order.
  std::vector<std::string> CallNames() const;
  int Count(const std::string& name) const;
  void ClearCalls();

  int LiveObjects() const;
  int OpenBindings() const;
  int OpenAdvises() const;
  int LiveSinks() const;

  // DiscServices ------------------------------------------------------------

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

  // A stream of `size` generated bytes, counted as a live object. Byte i
  // of it is FakeStreamByte(i).
  std::shared_ptr<platform::IStream> MakeStream(std::uint64_t size);

 private:
  std::shared_ptr<FakeDiscState> state_;
  std::deque<FakeRecorder> recorders_;
  std::map<std::wstring, std::uint64_t> served_streams_;
  std::shared_ptr<FakeClock> clock_;
};

// The bytes of the generated streams.
inline std::uint8_t FakeStreamByte(std::uint64_t offset) {
  return static_cast<std::uint8_t>((offset * 7) ^ (offset >> 11));
}

}  // namespace tessaline::testing

#endif  // TESSALINE_TESTS_SUPPORT_DISC_FAKE_DISC_SERVICES_H_
