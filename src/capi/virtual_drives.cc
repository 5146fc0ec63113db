// The virtual drives as the public header offers them to hosts.
#include "tessaline/virtual_drives.h"

#include <string>

#include "platform/media_type_names.h"
#include "platform/text.h"
#if !defined(_WIN32)
#include "platform/virtual/drive_folder.h"
#endif

namespace tessaline {

std::wstring MediaTypeName(IMAPI_MEDIA_PHYSICAL_TYPE type) {
  return platform::FromUtf8(platform::MediaTypeName(type));
}

bool ParseMediaTypeName(const std::wstring& name,
                        IMAPI_MEDIA_PHYSICAL_TYPE* type) {
  return platform::ParseMediaTypeName(platform::ToUtf8(name), type);
}

bool CreateVirtualDrive(const std::wstring& folder, const std::wstring& name,
                        IMAPI_MEDIA_PHYSICAL_TYPE type, std::wstring* error) {
  std::wstring ignored;
  if (error == nullptr) error = &ignored;
#if defined(_WIN32)
  // The Windows build writes through the system's recorders only.
  (void)folder;
  (void)name;
  (void)type;
  *error = L"virtual drives are not part of the Windows build";
  return false;
#else
  std::string reason;
  if (platform::CreateDriveFolder(platform::ToUtf8(folder),
                                  platform::ToUtf8(name), type, &reason)) {
    return true;
  }
  *error = platform::FromUtf8(reason);
  return false;
#endif
}

}  // namespace tessaline
