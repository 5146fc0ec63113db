#include "support/rig/drive_rig.h"

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "platform/text.h"
#include "platform/virtual/drive_folder.h"
#include "platform/virtual/virtual_platform.h"

namespace tessaline::testing {

namespace fs = std::filesystem;

DriveRig::DriveRig() {
  for (const auto& folder : {drives_, work_, source_}) {
    fs::create_directories(folder);
  }
  NewDisc();
  test_.platform->devices = platform::MakeVirtualDevices(drives_.string());
  test_.platform->files =
      platform::MakeVirtualFileSystem(test_.platform->files, drives_.string());
  if (const char* value = getenv("TESSALINE_DRIVES")) previous_drives_ = value;
  setenv("TESSALINE_DRIVES", drives_.c_str(), 1);
}

DriveRig::~DriveRig() {
  previous_drives_ ? setenv("TESSALINE_DRIVES", previous_drives_->c_str(), 1)
                   : unsetenv("TESSALINE_DRIVES");
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
  const std::string text = "\n" + ReadFile(drives_ / name / "medium.ini");
  const auto at = text.find("\n" + key + "=");
  if (at == std::string::npos) return "";
  const auto begin = at + key.size() + 2;
  return text.substr(begin, text.find('\n', begin) - begin);
}

fs::path DriveRig::Ejected(int number) const {
  return drives_ / "drive0" / "ejected" /
         ("disc-00" + std::to_string(number) + ".img");
}

fs::path DriveRig::MountPath(const std::string& name) const {
  return drives_ / "drive0" / "mount" / name;
}

std::optional<std::string> DriveRig::OnDisc(const std::string& path) const {
  const std::unique_ptr<platform::File> file =
      test_.platform->files->OpenRead(Wide(MountPath(path)), nullptr);
  if (!file) return std::nullopt;
  std::string content(
      static_cast<std::size_t>(std::max<std::int64_t>(file->Size(), 0)), '\0');
  if (file->Read(content.data(), static_cast<std::int64_t>(content.size())) !=
      static_cast<std::int64_t>(content.size())) {
    return std::nullopt;
  }
  return content;
}

void DriveRig::MakeSource() {
  WriteFile(source_ / "boot" / "etfsboot.com", std::string(2048, '\x90'));
  WriteFile(source_ / "boot" / "bcd", "copied bcd");
  WriteFile(source_ / "sources" / "boot" / "bcd", "boot configuration");
  WritePatternFile(source_ / "sources" / "install.wim", 3 * 1024 * 1024, 1);
  WriteFile(source_ / "kiro" / "plugins.xml", "<plugins/>");
  WriteFile(source_ / "kiro" / "pluginsDVD.xml", "<plugins disc='dvd'/>");
  for (int i = 0; i < 40; ++i) {
    WritePatternFile(source_ / "data" / ("folder" + std::to_string(i % 4)) /
                         ("file" + std::to_string(i) + ".bin"),
                     1000 + 777 * i, i);
  }
  WriteFile(source_ / "data" / "\xc3\xa9t\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac.txt",
            "unicode");
  WritePatternFile(source_ / "data" / "large.bin", 2 * 1024 * 1024, 99);
  WriteFile(layout_,
            "[MEDIA:RECOVERY]\r\nRECOVERY1=boot,sources,kiro\r\n"
            "RECOVERY2=data\r\n[SIZE:RECOVERY]\r\nRECOVERY1=4000000\r\n"
            "RECOVERY2=3000000\r\n");
}

std::wstring DriveRig::Wide(const fs::path& path) const {
  return platform::FromUtf8(path.string());
}

bool HoldsInOrder(const std::vector<std::int32_t>& codes,
                  const std::vector<std::int32_t>& expected) {
  auto it = codes.begin();
  for (std::int32_t code : expected) {
    it = std::find(it, codes.end(), code);
    if (it++ == codes.end()) return false;
  }
  return true;
}

}  // namespace tessaline::testing
