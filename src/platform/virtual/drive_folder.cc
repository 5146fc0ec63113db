#include "platform/virtual/drive_folder.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/media_type_names.h"
#include "platform/virtual/media_catalog.h"
#include "platform/virtual/virtual_drive.h"

namespace tessaline::platform {
namespace {

namespace fs = std::filesystem;
using virtual_drive::MediaInfo;
using virtual_drive::PathFromUtf8;
using virtual_drive::Utf8FromPath;

bool WriteNewFile(const fs::path& path, const std::string& text,
                  std::string* error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (out.flush()) return true;
  *error = "cannot write " + Utf8FromPath(path);
  return false;
}

}  // namespace

bool CreateDriveFolder(const std::string& dir, const std::string& name,
                       IMAPI_MEDIA_PHYSICAL_TYPE type, std::string* error) {
  std::string ignored;
  if (error == nullptr) error = &ignored;
  const MediaInfo* media = virtual_drive::FindRecordableMedia(type);
  if (media == nullptr) {
    *error = MediaTypeName(type) + " is no recordable medium";
    return false;
  }
  if (name.empty() || name == "." || name == ".." ||
      name.find('/') != std::string::npos ||
      name.find('\\') != std::string::npos) {
    *error = "\"" + name + "\" is no drive folder name";
    return false;
  }
  const fs::path folder = PathFromUtf8(dir) / PathFromUtf8(name);
  std::error_code failure;
  if (fs::exists(folder / "drive.ini", failure)) {
    *error = Utf8FromPath(folder) + " already holds a drive";
    return false;
  }
  for (const char* sub : {"mount", "ejected"}) {
    fs::create_directories(folder / sub, failure);
    if (failure) {
      *error = "cannot create " + Utf8FromPath(folder / sub) + ": " +
               failure.message();
      return false;
    }
  }
  virtual_drive::MediumState blank;
  blank.present = true;
  blank.type = type;
  // drive.ini goes last: until it is there, the drive is unreadable.
  return WriteNewFile(folder / "medium.img", "", error) &&
         WriteNewFile(folder / "medium.ini",
                      virtual_drive::MediumIniText(blank, false), error) &&
         WriteNewFile(folder / "requests.log", "", error) &&
         WriteNewFile(
             folder / "drive.ini",
             std::string("[drive]\nvendor=VIRTUAL\nproduct=") + media->label +
                 " Writer\ntype=" + MediaTypeName(type) + "\nspeed=0\n",
             error);
}

}  // namespace tessaline::platform
