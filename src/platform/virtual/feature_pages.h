// The feature pages (MMC GET CONFIGURATION feature descriptors) a virtual
// drive reports: those of a real drive that writes the drive's media, so
// that the recorder list shows the support flags such a drive would get.
#ifndef TESSALINE_PLATFORM_VIRTUAL_FEATURE_PAGES_H_
#define TESSALINE_PLATFORM_VIRTUAL_FEATURE_PAGES_H_

#include <cstdint>
#include <vector>

#include "tessaline/media_types.h"

namespace tessaline::platform::virtual_drive {

// The feature codes of a drive built for `drive_type`, rising.
std::vector<std::uint32_t> SupportedFeatures(
    IMAPI_MEDIA_PHYSICAL_TYPE drive_type);

// The descriptor of one feature, from byte 0 (the feature code) on, with
// its current bit set when the feature applies to the loaded medium
// (`medium` IMAPI_MEDIA_TYPE_UNKNOWN: the tray is empty). Empty when the
// drive lacks the feature.
std::vector<std::uint8_t> FeatureDescriptor(
    IMAPI_MEDIA_PHYSICAL_TYPE drive_type, std::uint32_t feature,
    IMAPI_MEDIA_PHYSICAL_TYPE medium);

}  // namespace tessaline::platform::virtual_drive

#endif  // TESSALINE_PLATFORM_VIRTUAL_FEATURE_PAGES_H_
