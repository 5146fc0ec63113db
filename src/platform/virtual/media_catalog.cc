#include "platform/virtual/media_catalog.h"

#include <algorithm>
#include <iterator>

namespace tessaline::platform::virtual_drive {
namespace {

constexpr std::int64_t kCdSectors = 359846;
constexpr std::int64_t kDvdSectors = 2295104;
constexpr std::int64_t kDvdPlusDualLayerSectors = 4173824;
constexpr std::int64_t kDvdDashDualLayerSectors = 4171712;
constexpr std::int64_t kDvdRamSectors = 2236704;
constexpr std::int64_t kBdSectors = 12219392;

constexpr MediaInfo kMedia[] = {
    {IMAPI_MEDIA_TYPE_CDR, "CDR", "CD-R", MediaFamily::kCd,
     Recording::kWriteOnce, kCdSectors},
    {IMAPI_MEDIA_TYPE_CDRW, "CDRW", "CD-RW", MediaFamily::kCd,
     Recording::kSequentialRewritable, kCdSectors},
    {IMAPI_MEDIA_TYPE_DVDRAM, "DVDRAM", "DVD-RAM", MediaFamily::kDvd,
     Recording::kOverwrite, kDvdRamSectors},
    {IMAPI_MEDIA_TYPE_DVDPLUSR, "DVDPLUSR", "DVD+R", MediaFamily::kDvd,
     Recording::kWriteOnce, kDvdSectors},
    {IMAPI_MEDIA_TYPE_DVDPLUSRW, "DVDPLUSRW", "DVD+RW", MediaFamily::kDvd,
     Recording::kOverwrite, kDvdSectors},
    {IMAPI_MEDIA_TYPE_DVDPLUSR_DUALLAYER, "DVDPLUSR_DUALLAYER", "DVD+R DL",
     MediaFamily::kDvd, Recording::kWriteOnce, kDvdPlusDualLayerSectors},
    {IMAPI_MEDIA_TYPE_DVDDASHR, "DVDDASHR", "DVD-R", MediaFamily::kDvd,
     Recording::kWriteOnce, kDvdSectors},
    {IMAPI_MEDIA_TYPE_DVDDASHRW, "DVDDASHRW", "DVD-RW", MediaFamily::kDvd,
     Recording::kSequentialRewritable, kDvdSectors},
    {IMAPI_MEDIA_TYPE_DVDDASHR_DUALLAYER, "DVDDASHR_DUALLAYER", "DVD-R DL",
     MediaFamily::kDvd, Recording::kWriteOnce, kDvdDashDualLayerSectors},
    {IMAPI_MEDIA_TYPE_DVDPLUSRW_DUALLAYER, "DVDPLUSRW_DUALLAYER", "DVD+RW DL",
     MediaFamily::kDvd, Recording::kOverwrite, kDvdPlusDualLayerSectors},
    {IMAPI_MEDIA_TYPE_BDR, "BDR", "BD-R", MediaFamily::kBd,
     Recording::kWriteOnce, kBdSectors},
    {IMAPI_MEDIA_TYPE_BDRE, "BDRE", "BD-RE", MediaFamily::kBd,
     Recording::kOverwrite, kBdSectors},
};

// What every DVD burner of the time wrote; DVD-RAM and DVD+RW DL only the
// drives made for them.
constexpr IMAPI_MEDIA_PHYSICAL_TYPE kDvdBurnerMedia[] = {
    IMAPI_MEDIA_TYPE_CDR,
    IMAPI_MEDIA_TYPE_CDRW,
    IMAPI_MEDIA_TYPE_DVDPLUSR,
    IMAPI_MEDIA_TYPE_DVDPLUSRW,
    IMAPI_MEDIA_TYPE_DVDPLUSR_DUALLAYER,
    IMAPI_MEDIA_TYPE_DVDDASHR,
    IMAPI_MEDIA_TYPE_DVDDASHRW,
    IMAPI_MEDIA_TYPE_DVDDASHR_DUALLAYER};

}  // namespace

const MediaInfo* FindRecordableMedia(IMAPI_MEDIA_PHYSICAL_TYPE type) {
  for (const MediaInfo& info : kMedia) {
    if (info.type == type) return &info;
  }
  return nullptr;
}

std::vector<IMAPI_MEDIA_PHYSICAL_TYPE> WritableMedia(
    IMAPI_MEDIA_PHYSICAL_TYPE drive_type) {
  const MediaInfo* drive = FindRecordableMedia(drive_type);
  std::vector<IMAPI_MEDIA_PHYSICAL_TYPE> types;
  if (drive == nullptr) return types;
  switch (drive->family) {
    case MediaFamily::kCd:
      types.push_back(IMAPI_MEDIA_TYPE_CDR);
      if (drive_type == IMAPI_MEDIA_TYPE_CDRW) {
        types.push_back(IMAPI_MEDIA_TYPE_CDRW);
      }
      break;
    case MediaFamily::kDvd:
    case MediaFamily::kBd:
      types.assign(std::begin(kDvdBurnerMedia), std::end(kDvdBurnerMedia));
      if (drive->family == MediaFamily::kBd) {
        types.push_back(IMAPI_MEDIA_TYPE_BDR);
        types.push_back(IMAPI_MEDIA_TYPE_BDRE);
      } else if (std::find(types.begin(), types.end(), drive_type) ==
                 types.end()) {
        types.push_back(drive_type);
      }
      break;
  }
  std::sort(types.begin(), types.end());
  return types;
}

bool DriveWrites(IMAPI_MEDIA_PHYSICAL_TYPE drive_type,
                 IMAPI_MEDIA_PHYSICAL_TYPE medium_type) {
  const std::vector<IMAPI_MEDIA_PHYSICAL_TYPE> types =
      WritableMedia(drive_type);
  return std::find(types.begin(), types.end(), medium_type) != types.end();
}

}  // namespace tessaline::platform::virtual_drive
