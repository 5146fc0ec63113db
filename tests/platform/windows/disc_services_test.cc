// The IMAPI2 disc services over the fake IMAPI2 (Wine has none): what the
// Windows job test does not reach. Every COM object touched is released.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "burn/erase.h"
#include "burn/image_writer.h"
#include "burn/recorder.h"
#include "platform/windows/fake_imapi2_fixture.h"
#include "platform/windows/win32.h"
#include "platform/windows/windows_backends.h"
#include "support/core/test_platform.h"

namespace tessaline {
namespace {

namespace ids = platform::windows::imapi2;
using Report = std::tuple<std::int32_t, std::intptr_t, std::intptr_t>;

// Collects reports; sets the cancel flag at the report numbered `cancel_at`.
struct Reports {
  std::vector<Report> seen;
  CancelFlag* cancel = nullptr;
  std::size_t cancel_at = 0;
  static void Callback(std::int32_t code, std::intptr_t first,
                       std::intptr_t second, void* context) {
    auto* self = static_cast<Reports*>(context);
    self->seen.push_back({code, first, second});
    if (self->seen.size() == self->cancel_at) *self->cancel = 1;
  }
};

class WindowsDiscServicesTest : public ::testing::Test {
 protected:
  WindowsDiscServicesTest()
      : entered_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)),
        fake_(std::make_unique<testing::FakeImapi2>()),
        test_(testing::MakeTestPlatform()) {
    test_.platform->disc = platform::windows::MakeDiscServices();
  }
  ~WindowsDiscServicesTest() override {
    fake_.reset();
    if (SUCCEEDED(entered_)) ::CoUninitialize();
  }
  void SetUp() override { ASSERT_TRUE(fake_->registered()); }
  // Whatever a test did, nothing of IMAPI2 stays held.
  void TearDown() override {
    EXPECT_EQ(state().live_objects, 0);
    EXPECT_EQ(state().advised_sinks, 0);
  }

  testing::FakeImapi2State& state() { return fake_->state(); }
  const platform::Platform& platform() const { return *test_.platform; }

  const ::HRESULT entered_;
  std::unique_ptr<testing::FakeImapi2> fake_;
  testing::TestPlatform test_;
  testing::TempFolder folder_;
  CancelFlag cancel_{0};
};

// Identity, mount points and media flags come from the recorder's objects:
// page 0x1E is CD-ROM; 0x2F with byte 4 = 0x0A is DVD-R, DVD-RW, DVD-R DL.
TEST_F(WindowsDiscServicesTest, RecordersAreListedFromTheirComObjects) {
  std::vector<RecorderInfo> list;
  EnumerateRecorders(platform(), list);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(
      list[0].vendorId + L"|" + list[0].productId + L"|" + list[0].mountPoints,
      L"VENDOR|DVD WRITER|F:\\|D:\\mnt\\disc\\");
  for (int type = 0; type < 20; ++type) {
    EXPECT_EQ(list[0].mediaSupportFlags[type], type == 1 || type / 3 == 3)
        << type;
  }
}

// Events through Invoke or the vtable, from the writer or from elsewhere;
// a cancel in the sink stops the COM write; erase progress through Invoke.
TEST_F(WindowsDiscServicesTest, ProgressFromEveryPathAndCancel) {
  const auto action = [](int value) {
    return static_cast<IMAPI_FORMAT2_DATA_WRITE_ACTION>(value);
  };
  const struct {
    std::vector<testing::FakeWriteEvent> events;
    std::size_t cancel_at;
    std::vector<Report> reports;
    WriteOutcome outcome;
  } rows[] = {
      {{{action(2), 0, 0, false, false},
        {action(4), 12, 300, true, false},
        {action(4), 13, 300, false, true},
        {action(6), 14, 300, false, false}},
       0,
       {{5, 0, 0}, {8, 12, 300}, {8, 13, 300}},
       WriteOutcome::kWritten},
      {{{action(4), 1, 300}, {action(4), 2, 300}, {action(4), 3, 300}},
       1,
       {{8, 1, 300}},
       WriteOutcome::kCancelled},
  };
  testing::WritePatternFile(folder_.path() / "boot.iso", 2 * 2048, 7);
  for (const auto& row : rows) {
    cancel_ = 0;
    state().blank = true;
    state().write_events = row.events;
    Reports reports{{}, &cancel_, row.cancel_at};
    WriteOutcome outcome = WriteOutcome::kNotWritten;
    const platform::HRESULT hr =
        WriteIsoImage(platform(), folder_.Wide("boot.iso"), 0,
                      &Reports::Callback, &reports, &cancel_, &outcome);
    EXPECT_EQ(platform::Succeeded(hr), row.cancel_at == 0);
    EXPECT_EQ(outcome, row.outcome);
    EXPECT_EQ(reports.seen, row.reports);
    EXPECT_EQ(state().written, testing::ReadFile(folder_.path() / "boot.iso"));
  }

  state().erase_events = {{30, 120}, {120, 120}};
  Reports reports{{}, &cancel_, 0};
  EXPECT_EQ(
      EraseRecorderMedia(platform(), 0, true, &Reports::Callback, &reports),
      platform::kS_OK);
  EXPECT_EQ(reports.seen, (std::vector<Report>{{7, 30, 120}, {7, 120, 120}}));
  // A full erase, as rewritable media need before a new image.
  EXPECT_THAT(state().calls, ::testing::Contains("put_FullErase true"));
}

// What an uninitialised VARIANT on the stack would hold: the address of a
// COM object whose low 16 bits read as VT_UNKNOWN, so that clearing such a
// VARIANT releases that object.
struct StackPoison {
  static inline int releases = 0;
  static ULONG STDMETHODCALLTYPE Release(void*) { return ++releases; }
  static inline const decltype(&Release) vtable[3] = {nullptr, nullptr,
                                                      &Release};
  StackPoison()
      : memory(::VirtualAlloc(nullptr, 0x10000, MEM_COMMIT | MEM_RESERVE,
                              PAGE_READWRITE)),
        object(static_cast<char*>(memory) + VT_UNKNOWN) {
    // Allocations start on 64 KiB boundaries.
    const void* table = vtable;
    std::memcpy(object, &table, sizeof table);
  }
  ~StackPoison() { ::VirtualFree(memory, 0, MEM_RELEASE); }
  __attribute__((noinline)) void Fill() const {
    volatile std::uintptr_t words[4096];
    for (auto& word : words) word = reinterpret_cast<std::uintptr_t>(object);
  }
  void* memory;
  char* object;
};

class CountingEraseSink : public platform::DDiscFormat2EraseEvents {
 public:
  platform::HRESULT Update(platform::IDiscFormat2Erase*, std::int32_t,
                           std::int32_t) override {
    ++events;
    return platform::kS_OK;
  }
  int events = 0;
};

// A sink answers bad calls with their errors, clears only the arguments it
// took, and once unadvised lets go of the library's sink.
TEST_F(WindowsDiscServicesTest, SinkObjectAnswersBadCallsAndGoesWhenUnadvised) {
  std::shared_ptr<platform::IDiscFormat2Erase> eraser;
  ASSERT_EQ(platform().disc->CreateEraser(&eraser), platform::kS_OK);
  auto sink = std::make_shared<CountingEraseSink>();
  std::uint32_t cookie = 0;
  ASSERT_EQ(eraser->Advise(sink, &cookie), platform::kS_OK);
  IDispatch* advised = state().last_sink;
  ASSERT_NE(advised, nullptr);
  EXPECT_EQ(sink.use_count(), 2);

  wchar_t update[] = L"update", other[] = L"Progress";
  LPOLESTR names[] = {update, other};
  DISPID id = 0;
  EXPECT_EQ(advised->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
  EXPECT_EQ(id, 0x200);
  EXPECT_EQ(advised->GetIDsOfNames(IID_NULL, names + 1, 1, 0, &id),
            DISP_E_UNKNOWNNAME);
  StackPoison poison;
  ASSERT_NE(poison.memory, nullptr);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(advised->Invoke(0x201, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr,
                            nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);
  poison.Fill();
  EXPECT_EQ(advised->Invoke(0x200, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr,
                            nullptr, nullptr),
            DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(StackPoison::releases, 0);
  EXPECT_EQ(sink->events, 0);
  IUnknown* events = nullptr;
  EXPECT_EQ(advised->QueryInterface(ids::kIidDDiscFormat2DataEvents,
                                    reinterpret_cast<void**>(&events)),
            E_NOINTERFACE);

  EXPECT_EQ(eraser->Unadvise(cookie), platform::kS_OK);
  EXPECT_EQ(sink.use_count(), 1);
}

// A stream that did not come from the services.
class OtherStream : public platform::IStream {
 public:
  platform::HRESULT Stat(std::uint64_t* size) override {
    *size = 0;
    return platform::kS_OK;
  }
  platform::HRESULT Read(void*, std::uint32_t, std::uint32_t* read) override {
    *read = 0;
    return platform::kS_OK;
  }
};

TEST_F(WindowsDiscServicesTest,
       FileStreamsDenyWritersAndForeignOnesAreRefused) {
  testing::WritePatternFile(folder_.path() / "image.iso", 5000, 2);
  const std::wstring path = folder_.Wide("image.iso");
  std::shared_ptr<platform::IStream> stream;
  ASSERT_EQ(platform().disc->CreateStreamOnFile(path, &stream),
            platform::kS_OK);
  platform::windows::UniqueHandle writer(::CreateFileW(
      path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  EXPECT_FALSE(writer.valid());
  stream.reset();
  EXPECT_EQ(
      platform().disc->CreateStreamOnFile(folder_.Wide("absent"), &stream),
      static_cast<platform::HRESULT>(0x80070002u));

  // IMAPI2 reads only streams of its own kind.
  std::shared_ptr<platform::IDiscFormat2Data> data_writer;
  ASSERT_EQ(platform().disc->CreateDataWriter(&data_writer), platform::kS_OK);
  OtherStream other;
  EXPECT_EQ(data_writer->Write(&other),
            platform::kE_IMAPI_DF2DATA_STREAM_NOT_SUPPORTED);
  EXPECT_TRUE(state().written.empty());
}

}  // namespace
}  // namespace tessaline
