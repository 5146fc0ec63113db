// A fake IMAPI2 for the tests of the Windows disc services: COM objects
// that implement the IMAPI2 interfaces of recorders, writing and erasing
// (not of the file-system image builder) as the backend declares them,
// registered in the test's apartment under IMAPI2's class identifiers, so
// that CoCreateInstance hands them to the backend as it would hand the
// system's. They record what they are asked, deliver progress events to
// advised sinks through IDispatch::Invoke or the event interface's vtable,
// and count themselves, so a test can see that everything was released.
//
// Use: construct a FakeImapi2 on a thread that has entered a single-
// threaded apartment; it registers the classes, and revokes them when it
// goes.
#ifndef TESSALINE_TESTS_PLATFORM_WINDOWS_FAKE_IMAPI2_FIXTURE_H_
#define TESSALINE_TESTS_PLATFORM_WINDOWS_FAKE_IMAPI2_FIXTURE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "platform/windows/imapi2_interfaces.h"
#include "platform/windows/win32.h"

namespace tessaline::testing {

// One progress event of the data writer's Write.
struct FakeWriteEvent {
  IMAPI_FORMAT2_DATA_WRITE_ACTION action = {};
  LONG elapsed = 0;
  LONG total = 0;
  // Delivered through the event interface's Update slot instead of
  // IDispatch::Invoke.
  bool through_vtable = false;
  // The event's source is not the writer (and does not answer for
  // IDiscFormat2Data).
  bool foreign_source = false;
};

struct FakeImapi2State {
  // Configuration.
  std::vector<std::wstring> recorder_ids = {L"\\\\?\\fake#recorder#0"};
  std::wstring vendor = L"VENDOR";
  std::wstring product = L"DVD WRITER";
  std::vector<std::wstring> volume_paths = {L"F:\\", L"D:\\mnt\\disc\\"};
  std::vector<LONG> feature_pages = {0x1E, 0x2F};
  bool blank = false;
  LONG free_sectors = 2295104;
  IMAPI_MEDIA_PHYSICAL_TYPE media_type = IMAPI_MEDIA_TYPE_DVDPLUSRW;
  std::vector<FakeWriteEvent> write_events;
  std::vector<std::pair<LONG, LONG>> erase_events;  // elapsed, expected

  // Record: one line per call the library made, e.g. "put_ClientName Kiro
  // Media Creation", "Write 4096", "put_Recorder null".
  std::vector<std::string> calls;
  int live_objects = 0;
  int advised_sinks = 0;
  // The sink object the library advised last; valid while it is advised.
  IDispatch* last_sink = nullptr;
  // The bytes Write read from its stream.
  std::string written;
};

class FakeImapi2 {
 public:
  FakeImapi2();
  ~FakeImapi2();
  FakeImapi2(const FakeImapi2&) = delete;
  FakeImapi2& operator=(const FakeImapi2&) = delete;

  FakeImapi2State& state() { return state_; }
  // Whether the classes could be registered.
  bool registered() const { return registered_; }
  // Whether `call` was recorded.
  bool Called(const std::string& call) const;

 private:
  FakeImapi2State state_;
  std::vector<DWORD> cookies_;
  bool registered_ = false;
};

}  // namespace tessaline::testing

#endif  // TESSALINE_TESTS_PLATFORM_WINDOWS_FAKE_IMAPI2_FIXTURE_H_
