// The creator's static recorder and media operations. Each runs on the
// caller's thread and turns a MediaWriterException into a plain result;
// every other exception reaches the host.
#include "burn/erase.h"
#include "burn/recorder.h"
#include "platform/platform.h"
#include "tessaline/tessaline.h"

namespace {

const tessaline::platform::Platform& Use(const Tessaline::PlatformPtr& platform,
                                         Tessaline::PlatformPtr& fallback) {
  if (platform) return *platform;
  fallback = tessaline::platform::SystemPlatform();
  return *fallback;
}

}  // namespace

void Tessaline::ListRecorders(std::vector<RecorderInfo>& recorders) {
  ListRecorders(recorders, tessaline::platform::SystemPlatform());
}

void Tessaline::ListRecorders(std::vector<RecorderInfo>& recorders,
                              PlatformPtr platform) {
  PlatformPtr system;
  try {
    tessaline::EnumerateRecorders(Use(platform, system), recorders);
  } catch (const MediaWriterException&) {
    // The list stays as the enumeration left it.
  }
}

IMAPI_MEDIA_PHYSICAL_TYPE Tessaline::MediaTypeInRecorder(std::int32_t index,
                                                         std::int32_t* status) {
  return MediaTypeInRecorder(index, status,
                             tessaline::platform::SystemPlatform());
}

IMAPI_MEDIA_PHYSICAL_TYPE Tessaline::MediaTypeInRecorder(std::int32_t index,
                                                         std::int32_t* status,
                                                         PlatformPtr platform) {
  PlatformPtr system;
  try {
    return tessaline::ReadMediaType(Use(platform, system), index, status);
  } catch (const MediaWriterException&) {
    return IMAPI_MEDIA_TYPE_UNKNOWN;
  }
}

bool Tessaline::IsMediaBlank(std::int32_t index) {
  return IsMediaBlank(index, tessaline::platform::SystemPlatform());
}

bool Tessaline::IsMediaBlank(std::int32_t index, PlatformPtr platform) {
  PlatformPtr system;
  try {
    return tessaline::ReadMediaBlank(Use(platform, system), index);
  } catch (const MediaWriterException&) {
    return false;
  }
}

std::int32_t Tessaline::DisableEnableMCN(std::uint32_t index, bool disable) {
  return DisableEnableMCN(index, disable,
                          tessaline::platform::SystemPlatform());
}

std::int32_t Tessaline::DisableEnableMCN(std::uint32_t index, bool disable,
                                         PlatformPtr platform) {
  PlatformPtr system;
  try {
    return tessaline::SetMediaChangeNotification(Use(platform, system), index,
                                                 disable);
  } catch (const MediaWriterException&) {
    return 0;
  }
}
