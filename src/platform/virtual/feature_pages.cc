#include "platform/virtual/feature_pages.h"

#include <algorithm>
#include <functional>
#include <utility>

#include "platform/virtual/media_catalog.h"

namespace tessaline::platform::virtual_drive {
namespace {

using Medium = IMAPI_MEDIA_PHYSICAL_TYPE;

// Byte 2 of a descriptor: version in bits 2 to 5, persistent in bit 1,
// current in bit 0.
constexpr std::uint8_t kPersistent = 0x02;
constexpr std::uint8_t kCurrent = 0x01;

struct Feature {
  std::uint32_t code;
  std::uint8_t version;
  bool persistent;
  std::vector<std::uint8_t> data;
  // Whether the feature is current with `medium` loaded (UNKNOWN: none).
  std::function<bool(Medium)> current;
};

bool IsFamily(Medium medium, MediaFamily family) {
  const MediaInfo* info = FindRecordableMedia(medium);
  return info != nullptr && info->family == family;
}

std::uint8_t ProfileOf(Medium medium) {
  switch (medium) {
    case IMAPI_MEDIA_TYPE_CDROM:
      return 0x08;
    case IMAPI_MEDIA_TYPE_CDR:
      return 0x09;
    case IMAPI_MEDIA_TYPE_CDRW:
      return 0x0A;
    case IMAPI_MEDIA_TYPE_DVDROM:
      return 0x10;
    case IMAPI_MEDIA_TYPE_DVDDASHR:
      return 0x11;
    case IMAPI_MEDIA_TYPE_DVDRAM:
      return 0x12;
    case IMAPI_MEDIA_TYPE_DVDDASHRW:
      return 0x14;
    case IMAPI_MEDIA_TYPE_DVDDASHR_DUALLAYER:
      return 0x15;
    case IMAPI_MEDIA_TYPE_DVDPLUSRW:
      return 0x1A;
    case IMAPI_MEDIA_TYPE_DVDPLUSR:
      return 0x1B;
    case IMAPI_MEDIA_TYPE_DVDPLUSRW_DUALLAYER:
      return 0x2A;
    case IMAPI_MEDIA_TYPE_DVDPLUSR_DUALLAYER:
      return 0x2B;
    case IMAPI_MEDIA_TYPE_BDROM:
      return 0x40;
    case IMAPI_MEDIA_TYPE_BDR:
      return 0x41;
    case IMAPI_MEDIA_TYPE_BDRE:
      return 0x43;
    default:
      return 0;
  }
}

// Profile list: every medium the drive reads or writes, highest profile
// first, each with its current flag.
std::vector<std::uint8_t> ProfileList(const std::vector<Medium>& media,
                                      Medium loaded) {
  std::vector<std::pair<std::uint8_t, bool>> profiles;
  for (Medium medium : media) {
    profiles.emplace_back(ProfileOf(medium), medium == loaded);
  }
  std::sort(profiles.rbegin(), profiles.rend());
  std::vector<std::uint8_t> data;
  for (const auto& [profile, current] : profiles) {
    data.insert(data.end(), {0x00, profile,
                             static_cast<std::uint8_t>(current ? 1 : 0), 0x00});
  }
  return data;
}

std::vector<Feature> DriveFeatures(Medium drive_type, Medium loaded) {
  const MediaInfo* drive = FindRecordableMedia(drive_type);
  std::vector<Feature> features;
  if (drive == nullptr) return features;
  const std::vector<Medium> writes = WritableMedia(drive_type);
  const auto writes_medium = [writes](Medium m) {
    return std::find(writes.begin(), writes.end(), m) != writes.end();
  };
  const bool dvd = drive->family != MediaFamily::kCd;
  const bool bd = drive->family == MediaFamily::kBd;
  const bool cd_rw = writes_medium(IMAPI_MEDIA_TYPE_CDRW);
  const auto always = [](Medium) { return true; };
  const auto any_medium = [](Medium m) {
    return m != IMAPI_MEDIA_TYPE_UNKNOWN;
  };
  const auto cd_medium = [](Medium m) { return IsFamily(m, MediaFamily::kCd); };
  const auto only = [](std::initializer_list<Medium> types) {
    std::vector<Medium> list(types);
    return [list](Medium m) {
      return std::find(list.begin(), list.end(), m) != list.end();
    };
  };

  std::vector<Medium> readable = {IMAPI_MEDIA_TYPE_CDROM};
  if (dvd) readable.push_back(IMAPI_MEDIA_TYPE_DVDROM);
  if (bd) readable.push_back(IMAPI_MEDIA_TYPE_BDROM);
  readable.insert(readable.end(), writes.begin(), writes.end());

  features.push_back({0x0000, 0, true, ProfileList(readable, loaded), always});
  // Core: ATAPI interface, device busy events.
  features.push_back({0x0001, 2, true, {0, 0, 0, 2, 0x01, 0, 0, 0}, always});
  // Morphing: operational change events.
  features.push_back({0x0002, 1, true, {0x02, 0, 0, 0}, always});
  // Removable medium: tray, ejectable, lockable.
  features.push_back({0x0003, 0, true, {0x29, 0, 0, 0}, always});
  // Random readable: 2048-byte blocks, 16 to an ECC block.
  features.push_back(
      {0x0010, 0, false, {0, 0, 0x08, 0x00, 0x00, 0x10, 0x01, 0}, any_medium});
  features.push_back({0x001D, 0, false, {}, cd_medium});
  // CD read: C2 pointers and CD-Text.
  features.push_back({0x001E, 2, false, {0x03, 0, 0, 0}, cd_medium});
  if (dvd) {
    // DVD read: MULTI110 and dual-layer DVD-R reading.
    features.push_back({0x001F, 1, false, {0x01, 0, 0x01, 0}, [](Medium m) {
                          return IsFamily(m, MediaFamily::kDvd);
                        }});
    features.push_back({0x002A,
                        1,
                        false,
                        {0x01, 0, 0, 0},
                        only({IMAPI_MEDIA_TYPE_DVDPLUSRW})});
    features.push_back(
        {0x002B, 0, false, {0x01, 0, 0, 0}, only({IMAPI_MEDIA_TYPE_DVDPLUSR})});
  }
  // CD track at once: buffer underrun protection, test write, CD-RW.
  const auto cd_rw_bit = static_cast<std::uint8_t>(cd_rw ? 0x02 : 0x00);
  features.push_back(
      {0x002D,
       2,
       false,
       {static_cast<std::uint8_t>(0x44 | cd_rw_bit), 0, 0x03, 0xFF},
       only({IMAPI_MEDIA_TYPE_CDR, IMAPI_MEDIA_TYPE_CDRW})});
  // CD mastering: as above, and session at once.
  features.push_back(
      {0x002E,
       1,
       false,
       {static_cast<std::uint8_t>(0x64 | cd_rw_bit), 0, 0xFF, 0xFF},
       only({IMAPI_MEDIA_TYPE_CDR, IMAPI_MEDIA_TYPE_CDRW})});
  if (dvd) {
    // DVD-R/-RW write: buffer underrun protection (0x40), DVD-R dual layer
    // (0x08), test write (0x04), DVD-RW (0x02), each as the drive writes.
    const auto dvd_write_bits = static_cast<std::uint8_t>(
        0x44 |
        (writes_medium(IMAPI_MEDIA_TYPE_DVDDASHR_DUALLAYER) ? 0x08 : 0x00) |
        (writes_medium(IMAPI_MEDIA_TYPE_DVDDASHRW) ? 0x02 : 0x00));
    features.push_back(
        {0x002F,
         1,
         false,
         {dvd_write_bits, 0, 0, 0},
         only({IMAPI_MEDIA_TYPE_DVDDASHR, IMAPI_MEDIA_TYPE_DVDDASHRW,
               IMAPI_MEDIA_TYPE_DVDDASHR_DUALLAYER})});
  }
  if (cd_rw) {
    features.push_back(
        {0x0037, 0, false, {0, 0x0F, 0, 0}, only({IMAPI_MEDIA_TYPE_CDRW})});
  }
  if (writes_medium(IMAPI_MEDIA_TYPE_DVDPLUSRW_DUALLAYER)) {
    features.push_back({0x003A,
                        0,
                        false,
                        {0x01, 0, 0, 0},
                        only({IMAPI_MEDIA_TYPE_DVDPLUSRW_DUALLAYER})});
  }
  if (dvd) {
    features.push_back({0x003B,
                        0,
                        false,
                        {0x01, 0, 0, 0},
                        only({IMAPI_MEDIA_TYPE_DVDPLUSR_DUALLAYER})});
  }
  if (bd) {
    const auto bd_medium = [](Medium m) {
      return IsFamily(m, MediaFamily::kBd);
    };
    // BD read: class 0 BD-RE versions 1 to 3 (byte 9), BD-R version 1
    // (byte 17), BD-ROM version 1 (byte 25).
    std::vector<std::uint8_t> read(28, 0);
    read[9 - 4] = 0x0E;
    read[17 - 4] = 0x02;
    read[25 - 4] = 0x02;
    features.push_back({0x0040, 1, false, read, bd_medium});
    // BD write: verify-not-required, class 0 BD-RE versions 1 to 3 and BD-R
    // version 1.
    std::vector<std::uint8_t> write(24, 0);
    write[4 - 4] = 0x01;
    write[9 - 4] = 0x0E;
    write[17 - 4] = 0x02;
    features.push_back({0x0041, 1, false, write, bd_medium});
  }
  return features;
}

}  // namespace

std::vector<std::uint32_t> SupportedFeatures(Medium drive_type) {
  std::vector<std::uint32_t> codes;
  for (const Feature& feature :
       DriveFeatures(drive_type, IMAPI_MEDIA_TYPE_UNKNOWN)) {
    codes.push_back(feature.code);
  }
  return codes;
}

std::vector<std::uint8_t> FeatureDescriptor(Medium drive_type,
                                            std::uint32_t code, Medium medium) {
  for (const Feature& feature : DriveFeatures(drive_type, medium)) {
    if (feature.code != code) continue;
    std::vector<std::uint8_t> descriptor = {
        static_cast<std::uint8_t>(code >> 8), static_cast<std::uint8_t>(code),
        static_cast<std::uint8_t>((feature.version << 2) |
                                  (feature.persistent ? kPersistent : 0) |
                                  (feature.current(medium) ? kCurrent : 0)),
        static_cast<std::uint8_t>(feature.data.size())};
    descriptor.insert(descriptor.end(), feature.data.begin(),
                      feature.data.end());
    return descriptor;
  }
  return {};
}

}  // namespace tessaline::platform::virtual_drive
