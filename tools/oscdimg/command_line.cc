#include "command_line.h"

#include <cctype>

namespace oscdimg {
namespace {

bool IsOption(const std::string& argument) {
  return argument.size() >= 2 && (argument[0] == '-' || argument[0] == '/');
}

bool IsHelp(const std::string& argument) {
  return argument == "-?" || argument == "/?" || argument == "-h" ||
         argument == "--help";
}

char Letter(const std::string& option) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(option[1])));
}

// A Windows caller may hand the value over with its quotes still on it
// (/B"C:\boot\etfsboot.com" arrives whole when no shell splits it).
std::string Unquoted(std::string value) {
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

ParsedCommandLine Error(std::string text) {
  ParsedCommandLine parsed;
  parsed.outcome = ParsedCommandLine::Outcome::kError;
  parsed.error = std::move(text);
  return parsed;
}

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    if (IsHelp(argument)) {
      ParsedCommandLine parsed;
      parsed.outcome = ParsedCommandLine::Outcome::kHelp;
      return parsed;
    }
  }
  if (arguments.size() < 2) {
    return Error("a folder and an image file are needed");
  }

  ParsedCommandLine parsed;
  MasteringRequest& request = parsed.request;
  const std::size_t options = arguments.size() - 2;
  for (std::size_t i = 0; i < options; ++i) {
    const std::string& option = arguments[i];
    if (!IsOption(option)) {
      return Error("unexpected argument before the folder: " + option);
    }
    const std::string value = Unquoted(option.substr(2));
    switch (Letter(option)) {
      case 'l':
        if (value.empty()) return Error("-l needs a volume label");
        if (value.size() > kMaxLabelLength) {
          return Error("the volume label is longer than 32 characters: " +
                       value);
        }
        request.label = value;
        break;
      case 'b':
        if (value.empty()) return Error("-b needs a boot sector file");
        request.boot_file = value;
        break;
      case 'n':
      case 'm':
        if (option.size() != 2) return Error("unknown option: " + option);
        (Letter(option) == 'n' ? request.long_names : request.no_size_limit) =
            true;
        break;
      default:
        return Error("unknown option: " + option);
    }
  }
  request.folder = Unquoted(arguments[options]);
  request.image = Unquoted(arguments[options + 1]);
  if (request.folder.empty()) return Error("the folder is empty");
  if (request.image.empty()) return Error("the image file is empty");
  parsed.outcome = ParsedCommandLine::Outcome::kRequest;
  return parsed;
}

std::string UsageText() {
  return "usage: oscdimg [-l<label>] [-n] [-m] [-b<boot file>] FOLDER IMAGE\n"
         "Makes an ISO 9660 image (level 3, Joliet and Rock Ridge) of FOLDER\n"
         "in the file IMAGE with xorriso. Options start with - or / and\n"
         "ignore case.\n"
         "  -l<label>      volume label (at most 32 characters)\n"
         "  -n             long file names (always kept)\n"
         "  -m             no limit on the image size (there is none)\n"
         "  -b<boot file>  El Torito boot sector file, loaded without\n"
         "                 emulation (4 sectors at 07C0:0000); it is not\n"
         "                 shown in the image's folders\n"
         "Exit status: 0 when the image is complete, 1 on failure, 2 for a\n"
         "bad command line.\n";
}

}  // namespace oscdimg
