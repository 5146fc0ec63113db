// Making virtual drives: folders that behave as recorders with a medium.
#include <filesystem>
#include <iostream>
#include <system_error>

#include "cli_reports.h"
#include "host_commands.h"
#include "tessaline/virtual_drives.h"

namespace tessaline_cli {

int RunDrivesCreate(const Arguments& arguments) {
  IMAPI_MEDIA_PHYSICAL_TYPE type = IMAPI_MEDIA_TYPE_UNKNOWN;
  if (!tessaline::ParseMediaTypeName(Wide(arguments.media_type), &type)) {
    PrintError("unknown media type: " + arguments.media_type);
    return kExitUsage;
  }
  const std::filesystem::path dir = Absolute(arguments.drive_folder);
  int created = 0;
  for (int number = 0; created < arguments.count; ++number) {
    const std::string name = "drive" + std::to_string(number);
    std::error_code ignored;
    if (std::filesystem::exists(dir / name, ignored)) continue;
    std::wstring error;
    if (!tessaline::CreateVirtualDrive(Wide(dir.string()), Wide(name), type,
                                       &error)) {
      PrintError("cannot create the drive " + (dir / name).string() + ": " +
                 Narrow(error));
      return kExitFailed;
    }
    std::cout << "created " << (dir / name).string() << " with a blank "
              << Narrow(tessaline::MediaTypeName(type)) << '\n';
    ++created;
  }
  std::cout << "use them with: tessaline --drives " << dir.string()
            << " COMMAND\n";
  return kExitOk;
}

}  // namespace tessaline_cli
