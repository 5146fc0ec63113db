// The Windows build writes through the system's recorders; its library
// has no virtual drives to make.
#include "cli_reports.h"
#include "host_commands.h"

namespace tessaline_cli {

int RunDrivesCreate(const Arguments&) {
  PrintError("virtual drives are not part of the Windows build");
  return kExitFailed;
}

}  // namespace tessaline_cli
