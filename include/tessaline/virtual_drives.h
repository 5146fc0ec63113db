// Virtual drives for hosts: folders that behave, from the library's side, as
// recorders with a medium in them. The library uses the drives of the folder
// that the environment variable TESSALINE_DRIVES names (each sub-folder is a
// drive; its index is its place among them sorted by name), read when a
// creator or a static operation starts.
#ifndef TESSALINE_VIRTUAL_DRIVES_H_
#define TESSALINE_VIRTUAL_DRIVES_H_

#include <string>

#include "tessaline/export.h"
#include "tessaline/media_types.h"

namespace tessaline {

// IMAPI2's name of a medium type without its "IMAPI_MEDIA_TYPE_" prefix
// ("DVDPLUSRW"); "UNKNOWN" for a value outside IMAPI2's list.
TESSALINE_API std::wstring MediaTypeName(IMAPI_MEDIA_PHYSICAL_TYPE type);

// Reads a name as MediaTypeName writes it, in any case, with or without the
// prefix. False for any other name.
TESSALINE_API bool ParseMediaTypeName(const std::wstring& name,
                                      IMAPI_MEDIA_PHYSICAL_TYPE* type);

// Creates `folder`/`name` (and `folder` when missing) as a virtual drive
// whose closed tray holds a blank medium of `type`. False, with the reason in
// `*error`, when `type` is no recordable medium, the drive exists already, a
// file cannot be made, or the library was built without virtual drives (on
// Windows).
TESSALINE_API bool CreateVirtualDrive(const std::wstring& folder,
                                      const std::wstring& name,
                                      IMAPI_MEDIA_PHYSICAL_TYPE type,
                                      std::wstring* error);

}  // namespace tessaline

#endif  // TESSALINE_VIRTUAL_DRIVES_H_
