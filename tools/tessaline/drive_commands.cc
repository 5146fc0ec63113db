// Commands on recorders and virtual drives.
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <system_error>
#include <vector>

#include "cli_reports.h"
#include "cli_tables.h"
#include "host_commands.h"
#include "host_text.h"
#include "tessaline/tessaline.h"
#include "tessaline/virtual_drives.h"

namespace tessaline_cli {
namespace {

std::string MediaName(IMAPI_MEDIA_PHYSICAL_TYPE type) {
  return Narrow(tessaline::MediaTypeName(type));
}

}  // namespace

std::string Absolute(const std::string& path) {
  if (path.empty()) return path;
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

void PrintError(const std::string& text) {
  std::cerr << "tessaline: " << text << std::endl;
}

bool CheckRecorder(std::int32_t index, std::string* description) {
  std::vector<RecorderInfo> recorders;
  Tessaline::ListRecorders(recorders);
  for (const RecorderInfo& info : recorders) {
    if (info.index != index) continue;
    *description = Narrow(info.vendorId) + " " + Narrow(info.productId);
    return true;
  }
  PrintError("no recorder with index " + std::to_string(index) +
             (recorders.empty() ? " (no recorders found; virtual drives: "
                                  "--drives DIR)"
                                : " (see: tessaline recorders)"));
  return false;
}

int RunRecorders() {
  std::vector<RecorderInfo> recorders;
  Tessaline::ListRecorders(recorders);
  std::cout << FormatRecorderTable(recorders, MediaName);
  return kExitOk;
}

int RunMedia(const Arguments& arguments) {
  std::string description;
  if (!CheckRecorder(arguments.index, &description)) return kExitFailed;
  std::int32_t status = 0;
  const IMAPI_MEDIA_PHYSICAL_TYPE type =
      Tessaline::MediaTypeInRecorder(arguments.index, &status);
  const bool blank = Tessaline::IsMediaBlank(arguments.index);
  std::cout << "recorder " << arguments.index << " (" << description << "): ";
  if (type == IMAPI_MEDIA_TYPE_UNKNOWN) {
    std::cout << "no medium";
  } else {
    std::cout << MediaName(type) << (blank ? ", blank" : ", not blank");
  }
  if (status < 0) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08" PRIX32,
                  static_cast<std::uint32_t>(status));
    std::cout << " (media status " << code << ")";
  }
  std::cout << '\n';
  return kExitOk;
}

int RunDriveRequest(const Arguments& arguments) {
  std::string description;
  if (!CheckRecorder(arguments.index, &description)) return kExitFailed;
  const std::int32_t index = arguments.index;
  const std::string who = "recorder " + std::to_string(index);
  switch (arguments.command) {
    case Command::kEject:
    case Command::kClose: {
      const bool close = arguments.command == Command::kClose;
      Tessaline::EjectClose(static_cast<std::uint32_t>(index), close);
      std::cout << who << ": tray " << (close ? "closed" : "opened") << '\n';
      return kExitOk;
    }
    case Command::kLock:
      if (Tessaline::DriveLock(static_cast<std::uint32_t>(index),
                               arguments.on) != 0) {
        PrintError(who + ": the drive could not be " +
                   (arguments.on ? "locked" : "unlocked"));
        return kExitFailed;
      }
      std::cout << who << ": medium " << (arguments.on ? "locked" : "unlocked")
                << '\n';
      return kExitOk;
    case Command::kMcn:
      if (Tessaline::DisableEnableMCN(static_cast<std::uint32_t>(index),
                                      !arguments.on) != 1) {
        PrintError(who + ": media change notification could not be switched");
        return kExitFailed;
      }
      std::cout << who << ": media change notification "
                << (arguments.on ? "on" : "off") << '\n';
      return kExitOk;
    default:
      return kExitUsage;
  }
}

}  // namespace tessaline_cli
