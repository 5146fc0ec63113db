#include "platform/media_type_names.h"

#include <cctype>
#include <iterator>

namespace tessaline::platform {
namespace {

// IMAPI2's names, indexed by value.
constexpr const char* kTypeNames[] = {"UNKNOWN",
                                      "CDROM",
                                      "CDR",
                                      "CDRW",
                                      "DVDROM",
                                      "DVDRAM",
                                      "DVDPLUSR",
                                      "DVDPLUSRW",
                                      "DVDPLUSR_DUALLAYER",
                                      "DVDDASHR",
                                      "DVDDASHRW",
                                      "DVDDASHR_DUALLAYER",
                                      "DISK",
                                      "DVDPLUSRW_DUALLAYER",
                                      "HDDVDROM",
                                      "HDDVDR",
                                      "HDDVDRAM",
                                      "BDROM",
                                      "BDR",
                                      "BDRE"};
constexpr char kPrefix[] = "IMAPI_MEDIA_TYPE_";

std::string Upper(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return out;
}

}  // namespace

bool ParseMediaTypeName(const std::string& name,
                        IMAPI_MEDIA_PHYSICAL_TYPE* type) {
  std::string key = Upper(name);
  if (key.rfind(kPrefix, 0) == 0) key.erase(0, sizeof kPrefix - 1);
  for (std::size_t i = 0; i < std::size(kTypeNames); ++i) {
    if (key == kTypeNames[i]) {
      *type = static_cast<IMAPI_MEDIA_PHYSICAL_TYPE>(i);
      return true;
    }
  }
  return false;
}

std::string MediaTypeName(IMAPI_MEDIA_PHYSICAL_TYPE type) {
  const auto index = static_cast<std::size_t>(type);
  return index < std::size(kTypeNames) ? kTypeNames[index] : "UNKNOWN";
}

}  // namespace tessaline::platform
