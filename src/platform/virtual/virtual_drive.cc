#include "platform/virtual/virtual_drive.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string_view>
#include <system_error>
#include <utility>

#include "platform/profile_parser.h"
#include "platform/text.h"
#include "platform/virtual/drive_folder.h"

namespace tessaline::platform::virtual_drive {
namespace {

namespace fs = std::filesystem;

constexpr char kDriveIni[] = "drive.ini";
constexpr char kMediumImg[] = "medium.img";
constexpr char kMediumIni[] = "medium.ini";
constexpr char kMountFolder[] = "mount";
constexpr char kEjectedFolder[] = "ejected";
constexpr char kRequestsLog[] = "requests.log";
constexpr char kDefaultVendor[] = "VIRTUAL";

// The whole of a small text file; empty when it cannot be read.
std::string ReadSmallFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  return std::string(std::istreambuf_iterator<char>(in),
                     std::istreambuf_iterator<char>());
}

ProfileDocument ReadProfile(const fs::path& path) {
  return ProfileDocument(DecodeProfileText(ReadSmallFile(path)));
}

std::string ProfileValue(const ProfileDocument& document,
                         const wchar_t* section, const wchar_t* key) {
  return ToUtf8(document.Value(section, key));
}

template <typename Number>
Number ParseNumber(const std::string& text, Number fallback) {
  Number value{};
  const char* end = text.data() + text.size();
  const auto [ptr, error] = std::from_chars(text.data(), end, value);
  return (error == std::errc() && ptr == end) ? value : fallback;
}

// Replaces the file as a whole, so a reader in another process never sees
// half of it.
bool ReplaceFile(const fs::path& path, const std::string& text) {
  fs::path temporary = path;
  temporary += ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << text;
    if (!out.flush()) return false;
  }
  std::error_code error;
  fs::rename(temporary, path, error);
  return !error;
}

constexpr std::string_view kEjectedPrefix = "disc-";
// A medium whose write broke off is filed apart, so that nobody takes it
// for a finished disc.
constexpr std::string_view kDamagedSuffix = ".damaged.img";
constexpr std::string_view kEjectedSuffix = ".img";

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() &&
         text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The number the next ejected medium is filed under: one past the highest
// "disc-NNN.img" or "disc-NNN.damaged.img" in the folder, so numbers keep
// the order of ejection even when older files were taken away.
int NextEjectedNumber(const fs::path& folder) {
  int highest = 0;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    const std::string name = Utf8FromPath(it->path().filename());
    if (name.compare(0, kEjectedPrefix.size(), kEjectedPrefix) != 0) continue;
    const std::string_view suffix =
        EndsWith(name, kDamagedSuffix) ? kDamagedSuffix : kEjectedSuffix;
    if (!EndsWith(name, suffix) ||
        name.size() <= kEjectedPrefix.size() + suffix.size()) {
      continue;
    }
    highest = std::max(
        highest, ParseNumber(name.substr(kEjectedPrefix.size(),
                                         name.size() - kEjectedPrefix.size() -
                                             suffix.size()),
                             0));
  }
  return highest + 1;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool NameComesBefore(const std::string& a, const std::string& b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      std::size_t end_a = i;
      std::size_t end_b = j;
      while (end_a < a.size() && IsDigit(a[end_a])) ++end_a;
      while (end_b < b.size() && IsDigit(b[end_b])) ++end_b;
      std::size_t start_a = i;
      std::size_t start_b = j;
      while (start_a + 1 < end_a && a[start_a] == '0') ++start_a;
      while (start_b + 1 < end_b && b[start_b] == '0') ++start_b;
      const std::string_view number_a(a.data() + start_a, end_a - start_a);
      const std::string_view number_b(b.data() + start_b, end_b - start_b);
      if (number_a.size() != number_b.size()) {
        return number_a.size() < number_b.size();
      }
      if (number_a != number_b) return number_a < number_b;
      // Equal numbers: fewer leading zeros first, so no two names tie.
      if (end_a - i != end_b - j) return end_a - i < end_b - j;
      i = end_a;
      j = end_b;
    } else {
      if (a[i] != b[j]) {
        return static_cast<unsigned char>(a[i]) <
               static_cast<unsigned char>(b[j]);
      }
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

std::filesystem::path PathFromUtf8(const std::string& text) {
  return fs::path(std::u8string(text.begin(), text.end()));
}

std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

struct VirtualDrive::Shared {
  std::mutex mutex;
  std::mutex log_mutex;
  std::atomic<bool> busy{false};
};

std::shared_ptr<VirtualDrive> VirtualDrive::Open(const fs::path& folder,
                                                 std::string* problem) {
  std::string ignored;
  if (problem == nullptr) problem = &ignored;
  std::error_code error;
  fs::path absolute = fs::absolute(folder, error).lexically_normal();
  if (error) {
    *problem = "folder cannot be read";
    return nullptr;
  }
  if (!absolute.has_filename()) absolute = absolute.parent_path();
  const fs::path ini = absolute / kDriveIni;
  if (!fs::exists(ini, error)) {
    *problem = "no drive.ini";
    return nullptr;
  }
  std::ifstream in(ini, std::ios::binary);
  if (!fs::is_regular_file(ini, error) || !in) {
    *problem = "drive.ini cannot be read";
    return nullptr;
  }

  const ProfileDocument document(DecodeProfileText(std::string(
      std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())));
  DriveDescription description;
  const std::string type = ProfileValue(document, L"drive", L"type");
  if (!ParseMediaTypeName(type, &description.type) ||
      FindRecordableMedia(description.type) == nullptr) {
    *problem = "drive.ini names no recordable medium (type=" + type + ")";
    return nullptr;
  }
  const MediaInfo* media = FindRecordableMedia(description.type);
  description.vendor = ProfileValue(document, L"drive", L"vendor");
  if (description.vendor.empty()) description.vendor = kDefaultVendor;
  description.product = ProfileValue(document, L"drive", L"product");
  if (description.product.empty()) {
    description.product = std::string(media->label) + " Writer";
  }
  description.speed =
      ParseNumber<std::uint64_t>(ProfileValue(document, L"drive", L"speed"), 0);
  description.sectors = std::max<std::int64_t>(
      0, ParseNumber<std::int64_t>(ProfileValue(document, L"drive", L"sectors"),
                                   0));

  // "settle=10" or "settle=10,6": seconds after a dismount, then before
  // the final report (the first again when only one is given).
  const std::string settle = ProfileValue(document, L"drive", L"settle");
  const std::size_t comma = settle.find(',');
  const std::uint32_t after_dismount =
      ParseNumber<std::uint32_t>(settle.substr(0, comma), 0);
  const std::uint32_t before_report =
      comma == std::string::npos
          ? after_dismount
          : ParseNumber<std::uint32_t>(settle.substr(comma + 1), 0);
  constexpr std::uint32_t kMostSeconds = 3600;
  description.settle_after_dismount =
      std::min(after_dismount, kMostSeconds) * 1000;
  description.settle_before_report =
      std::min(before_report, kMostSeconds) * 1000;

  // One Shared per drive folder in the process, alive while any object of
  // that drive is.
  static std::mutex* registry_mutex = new std::mutex;
  static auto* registry = new std::map<std::string, std::weak_ptr<Shared>>;
  std::shared_ptr<Shared> shared;
  {
    std::lock_guard<std::mutex> lock(*registry_mutex);
    std::weak_ptr<Shared>& slot = (*registry)[Utf8FromPath(absolute)];
    shared = slot.lock();
    if (!shared) {
      shared = std::make_shared<Shared>();
      slot = shared;
    }
  }
  return std::shared_ptr<VirtualDrive>(
      new VirtualDrive(absolute, std::move(description), std::move(shared)));
}

std::vector<fs::path> VirtualDrive::ListDrives(const fs::path& dir) {
  std::vector<fs::path> drives;
  std::error_code error;
  for (fs::directory_iterator it(dir, error), end; !error && it != end;
       it.increment(error)) {
    std::error_code ignored;
    if (it->is_directory(ignored)) drives.push_back(it->path());
  }
  std::sort(drives.begin(), drives.end(),
            [](const fs::path& a, const fs::path& b) {
              return NameComesBefore(Utf8FromPath(a.filename()),
                                     Utf8FromPath(b.filename()));
            });
  return drives;
}

VirtualDrive::VirtualDrive(fs::path folder, DriveDescription description,
                           std::shared_ptr<Shared> shared)
    : folder_(std::move(folder)),
      description_(std::move(description)),
      shared_(std::move(shared)) {}

fs::path VirtualDrive::MediumPath() const { return folder_ / kMediumImg; }
fs::path VirtualDrive::MountPath() const { return folder_ / kMountFolder; }

std::int64_t VirtualDrive::Capacity(IMAPI_MEDIA_PHYSICAL_TYPE type) const {
  if (description_.sectors > 0) return description_.sectors;
  const MediaInfo* info = FindRecordableMedia(type);
  return info == nullptr ? 0 : info->sectors;
}

std::unique_lock<std::mutex> VirtualDrive::Lock() {
  return std::unique_lock<std::mutex>(shared_->mutex);
}

bool VirtualDrive::busy() const { return shared_->busy.load(); }
void VirtualDrive::set_busy(bool busy) { shared_->busy.store(busy); }

MediumState VirtualDrive::ReadMedium() const {
  MediumState medium;
  std::error_code error;
  const auto size = fs::file_size(MediumPath(), error);
  medium.present = !error;
  if (!medium.present) return medium;
  const ProfileDocument document = ReadProfile(folder_ / kMediumIni);
  if (!ParseMediaTypeName(ProfileValue(document, L"medium", L"type"),
                          &medium.type) ||
      FindRecordableMedia(medium.type) == nullptr) {
    medium.type = description_.type;
  }
  const std::string written = ProfileValue(document, L"medium", L"written");
  medium.written = written.empty() ? size > 0 : written == "1";
  medium.damaged = ProfileValue(document, L"medium", L"damaged") == "1";
  medium.mounted = ProfileValue(document, L"medium", L"mounted") != "0";
  return medium;
}

bool VirtualDrive::RemovalPrevented() const {
  return ProfileValue(ReadProfile(folder_ / kMediumIni), L"tray", L"locked") ==
         "1";
}

std::string MediumIniText(const MediumState& medium, bool removal_prevented) {
  std::ostringstream text;
  text << "[medium]\n"
       << "type=" << (medium.present ? MediaTypeName(medium.type) : "") << "\n"
       << "written=" << (medium.written ? 1 : 0) << "\n"
       << "damaged=" << (medium.damaged ? 1 : 0) << "\n"
       << "mounted=" << (medium.mounted ? 1 : 0) << "\n"
       << "[tray]\n"
       << "locked=" << (removal_prevented ? 1 : 0) << "\n";
  return text.str();
}

void VirtualDrive::WriteState(const MediumState& medium,
                              bool removal_prevented) {
  ReplaceFile(folder_ / kMediumIni, MediumIniText(medium, removal_prevented));
}

bool VirtualDrive::SaveMedium(const MediumState& medium) {
  return ReplaceFile(folder_ / kMediumIni,
                     MediumIniText(medium, RemovalPrevented()));
}

void VirtualDrive::SetRemovalPrevented(bool prevent) {
  WriteState(ReadMedium(), prevent);
}

void VirtualDrive::EnsureMounted() {
  MediumState medium = ReadMedium();
  if (!medium.present || medium.mounted) return;
  medium.mounted = true;
  SaveMedium(medium);
}

void VirtualDrive::Dismount() {
  MediumState medium = ReadMedium();
  medium.mounted = false;
  SaveMedium(medium);
}

bool VirtualDrive::Eject(std::string* outcome) {
  const MediumState medium = ReadMedium();
  if (!medium.present) {
    *outcome = "tray opened, no medium";
    return true;
  }
  std::error_code error;
  if (medium.written) {
    const fs::path ejected = folder_ / kEjectedFolder;
    fs::create_directories(ejected, error);
    char name[32];
    std::snprintf(
        name, sizeof name, "disc-%03d%s", NextEjectedNumber(ejected),
        medium.damaged ? kDamagedSuffix.data() : kEjectedSuffix.data());
    const fs::path target = ejected / name;
    error.clear();
    fs::rename(MediumPath(), target, error);
    if (error) {
      // The ejected folder may be elsewhere: copy, then take the medium out.
      error.clear();
      fs::copy_file(MediumPath(), target, error);
      if (!error) fs::remove(MediumPath(), error);
    }
    if (error) {
      *outcome = "refused: medium could not be filed (" + error.message() + ")";
      return false;
    }
    *outcome = std::string("filed as ") + kEjectedFolder + "/" + name;
  } else {
    fs::remove(MediumPath(), error);
    *outcome = "blank " + MediaTypeName(medium.type) + " taken out";
  }
  SaveMedium(MediumState{});
  return true;
}

std::string VirtualDrive::Load() {
  if (ReadMedium().present) return "medium already loaded";
  MediumState medium;
  medium.present = true;
  medium.type = description_.type;
  { std::ofstream create(MediumPath(), std::ios::binary | std::ios::trunc); }
  SaveMedium(medium);
  return "blank " + MediaTypeName(medium.type) + " loaded";
}

void VirtualDrive::LogRequest(const std::string& line) {
  std::lock_guard<std::mutex> lock(shared_->log_mutex);
  std::ofstream out(folder_ / kRequestsLog, std::ios::binary | std::ios::app);
  out << line << '\n';
}

}  // namespace tessaline::platform::virtual_drive
