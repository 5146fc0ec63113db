// IMAPI2's names of the physical medium types, as hosts and drive
// descriptions spell them.
#ifndef TESSALINE_PLATFORM_MEDIA_TYPE_NAMES_H_
#define TESSALINE_PLATFORM_MEDIA_TYPE_NAMES_H_

#include <string>

#include "tessaline/media_types.h"

namespace tessaline::platform {

// Reads IMAPI2's name of a medium type, usually without its
// "IMAPI_MEDIA_TYPE_" prefix ("DVDPLUSRW", "cdr"), in any case.
bool ParseMediaTypeName(const std::string& name,
                        IMAPI_MEDIA_PHYSICAL_TYPE* type);

// The name ParseMediaTypeName reads ("DVDPLUSR_DUALLAYER"); "UNKNOWN" for a
// value outside IMAPI2's list.
std::string MediaTypeName(IMAPI_MEDIA_PHYSICAL_TYPE type);

}  // namespace tessaline::platform

#endif  // TESSALINE_PLATFORM_MEDIA_TYPE_NAMES_H_
