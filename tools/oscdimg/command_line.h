// The command line of the mastering tool, as the boot disc build writes it:
//   oscdimg -l<label> /n /m /B<boot file> <folder> <image>
// Options start with '-' or '/' and their letters match without case. The
// folder and the image are always the last two arguments, so that POSIX
// paths, which start with '/' themselves, are never taken for options.
#ifndef TESSALINE_TOOLS_OSCDIMG_COMMAND_LINE_H_
#define TESSALINE_TOOLS_OSCDIMG_COMMAND_LINE_H_

#include <string>
#include <vector>

namespace oscdimg {

// ISO 9660 allows 32 characters in a volume identifier.
inline constexpr std::size_t kMaxLabelLength = 32;

struct MasteringRequest {
  std::string label;      // empty: the image gets no volume identifier
  std::string boot_file;  // empty: the image is not bootable
  std::string folder;
  std::string image;
  bool long_names = false;     // "/n"; long names are always kept
  bool no_size_limit = false;  // "/m"; there is never a size limit
};

struct ParsedCommandLine {
  enum class Outcome { kRequest, kHelp, kError };
  Outcome outcome = Outcome::kError;
  MasteringRequest request;
  std::string error;  // for kError: what is wrong, one line
};

// `arguments` excludes the program name.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The usage text, ending with a line break.
std::string UsageText();

}  // namespace oscdimg

#endif  // TESSALINE_TOOLS_OSCDIMG_COMMAND_LINE_H_
