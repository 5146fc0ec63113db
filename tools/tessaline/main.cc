// The command-line host of the recovery-disc library.
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "cli_args.h"
#include "cli_reports.h"
#include "host_commands.h"
#include "terminal.h"
#include "tessaline/tessaline.h"

namespace {

int Dispatch(const tessaline_cli::Arguments& arguments) {
  using tessaline_cli::Command;
  switch (arguments.command) {
    case Command::kDrivesCreate:
      return tessaline_cli::RunDrivesCreate(arguments);
    case Command::kRecorders:
      return tessaline_cli::RunRecorders();
    case Command::kPlan:
      return tessaline_cli::RunPlan(arguments);
    case Command::kMake:
      return tessaline_cli::RunMake(arguments);
    case Command::kMedia:
      return tessaline_cli::RunMedia(arguments);
    case Command::kEject:
    case Command::kClose:
    case Command::kLock:
    case Command::kMcn:
      return tessaline_cli::RunDriveRequest(arguments);
    case Command::kNone:
      break;
  }
  return tessaline_cli::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  using tessaline_cli::PrintError;
  const tessaline_cli::ParseResult parsed = tessaline_cli::ParseArguments(
      std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.ok) {
    PrintError(parsed.error);
    std::cerr << "Try 'tessaline --help'." << std::endl;
    return tessaline_cli::kExitUsage;
  }
  const tessaline_cli::Arguments& arguments = parsed.arguments;
  if (arguments.help) {
    std::cout << tessaline_cli::HelpText(arguments.command);
    return tessaline_cli::kExitOk;
  }
  if (!arguments.drives.empty()) {
    // The library picks its drives from the environment when it makes its
    // platform, so this comes before any call into it.
    const std::string drives = tessaline_cli::Absolute(arguments.drives);
    std::error_code error;
    if (arguments.command != tessaline_cli::Command::kDrivesCreate &&
        !std::filesystem::is_directory(drives, error)) {
      PrintError("drives folder not found: " + drives);
      return tessaline_cli::kExitUsage;
    }
    tessaline_cli::SetEnvironment("TESSALINE_DRIVES", drives);
  }
  try {
    return Dispatch(arguments);
  } catch (const CreateMediaException& e) {
    PrintError(tessaline_cli::Narrow(e.message));
  } catch (const MediaWriterException& e) {
    PrintError(tessaline_cli::Narrow(e.message));
  } catch (const FileException& e) {
    PrintError(tessaline_cli::Narrow(e.path) + ": " +
               tessaline_cli::Narrow(e.message));
  } catch (const std::exception& e) {
    PrintError(e.what());
  }
  return tessaline_cli::kExitFailed;
}
