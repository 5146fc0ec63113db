#include "platform/libburn/burn_drive.h"

#include <fcntl.h>
#include <libburn/libburn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <string_view>
#include <thread>
#include <utility>

#include "platform/libburn/cdrom.h"
#include "platform/virtual/virtual_drive.h"

namespace tessaline::platform::libburn {
namespace {

using namespace burn;  // NOLINT(build/namespaces): libburn's C names

using SteadyClock = std::chrono::steady_clock;

constexpr std::string_view kStdioPrefix = "stdio:";
// libburn probes every drive on a scan, which takes a while; a list a few
// seconds old is still the machine's.
constexpr auto kScanLifetime = std::chrono::seconds(5);
constexpr int kPseudoProfile = 0xffff;
// A medium that just went in may take this long to be read.
constexpr auto kSpinUpLimit = std::chrono::seconds(30);
constexpr std::int64_t kBlankProbeBytes = 64 * 1024;

// Guards libburn's drive list: scanning, grabbing and releasing.
std::recursive_mutex& LibraryMutex() {
  static std::recursive_mutex mutex;
  return mutex;
}

// Held under LibraryMutex().
struct LibraryState {
  bool scanned = false;
  SteadyClock::time_point scan_time;
  std::vector<std::string> scanned_addresses;
  std::set<std::string> held;
};

LibraryState& State() {
  static LibraryState state;
  return state;
}

bool EnsureLibrary() {
  static const bool started = [] {
    if (burn_initialize() != 1) return false;
    // Messages are queued for the disc services to pass on, never printed
    // to the host's terminal by the library itself.
    burn_msgs_set_severities(const_cast<char*>("FAILURE"),
                             const_cast<char*>("NEVER"),
                             const_cast<char*>("libburn : "));
    return true;
  }();
  return started;
}

std::string Trimmed(const char* text, std::size_t size) {
  std::string out(text, strnlen(text, size));
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

bool ParseSize(std::string_view text, std::int64_t* bytes) {
  if (text.empty()) return false;
  std::int64_t factor = 1;
  switch (text.back()) {
    case 'k':
    case 'K':
      factor = 1024;
      break;
    case 'm':
    case 'M':
      factor = 1024 * 1024;
      break;
    case 'g':
    case 'G':
      factor = 1024 * 1024 * 1024;
      break;
    default:
      break;
  }
  if (factor != 1) text.remove_suffix(1);
  if (text.empty() || text.size() > 15) return false;
  std::int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value == 0) return false;
  *bytes = value * factor;
  return true;
}

// "size=N,speed=N" in any order, each at most once; all or nothing.
bool ParseOptions(std::string_view text, DriveAddress* drive) {
  DriveAddress parsed;
  while (!text.empty()) {
    const std::size_t comma = text.find(',');
    const std::string_view option = text.substr(0, comma);
    text = comma == std::string_view::npos ? std::string_view()
                                           : text.substr(comma + 1);
    const std::size_t equals = option.find('=');
    if (equals == std::string_view::npos) return false;
    const std::string_view key = option.substr(0, equals);
    std::int64_t* target = key == "size"    ? &parsed.limit
                           : key == "speed" ? &parsed.speed
                                            : nullptr;
    if (target == nullptr || *target != 0 ||
        !ParseSize(option.substr(equals + 1), target)) {
      return false;
    }
  }
  drive->limit = parsed.limit;
  drive->speed = parsed.speed;
  return parsed.limit != 0 || parsed.speed != 0;
}

bool ContainsAny(const std::vector<int>& profiles,
                 const std::vector<int>& wanted) {
  return std::any_of(profiles.begin(), profiles.end(), [&](int p) {
    return std::find(wanted.begin(), wanted.end(), p) != wanted.end();
  });
}

// Which profiles imply a feature, and which descriptor bits each sets.
struct FeatureBit {
  std::uint32_t feature;
  std::vector<int> profiles;
  // Byte and bit of the descriptor; byte 0 means the feature alone.
  std::size_t byte;
  std::uint8_t bit;
};

const std::vector<FeatureBit>& FeatureBits() {
  static const std::vector<FeatureBit> bits = {
      {kFeatureCdRead, {0x08, 0x09, 0x0a}, 0, 0},
      {kFeatureDvdRead,
       {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x1a, 0x1b, 0x2a, 0x2b},
       0,
       0},
      {kFeatureDvdPlusRw, {0x1a}, 4, 0x01},
      {kFeatureDvdPlusR, {0x1b}, 4, 0x01},
      {kFeatureCdTrackAtOnce, {0x09, 0x0a}, 0, 0},
      {kFeatureCdTrackAtOnce, {0x0a}, 4, 0x02},
      {kFeatureDvdDashWrite, {0x11, 0x13, 0x14, 0x15, 0x16}, 0, 0},
      {kFeatureDvdDashWrite, {0x13, 0x14}, 4, 0x04},
      {kFeatureDvdDashWrite, {0x15, 0x16}, 4, 0x08},
      {kFeatureCdrwMediaWriteSupport, {0x0a}, 0, 0},
      {kFeatureDvdPlusRDualLayer, {0x2b}, 4, 0x01},
      {kFeatureBdRead, {0x40, 0x41, 0x42, 0x43}, 0, 0},
      {kFeatureBdWrite, {0x41, 0x42, 0x43}, 0, 0},
      {kFeatureBdWrite, {0x43}, 9, 0x04},
      {kFeatureBdWrite, {0x41, 0x42}, 17, 0x02},
      {kFeatureHdDvdRead, {0x50, 0x51, 0x52, 0x53, 0x58, 0x5a}, 0, 0},
      {kFeatureHdDvdWrite, {0x51, 0x52}, 0, 0},
      {kFeatureHdDvdWrite, {0x51}, 4, 0x01},
      {kFeatureHdDvdWrite, {0x52}, 6, 0x01},
  };
  return bits;
}

}  // namespace

std::vector<DriveAddress> ParsePseudoDrives(const std::string& text) {
  std::vector<DriveAddress> drives;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(';', start);
    if (end == std::string::npos) end = text.size();
    std::string entry = text.substr(start, end - start);
    start = end + 1;
    DriveAddress drive;
    const std::size_t at = entry.rfind('@');
    if (at != std::string::npos &&
        ParseOptions(std::string_view(entry).substr(at + 1), &drive)) {
      entry.resize(at);
    }
    if (entry.size() <= kStdioPrefix.size() ||
        entry.compare(0, kStdioPrefix.size(), kStdioPrefix) != 0) {
      continue;
    }
    drive.address = entry;
    drives.push_back(drive);
  }
  return drives;
}

std::string UniqueId(const DriveAddress& drive) {
  std::string options;
  if (drive.limit > 0) options += "size=" + std::to_string(drive.limit);
  if (drive.speed > 0) {
    options +=
        (options.empty() ? "speed=" : ",speed=") + std::to_string(drive.speed);
  }
  return options.empty() ? drive.address : drive.address + "@" + options;
}

bool ParseUniqueId(const std::string& id, DriveAddress* drive) {
  if (id.empty()) return false;
  const std::vector<DriveAddress> pseudo = ParsePseudoDrives(id);
  if (pseudo.size() == 1) {
    *drive = pseudo.front();
    return true;
  }
  if (id.front() != '/') return false;
  *drive = DriveAddress{id, 0};
  return true;
}

bool IsPseudoDrive(const DriveAddress& drive) {
  return drive.address.compare(0, kStdioPrefix.size(), kStdioPrefix) == 0;
}

std::string DevicePathOf(const DriveAddress& drive) {
  return IsPseudoDrive(drive) ? drive.address.substr(kStdioPrefix.size())
                              : drive.address;
}

bool ListDrives(std::vector<DriveAddress>* drives) {
  std::vector<std::string> real;
  {
    std::lock_guard<std::recursive_mutex> lock(LibraryMutex());
    if (!EnsureLibrary()) return false;
    LibraryState& state = State();
    const bool fresh =
        state.scanned && SteadyClock::now() - state.scan_time < kScanLifetime;
    if (!fresh && state.held.empty()) {
      burn_drive_info* infos = nullptr;
      unsigned int count = 0;
      int scanned = 0;
      while ((scanned = burn_drive_scan(&infos, &count)) == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      if (scanned > 0) {
        state.scanned_addresses.clear();
        for (unsigned int i = 0; i < count; ++i) {
          std::array<char, BURN_DRIVE_ADR_LEN> address{};
          if (burn_drive_get_adr(&infos[i], address.data()) > 0) {
            state.scanned_addresses.emplace_back(address.data());
          }
        }
        burn_drive_info_free(infos);
        state.scanned = true;
        state.scan_time = SteadyClock::now();
      }
    }
    if (!state.scanned) return false;
    real = state.scanned_addresses;
  }
  // A drive the scan passed over, busy or with its tray open, keeps its
  // place: the kernel's optical drives are all listed.
  std::error_code error;
  for (const auto& entry :
       std::filesystem::directory_iterator("/sys/block", error)) {
    const std::string name = entry.path().filename().string();
    const std::string device = "/dev/" + name;
    if (name.compare(0, 2, "sr") == 0 && access(device.c_str(), F_OK) == 0 &&
        std::find(real.begin(), real.end(), device) == real.end()) {
      real.push_back(device);
    }
  }
  std::sort(real.begin(), real.end(), virtual_drive::NameComesBefore);
  drives->clear();
  for (const std::string& address : real) drives->push_back({address, 0});
  const char* pseudo = std::getenv("TESSALINE_LIBBURN_DRIVES");
  if (pseudo != nullptr) {
    for (const DriveAddress& drive : ParsePseudoDrives(pseudo)) {
      drives->push_back(drive);
    }
  }
  return true;
}

std::unique_ptr<HeldDrive> HeldDrive::Grab(const DriveAddress& address,
                                           HRESULT* hr) {
  std::lock_guard<std::recursive_mutex> lock(LibraryMutex());
  if (!EnsureLibrary()) {
    *hr = kE_FAIL;
    return nullptr;
  }
  LibraryState& state = State();
  if (state.held.count(address.address) != 0) {
    *hr = kE_IMAPI_RECORDER_MEDIA_BUSY;
    return nullptr;
  }
  burn_drive_info* infos = nullptr;
  std::string text = address.address;
  const int grabbed = burn_drive_scan_and_grab(&infos, text.data(), 0);
  if (grabbed <= 0 || infos == nullptr || infos[0].drive == nullptr) {
    *hr = grabbed == 0 ? kE_INVALIDARG : kE_IMAPI_RECORDER_MEDIA_BUSY;
    return nullptr;
  }
  std::unique_ptr<HeldDrive> held(new HeldDrive());
  held->address_ = address;
  held->drive_ = infos[0].drive;
  held->infos_ = infos;
  state.held.insert(address.address);

  DriveFacts& facts = held->facts_;
  facts.vendor = Trimmed(infos[0].vendor, sizeof infos[0].vendor);
  facts.product = Trimmed(infos[0].product, sizeof infos[0].product);
  facts.revision = Trimmed(infos[0].revision, sizeof infos[0].revision);
  facts.role = burn_drive_get_drive_role(held->drive_);
  int count = 0;
  int profiles[64] = {};
  char current[64] = {};
  if (burn_drive_get_all_profiles(held->drive_, &count, profiles, current) >
      0) {
    for (int i = 0; i < count && i < 64; ++i) {
      facts.profiles.push_back(profiles[i]);
    }
  }
  *hr = kS_OK;
  return held;
}

HeldDrive::~HeldDrive() {
  std::lock_guard<std::recursive_mutex> lock(LibraryMutex());
  auto* infos = static_cast<burn_drive_info*>(infos_);
  // Releasing one drive must leave the others that other operations hold
  // alone, so the drive is forgotten alone, not the whole drive list.
  if (DoorLocked(DevicePathOf(address_))) {
    burn_drive_leave_locked(drive_, 0);
  } else {
    burn_drive_release(drive_, 0);
  }
  burn_drive_info_forget(&infos[0], 0);
  std::free(infos);
  State().held.erase(address_.address);
}

HRESULT HeldDrive::ReadMedium(Medium* medium) {
  const SteadyClock::time_point start = SteadyClock::now();
  burn_disc_status status = burn_disc_get_status(drive_);
  while (status == BURN_DISC_UNREADY &&
         SteadyClock::now() - start < kSpinUpLimit) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    status = burn_disc_get_status(drive_);
  }
  if (status == BURN_DISC_EMPTY || status == BURN_DISC_UNREADY) {
    return kE_IMAPI_RECORDER_MEDIA_NO_MEDIA;
  }
  int profile = 0;
  char name[80] = {};
  if (burn_disc_get_profile(drive_, &profile, name) <= 0) profile = 0;
  medium->profile = profile;
  medium->status = status;
  facts_.current_profile = profile;
  if (!IsOverwriteProfile(profile)) {
    medium->blank = status == BURN_DISC_BLANK;
    return kS_OK;
  }
  // Media written in place hold no record of being written: they count as
  // blank while their first sectors, where every file system starts, are
  // zero. A pseudo-drive's file is blank while it is empty.
  std::vector<char> head(kBlankProbeBytes);
  off_t got = 0;
  if (profile == kPseudoProfile) {
    const int fd = open(DevicePathOf(address_).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
      const ssize_t n = pread(fd, head.data(), head.size(), 0);
      got = n > 0 ? n : 0;
      close(fd);
    }
  } else if (status != BURN_DISC_BLANK) {
    int read_ok = burn_read_data(drive_, 0, head.data(),
                                 static_cast<off_t>(head.size()), &got, 2);
    if (read_ok <= 0) got = 0;
  }
  medium->blank = std::all_of(head.begin(), head.begin() + got,
                              [](char c) { return c == 0; });
  return kS_OK;
}

std::int64_t HeldDrive::FreeBytes() {
  std::int64_t bytes = burn_disc_available_space(drive_, nullptr);
  if (address_.limit > 0) bytes = std::min(bytes, address_.limit);
  return std::max<std::int64_t>(bytes, 0);
}

std::string DrainMessages(Console* console) {
  std::string last;
  int code = 0;
  int os_errno = 0;
  std::array<char, BURN_MSGS_MESSAGE_LEN> text{};
  std::array<char, 80> severity{};
  while (burn_msgs_obtain(const_cast<char*>("FAILURE"), &code, text.data(),
                          &os_errno, severity.data()) == 1) {
    last = text.data();
    if (console != nullptr) {
      console->Write("libburn " + std::string(severity.data()) + ": " + last +
                     "\n");
    }
  }
  return last;
}

IMAPI_MEDIA_PHYSICAL_TYPE MediaTypeOfProfile(int profile) {
  switch (profile) {
    case 0x08:
      return IMAPI_MEDIA_TYPE_CDROM;
    case 0x09:
      return IMAPI_MEDIA_TYPE_CDR;
    case 0x0a:
      return IMAPI_MEDIA_TYPE_CDRW;
    case 0x10:
      return IMAPI_MEDIA_TYPE_DVDROM;
    case 0x11:
      return IMAPI_MEDIA_TYPE_DVDDASHR;
    case 0x12:
      return IMAPI_MEDIA_TYPE_DVDRAM;
    case 0x13:
    case 0x14:
      return IMAPI_MEDIA_TYPE_DVDDASHRW;
    case 0x15:
    case 0x16:
      return IMAPI_MEDIA_TYPE_DVDDASHR_DUALLAYER;
    case 0x1a:
      return IMAPI_MEDIA_TYPE_DVDPLUSRW;
    case 0x1b:
      return IMAPI_MEDIA_TYPE_DVDPLUSR;
    case 0x2a:
      return IMAPI_MEDIA_TYPE_DVDPLUSRW_DUALLAYER;
    case 0x2b:
      return IMAPI_MEDIA_TYPE_DVDPLUSR_DUALLAYER;
    case 0x40:
      return IMAPI_MEDIA_TYPE_BDROM;
    case 0x41:
    case 0x42:
      return IMAPI_MEDIA_TYPE_BDR;
    case 0x43:
      return IMAPI_MEDIA_TYPE_BDRE;
    case 0x50:
      return IMAPI_MEDIA_TYPE_HDDVDROM;
    case 0x51:
      return IMAPI_MEDIA_TYPE_HDDVDR;
    case 0x52:
      return IMAPI_MEDIA_TYPE_HDDVDRAM;
    case kPseudoProfile:
      return IMAPI_MEDIA_TYPE_DISK;
    default:
      return IMAPI_MEDIA_TYPE_UNKNOWN;
  }
}

bool IsOverwriteProfile(int profile) {
  return profile == 0x12 || profile == 0x13 || profile == 0x1a ||
         profile == 0x2a || profile == 0x43 || profile == kPseudoProfile;
}

bool IsWritableProfile(int profile) {
  static constexpr std::array<int, 15> kWritable = {
      0x09, 0x0a, 0x11, 0x12, 0x13, 0x14, 0x15,          0x16,
      0x1a, 0x1b, 0x2a, 0x2b, 0x41, 0x43, kPseudoProfile};
  return std::find(kWritable.begin(), kWritable.end(), profile) !=
         kWritable.end();
}

bool IsBlankableProfile(int profile) {
  return profile == 0x0a || profile == 0x14;
}

std::vector<std::uint32_t> FeaturesOfProfiles(
    const std::vector<int>& profiles) {
  std::vector<std::uint32_t> features;
  for (const FeatureBit& bit : FeatureBits()) {
    if (bit.byte == 0 && ContainsAny(profiles, bit.profiles)) {
      features.push_back(bit.feature);
    }
  }
  std::sort(features.begin(), features.end());
  features.erase(std::unique(features.begin(), features.end()), features.end());
  return features;
}

std::vector<std::uint8_t> FeatureDescriptor(std::uint32_t feature,
                                            const std::vector<int>& profiles,
                                            int current_profile) {
  std::vector<std::uint8_t> descriptor;
  for (const FeatureBit& bit : FeatureBits()) {
    if (bit.feature != feature || !ContainsAny(profiles, bit.profiles)) {
      continue;
    }
    if (descriptor.empty()) {
      descriptor.assign(24, 0);
      descriptor[0] = static_cast<std::uint8_t>(feature >> 8);
      descriptor[1] = static_cast<std::uint8_t>(feature & 0xff);
      descriptor[3] = static_cast<std::uint8_t>(descriptor.size() - 4);
    }
    if (bit.byte != 0) descriptor[bit.byte] |= bit.bit;
    if (std::find(bit.profiles.begin(), bit.profiles.end(), current_profile) !=
        bit.profiles.end()) {
      descriptor[2] |= 0x01;
    }
  }
  return descriptor;
}

}  // namespace tessaline::platform::libburn
