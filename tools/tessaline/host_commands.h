// The host's commands. Each returns the program's exit status and prints
// its failures to standard error.
#ifndef TESSALINE_TOOLS_TESSALINE_HOST_COMMANDS_H_
#define TESSALINE_TOOLS_TESSALINE_HOST_COMMANDS_H_

#include <string>

#include "cli_args.h"
#include "host_text.h"

namespace tessaline_cli {

int RunDrivesCreate(const Arguments& arguments);
int RunRecorders();
int RunMedia(const Arguments& arguments);
// eject, close, lock and mcn.
int RunDriveRequest(const Arguments& arguments);
int RunPlan(const Arguments& arguments);
int RunMake(const Arguments& arguments);

// Shared by the commands.
// `path` made absolute against the current folder; unchanged if empty.
std::string Absolute(const std::string& path);
// --work, created when missing; without it, a folder of this run's own in
// the system's temporary folder, which `*fresh` names so that the run can
// remove it. Empty (after a message) when it cannot be created.
std::string PrepareWorkFolder(const std::string& requested, std::string* fresh);
// "tessaline: " + text on standard error.
void PrintError(const std::string& text);
// False (after a message) when no listed recorder has `index`; fills
// `*description` with its vendor and product.
bool CheckRecorder(std::int32_t index, std::string* description);

}  // namespace tessaline_cli

#endif  // TESSALINE_TOOLS_TESSALINE_HOST_COMMANDS_H_
