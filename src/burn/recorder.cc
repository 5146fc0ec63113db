#include "burn/recorder.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "burn/diagnostics.h"

namespace tessaline {

using platform::Failed;
using platform::HRESULT;
using platform::kS_OK;
using platform::Succeeded;

namespace {

// Successful DisableMcn calls not yet undone, one count per recorder (by
// its unique id), as IMAPI2 counts per device: re-enabling one drive never
// undoes the disabling of another.
std::mutex& McnMutex() {
  static auto* mutex = new std::mutex;
  return *mutex;
}

std::map<std::wstring, std::int32_t>& McnCounts() {
  static auto* counts = new std::map<std::wstring, std::int32_t>;
  return *counts;
}

// What one feature page says about the media types the drive can handle:
// the flags set in any case, and those that depend on one bit of the
// descriptor.
struct BitFlag {
  std::size_t byte;
  std::uint8_t mask;
  IMAPI_MEDIA_PHYSICAL_TYPE type;
};

struct FeatureRule {
  std::uint32_t feature;
  std::vector<IMAPI_MEDIA_PHYSICAL_TYPE> always;
  std::vector<BitFlag> by_bit;
};

const std::vector<FeatureRule>& FeatureRules() {
  static const std::vector<FeatureRule> rules = {
      {platform::kFeatureCdRead, {IMAPI_MEDIA_TYPE_CDROM}, {}},
      {platform::kFeatureDvdRead, {IMAPI_MEDIA_TYPE_DVDROM}, {}},
      {platform::kFeatureCdrwCavWrite, {IMAPI_MEDIA_TYPE_CDRW}, {}},
      {platform::kFeatureCdrwMediaWriteSupport, {IMAPI_MEDIA_TYPE_CDRW}, {}},
      {platform::kFeatureCdTrackAtOnce,
       {IMAPI_MEDIA_TYPE_CDR},
       {{4, 0x02, IMAPI_MEDIA_TYPE_CDRW}}},
      {platform::kFeatureCdMastering,
       {IMAPI_MEDIA_TYPE_CDR},
       {{4, 0x02, IMAPI_MEDIA_TYPE_CDRW}}},
      {platform::kFeatureDvdPlusRw,
       {},
       {{4, 0x01, IMAPI_MEDIA_TYPE_DVDPLUSRW}}},
      {platform::kFeatureDvdPlusR, {}, {{4, 0x01, IMAPI_MEDIA_TYPE_DVDPLUSR}}},
      {platform::kFeatureDvdPlusRDualLayer,
       {},
       {{4, 0x01, IMAPI_MEDIA_TYPE_DVDPLUSR_DUALLAYER}}},
      {platform::kFeatureDvdDashWrite,
       {IMAPI_MEDIA_TYPE_DVDDASHR},
       // Bit 0x04 of byte 4 is Test Write, not DVD-RW.
       {{4, 0x08, IMAPI_MEDIA_TYPE_DVDDASHR_DUALLAYER},
        {4, 0x02, IMAPI_MEDIA_TYPE_DVDDASHRW}}},
      {platform::kFeatureBdRead, {IMAPI_MEDIA_TYPE_BDROM}, {}},
      {platform::kFeatureBdWrite,
       {},
       {{9, 0x04, IMAPI_MEDIA_TYPE_BDRE}, {17, 0x02, IMAPI_MEDIA_TYPE_BDR}}},
      {platform::kFeatureHdDvdRead, {IMAPI_MEDIA_TYPE_HDDVDROM}, {}},
      {platform::kFeatureHdDvdWrite,
       {},
       {{4, 0x01, IMAPI_MEDIA_TYPE_HDDVDR},
        {6, 0x01, IMAPI_MEDIA_TYPE_HDDVDRAM}}},
  };
  return rules;
}

// Reads identifiers, mount points and capabilities of one recorder into
// info. Returns false when the recorder is not to be listed.
bool ExamineRecorder(const platform::Platform& platform,
                     const std::shared_ptr<platform::IDiscRecorder2>& recorder,
                     platform::IDiscRecorder2Ex& recorder_ex,
                     RecorderInfo& info) {
  std::wstring vendor;
  std::wstring product;
  HRESULT hr = recorder->GetVendorId(&vendor);
  if (Succeeded(hr)) hr = recorder->GetProductId(&product);
  info.vendorId = vendor;
  info.productId = product;
  if (Failed(hr)) {
    burn::Say(platform, "Failed to get ID's\n");
    return false;
  }

  std::vector<std::wstring> paths;
  if (Failed(recorder->GetVolumePathNames(&paths))) {
    burn::Say(platform, "Unable to get mount points, failed\n");
    return false;
  }
  if (paths.empty()) {
    burn::Say(platform, " (*** NO MOUNT POINTS ***)");
  }
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (i > 0) info.mountPoints.push_back(L'|');
    info.mountPoints.append(paths[i]);
  }

  std::shared_ptr<platform::IDiscFormat2Data> writer;
  if (Failed(platform.disc->CreateDataWriter(&writer))) {
    burn::Say(platform, "Failed CoCreateInstance on dataWriter\n");
    return false;
  }
  // Only the answer counts; a failed question leaves it false.
  bool supported = false;
  writer->IsRecorderSupported(recorder.get(), &supported);
  if (!supported) return false;

  RecorderBinding<platform::IDiscFormat2Data> binding(writer, recorder);
  std::vector<std::uint32_t> features;
  hr = recorder->GetSupportedFeaturePages(&features);
  if (Failed(hr)) {
    burn::Say(platform, "Failed get_SupportedFeaturePages()\n");
  } else {
    for (std::uint32_t feature : features) {
      ApplyFeaturePage(feature, recorder_ex, info);
    }
    IMAPI_MEDIA_PHYSICAL_TYPE type = IMAPI_MEDIA_TYPE_UNKNOWN;
    if (Succeeded(writer->GetCurrentPhysicalMediaType(&type))) {
      info.currentMediaType = type;
    }
  }
  if (hr == platform::kE_IMAPI_RECORDER_MEDIA_NO_MEDIA) {
    info.currentMediaType = IMAPI_MEDIA_TYPE_UNKNOWN;
    std::fill(std::begin(info.currentMediaFlags),
              std::end(info.currentMediaFlags), false);
  }
  return true;
}

}  // namespace

void ThrowIfFailed(HRESULT hr, const std::wstring& text) {
  if (Failed(hr)) throw MediaWriterException(text);
}

std::shared_ptr<platform::IDiscRecorder2> OpenRecorder(
    const platform::Platform& platform, std::int32_t index,
    std::wstring* unique_id) {
  std::shared_ptr<platform::IDiscMaster2> master;
  ThrowIfFailed(platform.disc->CreateDiscMaster(&master),
                L"CoCreateInstance MsftDiscMaster2 failed");
  std::wstring id;
  ThrowIfFailed(master->GetItem(index, &id), L"Disc Master Failure");
  std::shared_ptr<platform::IDiscRecorder2> recorder;
  ThrowIfFailed(platform.disc->CreateRecorder(&recorder),
                L"CoCreateInstance MsftDiscRecorder2 failed");
  ThrowIfFailed(recorder->InitializeDiscRecorder(id),
                L"Failed to init disc recorder");
  if (unique_id != nullptr) *unique_id = std::move(id);
  return recorder;
}

void ApplyFeaturePage(std::uint32_t feature,
                      platform::IDiscRecorder2Ex& recorder_ex,
                      RecorderInfo& info) {
  const auto& rules = FeatureRules();
  auto rule = std::find_if(rules.begin(), rules.end(),
                           [&](const auto& r) { return r.feature == feature; });
  if (rule == rules.end()) return;

  // All features the drive has, not only those the current medium allows.
  std::vector<std::uint8_t> descriptor;
  bool read = Succeeded(
      recorder_ex.GetFeaturePage(feature, /*current_only=*/false, &descriptor));
  for (auto type : rule->always) info.mediaSupportFlags[type] = true;
  if (!read) return;
  for (const BitFlag& flag : rule->by_bit) {
    if (flag.byte < descriptor.size() &&
        (descriptor[flag.byte] & flag.mask) != 0) {
      info.mediaSupportFlags[flag.type] = true;
    }
  }
}

void EnumerateRecorders(const platform::Platform& platform,
                        std::vector<RecorderInfo>& list) {
  list.clear();
  std::shared_ptr<platform::IDiscMaster2> master;
  ThrowIfFailed(platform.disc->CreateDiscMaster(&master),
                L"CoCreateInstance MsftDiscMaster2 failed");
  std::int32_t count = 0;
  if (Failed(master->GetCount(&count))) {
    burn::Say(platform, "Failed to get count\n");
    return;
  }
  for (std::int32_t index = 0; index < count; ++index) {
    RecorderInfo info;
    info.index = index;
    std::shared_ptr<platform::IDiscRecorder2> recorder;
    try {
      recorder = OpenRecorder(platform, index);
    } catch (const MediaWriterException&) {
      // A recorder that cannot be opened ends the list where it stands.
      return;
    }
    std::shared_ptr<platform::IDiscRecorder2Ex> recorder_ex;
    if (Failed(recorder->QueryRecorderEx(&recorder_ex)) || !recorder_ex) {
      return;
    }
    if (ExamineRecorder(platform, recorder, *recorder_ex, info)) {
      list.push_back(info);
    }
  }
}

std::int32_t SetMediaChangeNotification(const platform::Platform& platform,
                                        std::uint32_t index, bool disable) {
  std::wstring unique_id;
  auto recorder =
      OpenRecorder(platform, static_cast<std::int32_t>(index), &unique_id);
  if (disable) {
    if (Succeeded(recorder->DisableMcn())) {
      std::lock_guard<std::mutex> lock(McnMutex());
      ++McnCounts()[unique_id];
    }
    return 1;
  }
  // Take one count before enabling, so that two threads cannot both undo
  // the last disable; give it back when the drive refuses.
  {
    std::lock_guard<std::mutex> lock(McnMutex());
    auto count = McnCounts().find(unique_id);
    if (count == McnCounts().end() || count->second < 1) return 1;
    if (--count->second == 0) McnCounts().erase(count);
  }
  if (Failed(recorder->EnableMcn())) {
    std::lock_guard<std::mutex> lock(McnMutex());
    ++McnCounts()[unique_id];
  }
  return 1;
}

}  // namespace tessaline
