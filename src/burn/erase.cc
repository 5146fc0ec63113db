#include "burn/erase.h"

#include <memory>
#include <optional>

#include "burn/diagnostics.h"
#include "burn/event_sinks.h"
#include "burn/recorder.h"

namespace tessaline {

using platform::Failed;
using platform::HRESULT;
using platform::kS_OK;
using platform::Succeeded;

HRESULT EraseRecorderMedia(const platform::Platform& platform,
                           std::int32_t drive_index, bool full_erase,
                           StatusCallback notify, void* context) {
  HRESULT hr = kS_OK;
  std::shared_ptr<platform::IDiscFormat2Erase> eraser;
  hr = platform.disc->CreateEraser(&eraser);
  if (Failed(hr)) burn::Say(platform, "CoCreateInstance failed\n");

  std::shared_ptr<platform::IDiscRecorder2> recorder;
  std::optional<RecorderBinding<platform::IDiscFormat2Erase>> binding;
  if (Succeeded(hr)) {
    recorder = OpenRecorder(platform, drive_index);
    binding.emplace(eraser, recorder);
  }

  if (Succeeded(hr)) {
    hr = eraser->PutClientName(burn::kClientName);
    if (Failed(hr)) {
      burn::Say(platform, "FAILED to set client name for erase!\n");
    }
  }
  if (Succeeded(hr)) {
    // Only whether the drive can tell the medium counts.
    IMAPI_MEDIA_PHYSICAL_TYPE type = IMAPI_MEDIA_TYPE_UNKNOWN;
    hr = eraser->GetCurrentPhysicalMediaType(&type);
    if (Failed(hr)) {
      burn::Say(platform, "FAILED to eraser->get_CurrentPhysicalMediaType\n");
    }
  }
  if (Succeeded(hr) && full_erase) {
    hr = eraser->PutFullErase(true);
    if (Failed(hr)) burn::Say(platform, "Failed put_FullErase()");
  }

  auto sink = std::make_shared<CTestErase2Event>();
  sink->notify = notify;
  sink->notifyContext = context;
  std::optional<burn::AdvisedSink<platform::IDiscFormat2Erase,
                                  platform::DDiscFormat2EraseEvents>>
      advised;
  advised.emplace(eraser, sink);

  if (Succeeded(hr)) {
    std::uint64_t start = platform.clock->SystemTime();
    hr = eraser->EraseMedia();
    std::uint64_t end = platform.clock->SystemTime();
    if (Failed(hr)) {
      burn::Say(platform, "FAILED to erase!\n");
      throw UserNeededException(kUserNeededEraseFailed);
    }
    burn::Say(platform, "\n");
    burn::Say(platform, " - Time to erase: " + burn::Hms(start, end) + "\n");
  }

  advised.reset();
  sink.reset();
  burn::Say(platform,
            burn::Format(Succeeded(hr) ? "EraseMedia succeeded for drive "
                                         "index %d\n"
                                       : "EraseMedia FAILED for drive index "
                                         "%d\n",
                         drive_index));
  binding.reset();
  return hr;
}

namespace {

// A data writer bound to the recorder for the media queries, or null when
// it cannot be had. It is released bound: the binding ends with it.
std::shared_ptr<platform::IDiscFormat2Data> QueryWriter(
    const platform::Platform& platform, std::int32_t drive_index) {
  auto recorder = OpenRecorder(platform, drive_index);
  std::shared_ptr<platform::IDiscFormat2Data> writer;
  if (Failed(platform.disc->CreateDataWriter(&writer))) {
    burn::Say(platform, "Failed CoCreateInstance on dataWriter\n");
    return nullptr;
  }
  if (Failed(writer->PutRecorder(recorder))) {
    burn::Say(platform, "Failed dataWriter->put_Recorder\n");
    return nullptr;
  }
  return writer;
}

}  // namespace

IMAPI_MEDIA_PHYSICAL_TYPE ReadMediaType(const platform::Platform& platform,
                                        std::int32_t drive_index,
                                        std::int32_t* media_status) {
  IMAPI_MEDIA_PHYSICAL_TYPE answer = IMAPI_MEDIA_TYPE_UNKNOWN;
  if (auto writer = QueryWriter(platform, drive_index)) {
    std::uint32_t state = 0;
    HRESULT status = writer->GetCurrentMediaStatus(&state);
    if (media_status != nullptr) *media_status = status;
    if (Failed(status)) {
      burn::Say(platform, "Failed dataWriter->get_CurrentMediaStatus\n");
    }
    IMAPI_MEDIA_PHYSICAL_TYPE type = IMAPI_MEDIA_TYPE_UNKNOWN;
    if (Succeeded(writer->GetCurrentPhysicalMediaType(&type))) answer = type;
  }
  return answer;
}

bool ReadMediaBlank(const platform::Platform& platform,
                    std::int32_t drive_index) {
  bool answer = false;
  if (auto writer = QueryWriter(platform, drive_index)) {
    bool blank = false;
    if (Failed(writer->GetMediaHeuristicallyBlank(&blank))) {
      burn::Say(platform, "Failed to get_MediaHeuristicallyBlank\n");
    } else {
      answer = blank;
    }
  }
  return answer;
}

std::uint32_t ElapsedSeconds(std::uint64_t start, std::uint64_t end) {
  std::int64_t ticks =
      static_cast<std::int64_t>(end) - static_cast<std::int64_t>(start);
  return static_cast<std::uint32_t>(ticks / 10 / 1000 / 1000);
}

ElapsedParts SplitElapsed(std::uint64_t start, std::uint64_t end) {
  ElapsedParts parts;
  std::uint32_t s = ElapsedSeconds(start, end);
  if (s >= 86400) {
    parts.days = static_cast<std::uint16_t>(s / 86400);
    s %= 86400;
  }
  if (s >= 3600) {
    parts.hours = static_cast<std::uint16_t>(s / 3600);
    s %= 3600;
  }
  if (s >= 60) {
    parts.minutes = static_cast<std::uint16_t>(s / 60);
    s %= 60;
  }
  parts.seconds = static_cast<std::uint16_t>(s);
  return parts;
}

}  // namespace tessaline
