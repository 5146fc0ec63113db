#include "support/rig/drive_rig.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "platform/text.h"
#include "platform/virtual/drive_folder.h"
#include "platform/virtual/virtual_platform.h"

namespace tessaline::testing {

namespace fs = std::filesystem;

DriveRig::DriveRig() : drives_(temp_.path() / "drives") {
  fs::create_directories(drives_);
  NewDisc();
  test_.platform->devices = platform::MakeVirtualDevices(drives_.string());
  test_.platform->files =
      platform::MakeVirtualFileSystem(test_.platform->files, drives_.string());
}

FaultDiscServices& DriveRig::NewDisc() {
  disc_ = std::make_shared<FaultDiscServices>(
      platform::MakeVirtualDiscServices(drives_.string(), test_.clock));
  test_.platform->disc = disc_;
  return *disc_;
}

void DriveRig::ExpectReleased() {
  EXPECT_EQ(disc_->LiveObjects(), 0);
  EXPECT_EQ(disc_->OpenAdvises(), 0);
  EXPECT_EQ(disc_->LiveSinks(), 0);
}

fs::path DriveRig::AddDrive(const std::string& name,
                            IMAPI_MEDIA_PHYSICAL_TYPE type,
                            const std::string& extra) {
  std::string error;
  EXPECT_TRUE(platform::CreateDriveFolder(drives_.string(), name, type, &error))
      << error;
  const fs::path ini = drives_ / name / "drive.ini";
  std::string text = ReadFile(ini);
  text.insert(text.find("[drive]\n") + 8, extra.empty() ? "" : extra + "\n");
  std::ofstream(ini, std::ios::trunc) << text;
  return drives_ / name;
}

void DriveRig::Record(const std::string& name, std::uint32_t sectors) {
  const std::string type = Medium(name, "type");
  WritePatternFile(drives_ / name / "medium.img", sectors * 2048ull, sectors);
  std::ofstream(drives_ / name / "medium.ini", std::ios::trunc)
      << "[medium]\ntype=" << type << "\nwritten=1\n";
}

std::vector<std::string> DriveRig::Requests(const std::string& name) const {
  std::ifstream in(drives_ / name / "requests.log");
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string DriveRig::Medium(const std::string& name,
                             const std::string& key) const {
  std::istringstream in(ReadFile(drives_ / name / "medium.ini"));
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
  }
  return "";
}

std::optional<std::string> DriveRig::OnDisc(const std::string& path) const {
  const std::unique_ptr<platform::File> file = test_.platform->files->OpenRead(
      platform::FromUtf8((drives_ / "drive0" / "mount" / path).string()),
      nullptr);
  if (!file) return std::nullopt;
  std::string content(
      static_cast<std::size_t>(std::max<std::int64_t>(file->Size(), 0)), '\0');
  if (file->Read(content.data(), static_cast<std::int64_t>(content.size())) !=
      static_cast<std::int64_t>(content.size())) {
    return std::nullopt;
  }
  return content;
}

}  // namespace tessaline::testing
