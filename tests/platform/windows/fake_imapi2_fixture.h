// A fake IMAPI2: COM objects registered under IMAPI2's class identifiers in
// the apartment of the thread that makes a FakeImapi2 (one on a job's
// thread may share a test's state), answering only the calls the backend
// makes. The written disc is a folder: Write copies the image's tree there.
#ifndef TESSALINE_TESTS_PLATFORM_WINDOWS_FAKE_IMAPI2_FIXTURE_H_
#define TESSALINE_TESTS_PLATFORM_WINDOWS_FAKE_IMAPI2_FIXTURE_H_

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "platform/windows/imapi2_interfaces.h"
#include "platform/windows/win32.h"

namespace tessaline::testing {

// The vtable slot of a virtual member function: the Itanium C++ ABI, which
// mingw-w64 follows, stores 1 + the slot's byte offset in a pointer to a
// virtual member.
template <typename Class, typename Function>
std::ptrdiff_t VtableSlot(Function Class::*member) {
  static_assert(sizeof member == 2 * sizeof(void*));
  std::ptrdiff_t raw = 0;
  std::memcpy(&raw, &member, sizeof raw);
  return (raw - 1) / static_cast<std::ptrdiff_t>(sizeof(void*));
}

// One progress event of the data writer's Write.
struct FakeWriteEvent {
  IMAPI_FORMAT2_DATA_WRITE_ACTION action = {};
  LONG elapsed = 0;
  LONG total = 0;
  bool through_vtable = false;  // Update's slot rather than Invoke
  bool foreign_source = false;  // from an object other than the writer
};

struct FakeImapi2State {
  // Configuration.
  std::vector<std::wstring> recorder_ids = {L"\\\\?\\fake#recorder#0"};
  std::vector<std::wstring> volume_paths = {L"F:\\", L"D:\\mnt\\disc\\"};
  bool blank = false;
  IMAPI_MEDIA_PHYSICAL_TYPE media_type = IMAPI_MEDIA_TYPE_DVDPLUSRW;
  std::vector<FakeWriteEvent> write_events;
  std::vector<std::pair<LONG, LONG>> erase_events;  // elapsed, expected
  // The folder that shows the written disc; none when empty.
  std::wstring disc;

  // Record: the calls whose arguments matter, e.g. "put_FullErase true".
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
  explicit FakeImapi2(FakeImapi2State* shared = nullptr);
  ~FakeImapi2();
  FakeImapi2(const FakeImapi2&) = delete;
  FakeImapi2& operator=(const FakeImapi2&) = delete;

  FakeImapi2State& state() { return *state_; }
  // Whether the classes could be registered.
  bool registered() const { return registered_; }

 private:
  FakeImapi2State own_;
  FakeImapi2State* state_;
  std::vector<DWORD> cookies_;
  bool registered_ = false;
};

}  // namespace tessaline::testing

#endif  // TESSALINE_TESTS_PLATFORM_WINDOWS_FAKE_IMAPI2_FIXTURE_H_
