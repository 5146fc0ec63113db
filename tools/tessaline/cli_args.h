// The command line of the tessaline host: commands, options and their help.
#ifndef TESSALINE_TOOLS_TESSALINE_CLI_ARGS_H_
#define TESSALINE_TOOLS_TESSALINE_CLI_ARGS_H_

#include <cstdint>
#include <string>
#include <vector>

namespace tessaline_cli {

enum class Command {
  kNone,  // no command given: general help
  kDrivesCreate,
  kRecorders,
  kPlan,
  kMake,
  kMedia,
  kEject,
  kClose,
  kLock,
  kMcn,
};

inline constexpr const char* kDefaultMediaType = "DVDPLUSRW";
inline constexpr int kMaxDriveCount = 64;

struct Arguments {
  Command command = Command::kNone;
  bool help = false;   // --help: show the command's help (general for kNone)
  std::string drives;  // --drives DIR, empty when not given

  // drives create
  std::string drive_folder;
  int count = 1;
  std::string media_type = kDefaultMediaType;

  // plan and make
  std::string layout;
  std::string media;   // --media: the layout's media name
  std::string work;    // --work, empty: the default work folder
  std::string source;  // make --source
  // --drive: the recorders to make the set on, at the same time; with
  // `all_recorders` every recorder the library lists.
  std::vector<std::int32_t> recorders = {0};
  bool all_recorders = false;
  bool verify = false;
  bool stage = false;
  bool verbose = false;  // make --verbose: library lines on stderr too
  bool json = false;     // make --json: status reports as JSON lines
  std::string discs;     // --discs as given, empty: every disc

  // media, eject, close, lock, mcn
  std::int32_t index = 0;
  bool on = false;  // lock/mcn on|off
};

struct ParseResult {
  bool ok = false;
  Arguments arguments;
  std::string error;  // one line when !ok
};

// `words` excludes the program name.
ParseResult ParseArguments(const std::vector<std::string>& words);

// The help of `command`, or the general help for kNone. Ends with a line
// break.
std::string HelpText(Command command);

// The disc numbers that `list` names ("1,3", "2-3", "1-2,4"), in rising
// order without repeats, each from 1 to `disc_count`. An empty list names
// every disc. False with a one-line `*error` otherwise.
bool ParseDiscList(const std::string& list, std::uint32_t disc_count,
                   std::vector<std::int32_t>* discs, std::string* error);

}  // namespace tessaline_cli

#endif  // TESSALINE_TOOLS_TESSALINE_CLI_ARGS_H_
