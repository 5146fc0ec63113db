// Mastering an image with xorriso's mkisofs emulation.
#ifndef TESSALINE_TOOLS_OSCDIMG_MASTERING_H_
#define TESSALINE_TOOLS_OSCDIMG_MASTERING_H_

#include <ostream>
#include <string>
#include <vector>

#include "command_line.h"

namespace oscdimg {

enum ExitStatus { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

// A graft-point path with '\' and '=' escaped, as -graft-points needs.
std::string EscapeGraftPath(const std::string& path);

// The name under which the boot sector file goes into the image's root: one
// that no entry of `folder`'s root has, so the graft replaces nothing.
std::string HiddenBootName(const std::string& folder);

// xorriso's arguments (without the program name) for `request`, with the
// boot file grafted as `boot_name` and hidden from every tree.
std::vector<std::string> XorrisoArguments(const MasteringRequest& request,
                                          const std::string& boot_name);

// True when `image` is a whole ISO 9660 image: a non-empty file of whole
// 2048-byte sectors with the primary volume descriptor at sector 16.
bool LooksLikeCompleteImage(const std::string& image);

// The tool: parses `arguments` (without the program name), checks the
// folder and the boot file, runs `xorriso` (a program name looked up in
// PATH, or a path) and checks the image. Usage goes to `out`, every failure
// to `errors` as one or more lines starting with "oscdimg: ". xorriso's own
// messages are shown only when it fails.
int RunOscdimg(const std::vector<std::string>& arguments,
               const std::string& xorriso, std::ostream& out,
               std::ostream& errors);

}  // namespace oscdimg

#endif  // TESSALINE_TOOLS_OSCDIMG_MASTERING_H_
