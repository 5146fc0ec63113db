// Making virtual drives: folders that behave as recorders with a medium.
#include <filesystem>
#include <iostream>
#include <system_error>

#include "cli_reports.h"
#include "host_commands.h"
#include "platform/virtual/drive_folder.h"

namespace tessaline_cli {

int RunDrivesCreate(const Arguments& arguments) {
  IMAPI_MEDIA_PHYSICAL_TYPE type = IMAPI_MEDIA_TYPE_UNKNOWN;
  if (!tessaline::platform::ParseMediaTypeName(arguments.media_type, &type)) {
    PrintError("unknown media type: " + arguments.media_type);
    return kExitUsage;
  }
  const std::filesystem::path dir = Absolute(arguments.drive_folder);
  int created = 0;
  for (int number = 0; created < arguments.count; ++number) {
    const std::string name = "drive" + std::to_string(number);
    std::error_code ignored;
    if (std::filesystem::exists(dir / name, ignored)) continue;
    std::string error;
    if (!tessaline::platform::CreateDriveFolder(dir.string(), name, type,
                                                &error)) {
      PrintError("cannot create the drive " + (dir / name).string() + ": " +
                 error);
      return kExitFailed;
    }
    std::cout << "created " << (dir / name).string() << " with a blank "
              << tessaline::platform::MediaTypeName(type) << '\n';
    ++created;
  }
  std::cout << "use them with: tessaline --drives " << dir.string()
            << " COMMAND\n";
  return kExitOk;
}

}  // namespace tessaline_cli
