#include "cli_args.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <map>
#include <set>

namespace tessaline_cli {
namespace {

struct CommandName {
  const char* name;
  Command command;
};

// "drives" is followed by "create"; the others stand alone.
constexpr CommandName kCommands[] = {
    {"recorders", Command::kRecorders}, {"plan", Command::kPlan},
    {"make", Command::kMake},           {"media", Command::kMedia},
    {"eject", Command::kEject},         {"close", Command::kClose},
    {"lock", Command::kLock},           {"mcn", Command::kMcn},
};

// The options each command takes: name -> whether a value follows.
std::map<std::string, bool> OptionsOf(Command command) {
  switch (command) {
    case Command::kDrivesCreate:
      return {{"count", true}, {"type", true}};
    case Command::kPlan:
      return {{"media", true}, {"work", true}};
    case Command::kMake:
      return {{"source", true}, {"media", true},    {"work", true},
              {"drive", true},  {"verify", false},  {"stage", false},
              {"discs", true},  {"verbose", false}, {"json", false}};
    default:
      return {};
  }
}

std::size_t PositionalCount(Command command) {
  switch (command) {
    case Command::kDrivesCreate:
    case Command::kPlan:
    case Command::kMake:
    case Command::kMedia:
    case Command::kEject:
    case Command::kClose:
      return 1;
    case Command::kLock:
    case Command::kMcn:
      return 2;
    default:
      return 0;
  }
}

const char* NameOf(Command command) {
  if (command == Command::kDrivesCreate) return "drives create";
  for (const CommandName& entry : kCommands) {
    if (entry.command == command) return entry.name;
  }
  return "";
}

bool ParseNumber(const std::string& text, std::int64_t max,
                 std::int32_t* value) {
  if (text.empty() || text.size() > 10) return false;
  std::int64_t number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + (c - '0');
  }
  if (number > max) return false;
  *value = static_cast<std::int32_t>(number);
  return true;
}

// "0,2,3": distinct indexes, in the order given.
bool ParseDriveList(const std::string& text, std::vector<std::int32_t>* list) {
  list->clear();
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = std::min(text.find(',', start), text.size());
    std::int32_t index = 0;
    if (!ParseNumber(text.substr(start, end - start), INT32_MAX, &index) ||
        std::find(list->begin(), list->end(), index) != list->end()) {
      return false;
    }
    list->push_back(index);
    if (end == text.size()) return true;
    start = end + 1;
  }
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  });
  return text;
}

ParseResult Failure(std::string error) {
  ParseResult result;
  result.error = std::move(error);
  return result;
}

// Fills the command's fields from its positional words and options.
bool Apply(const std::vector<std::string>& positional,
           const std::map<std::string, std::string>& options, Arguments* a,
           std::string* error) {
  const auto option = [&](const char* name, std::string* field) {
    const auto found = options.find(name);
    if (found != options.end()) *field = found->second;
  };
  switch (a->command) {
    case Command::kDrivesCreate: {
      a->drive_folder = positional[0];
      std::string count;
      option("count", &count);
      if (!count.empty() &&
          (!ParseNumber(count, kMaxDriveCount, &a->count) || a->count < 1)) {
        *error = "--count must be a number from 1 to " +
                 std::to_string(kMaxDriveCount) + ": " + count;
        return false;
      }
      option("type", &a->media_type);
      if (a->media_type.empty()) {
        *error = "--type needs a media type name";
        return false;
      }
      return true;
    }
    case Command::kPlan:
    case Command::kMake: {
      a->layout = positional[0];
      option("media", &a->media);
      option("work", &a->work);
      if (a->media.empty()) {
        *error = "--media NAME is required";
        return false;
      }
      if (a->command == Command::kPlan) return true;
      option("source", &a->source);
      if (a->source.empty()) {
        *error = "--source DIR is required";
        return false;
      }
      std::string drive;
      option("drive", &drive);
      if (drive == "all") {
        a->all_recorders = true;
      } else if (!drive.empty() && !ParseDriveList(drive, &a->recorders)) {
        *error = "--drive must be all or drive indexes, each once: " + drive;
        return false;
      }
      a->verify = options.count("verify") != 0;
      a->stage = options.count("stage") != 0;
      a->verbose = options.count("verbose") != 0;
      a->json = options.count("json") != 0;
      option("discs", &a->discs);
      if (options.count("discs") != 0 && a->discs.empty()) {
        *error = "--discs needs a list of discs";
        return false;
      }
      return true;
    }
    case Command::kMedia:
    case Command::kEject:
    case Command::kClose:
    case Command::kLock:
    case Command::kMcn:
      if (!ParseNumber(positional[0], INT32_MAX, &a->index)) {
        *error = "not a drive index: " + positional[0];
        return false;
      }
      if (positional.size() == 2) {
        const std::string state = Lower(positional[1]);
        if (state != "on" && state != "off") {
          *error = "expected on or off: " + positional[1];
          return false;
        }
        a->on = state == "on";
      }
      return true;
    default:
      return true;
  }
}

}  // namespace

ParseResult ParseArguments(const std::vector<std::string>& words) {
  Arguments arguments;
  // Global options may stand anywhere.
  std::vector<std::string> rest;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word == "--help" || word == "-h") {
      arguments.help = true;
    } else if (word == "--drives") {
      if (i + 1 == words.size()) return Failure("--drives needs a folder");
      arguments.drives = words[++i];
    } else if (word.rfind("--drives=", 0) == 0) {
      arguments.drives = word.substr(9);
      if (arguments.drives.empty()) return Failure("--drives needs a folder");
    } else {
      rest.push_back(word);
    }
  }

  std::size_t next = 0;
  bool help_command = false;
  if (next < rest.size() && rest[next] == "help") {
    help_command = true;
    arguments.help = true;
    ++next;
  }
  if (next < rest.size()) {
    const std::string& word = rest[next];
    if (word == "drives") {
      ++next;
      if (next < rest.size() && rest[next] == "create") {
        arguments.command = Command::kDrivesCreate;
        ++next;
      } else if (!arguments.help || next < rest.size()) {
        return Failure("expected: drives create DIR");
      } else {
        arguments.command = Command::kDrivesCreate;
      }
    } else {
      for (const CommandName& entry : kCommands) {
        if (word == entry.name) arguments.command = entry.command;
      }
      if (arguments.command == Command::kNone) {
        return Failure("unknown command: " + word);
      }
      ++next;
    }
  }
  if (arguments.help) {
    if (help_command && next < rest.size()) {
      return Failure("help takes one command: " + rest[next]);
    }
    ParseResult result;
    result.ok = true;
    result.arguments = arguments;
    return result;
  }
  if (arguments.command == Command::kNone) return Failure("no command given");

  const std::map<std::string, bool> known = OptionsOf(arguments.command);
  std::map<std::string, std::string> options;
  std::vector<std::string> positional;
  for (; next < rest.size(); ++next) {
    const std::string& word = rest[next];
    if (word.size() < 2 || word.rfind("--", 0) != 0) {
      if (word.size() > 1 && word[0] == '-') {
        return Failure(std::string("unknown option for ") +
                       NameOf(arguments.command) + ": " + word);
      }
      positional.push_back(word);
      continue;
    }
    const std::size_t equals = word.find('=');
    const std::string name = word.substr(2, equals - 2);
    const auto found = known.find(name);
    if (found == known.end()) {
      return Failure(std::string("unknown option for ") +
                     NameOf(arguments.command) + ": --" + name);
    }
    if (!found->second) {
      if (equals != std::string::npos) {
        return Failure("--" + name + " takes no value");
      }
      options[name];
      continue;
    }
    if (equals != std::string::npos) {
      options[name] = word.substr(equals + 1);
    } else if (next + 1 < rest.size()) {
      options[name] = rest[++next];
    } else {
      return Failure("--" + name + " needs a value");
    }
  }
  const std::size_t wanted = PositionalCount(arguments.command);
  if (positional.size() != wanted) {
    return Failure(std::string(NameOf(arguments.command)) + " takes " +
                   std::to_string(wanted) + " argument" +
                   (wanted == 1 ? "" : "s") + ", got " +
                   std::to_string(positional.size()));
  }
  std::string error;
  if (!Apply(positional, options, &arguments, &error)) return Failure(error);
  ParseResult result;
  result.ok = true;
  result.arguments = arguments;
  return result;
}

bool ParseDiscList(const std::string& list, std::uint32_t disc_count,
                   std::vector<std::int32_t>* discs, std::string* error) {
  std::set<std::int32_t> chosen;
  if (list.empty()) {
    for (std::uint32_t disc = 1; disc <= disc_count; ++disc) {
      chosen.insert(static_cast<std::int32_t>(disc));
    }
  }
  std::size_t start = 0;
  while (start < list.size()) {
    std::size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    const std::string part = list.substr(start, end - start);
    const std::size_t dash = part.find('-');
    std::int32_t first = 0;
    std::int32_t last = 0;
    bool ok = false;
    if (dash == std::string::npos) {
      ok = ParseNumber(part, INT32_MAX, &first);
      last = first;
    } else {
      ok = ParseNumber(part.substr(0, dash), INT32_MAX, &first) &&
           ParseNumber(part.substr(dash + 1), INT32_MAX, &last) &&
           first <= last;
    }
    if (!ok) {
      *error = "not a disc or range of discs: \"" + part + "\"";
      return false;
    }
    if (first < 1 || static_cast<std::uint32_t>(last) > disc_count) {
      *error = "disc " + part + " is not in the plan (discs 1 to " +
               std::to_string(disc_count) + ")";
      return false;
    }
    for (std::int32_t disc = first; disc <= last; ++disc) chosen.insert(disc);
    start = end + 1;
    if (end + 1 == list.size()) {
      *error = "the list of discs ends with a comma";
      return false;
    }
  }
  discs->assign(chosen.begin(), chosen.end());
  return true;
}

std::string HelpText(Command command) {
  switch (command) {
    case Command::kDrivesCreate:
      return "usage: tessaline drives create DIR [--count N] [--type TYPE]\n"
             "Makes N virtual drives (default 1) in DIR, named drive0,\n"
             "drive1, ... after those already there, each holding a blank\n"
             "medium of TYPE (default DVDPLUSRW; also CDR, CDRW, DVDPLUSR,\n"
             "DVDDASHR, DVDDASHRW, BDR, BDRE, ...). Use them with\n"
             "--drives DIR.\n";
    case Command::kRecorders:
      return "usage: tessaline recorders\n"
             "Lists the recorders: index, vendor, product, mount points,\n"
             "the medium in the drive and the media the recorder writes.\n";
    case Command::kPlan:
      return "usage: tessaline plan LAYOUT --media NAME [--work DIR]\n"
             "Reads the layout file and shows the disc plan for the media\n"
             "NAME: each disc's items and size, and the work folder chosen\n"
             "(another drive's when DIR lacks room).\n";
    case Command::kMake:
      return "usage: tessaline make LAYOUT --source DIR --media NAME\n"
             "                      [--work DIR] [--drive LIST] [--verify]\n"
             "                      [--stage] [--discs LIST] [--verbose]\n"
             "                      [--json]\n"
             "Makes the disc set disc by disc on recorder 0 from the recovery\n"
             "content in DIR. Between discs it asks for the next blank disc;\n"
             "a virtual drive changes its medium itself.\n"
             "  --drive LIST  the recorders, e.g. 2 or 0,2,3 or all: the set\n"
             "                is made on each at the same time, each with a\n"
             "                work folder recorder-N of its own\n"
             "  --verify      check every disc after writing it\n"
             "  --stage       copy each disc's items into the work folder\n"
             "                first\n"
             "  --discs LIST  only these discs, e.g. 1,3 or 2-3\n"
             "  --work DIR    work folder (default: a folder in the system's\n"
             "                temporary folder)\n"
             "  --verbose     the library's lines on standard error too;\n"
             "                they always go to tessaline.log in the work\n"
             "                folder\n"
             "  --json        one JSON object a line on standard output for\n"
             "                every status report, then one with the\n"
             "                outcome; the rest goes to standard error\n"
             "Exit status: 0 when every disc was made, 1 when a disc failed,\n"
             "2 for a usage error, 130 when cancelled (Ctrl-C). With several\n"
             "recorders a failure on one does not stop the others, and the\n"
             "status is 64 plus 2^i for each recorder i of LIST (counted\n"
             "from 0) whose set is not complete; past six recorders, 1.\n";
    case Command::kMedia:
      return "usage: tessaline media N\n"
             "Shows the type of medium in recorder N and whether it is "
             "blank.\n";
    case Command::kEject:
      return "usage: tessaline eject N\nOpens the tray of recorder N.\n";
    case Command::kClose:
      return "usage: tessaline close N\n"
             "Closes the tray of recorder N (a virtual drive loads a fresh\n"
             "blank medium).\n";
    case Command::kLock:
      return "usage: tessaline lock N on|off\n"
             "Forbids (on) or allows (off) taking the medium out of recorder "
             "N.\n";
    case Command::kMcn:
      return "usage: tessaline mcn N on|off\n"
             "Switches the media change notification of recorder N on or "
             "off.\n"
             "Notification is switched on again only as often as this\n"
             "process switched it off.\n";
    case Command::kNone:
      break;
  }
  return "usage: tessaline [--drives DIR] COMMAND [ARGUMENTS]\n"
         "Makes the recovery disc set of this machine.\n"
         "\n"
         "Commands:\n"
         "  drives create DIR [--count N] [--type TYPE]\n"
         "                     make virtual drives with blank media\n"
         "  recorders          list the recorders\n"
         "  plan LAYOUT --media NAME [--work DIR]\n"
         "                     show the disc plan\n"
         "  make LAYOUT --source DIR --media NAME [--work DIR] [--drive LIST]\n"
         "       [--verify] [--stage] [--discs LIST]\n"
         "                     make the disc set\n"
         "  media N            the medium in recorder N\n"
         "  eject N, close N   open or close the tray of recorder N\n"
         "  lock N on|off      lock the medium in recorder N\n"
         "  mcn N on|off       media change notification of recorder N\n"
         "\n"
         "  --drives DIR       use the virtual drives in DIR instead of the\n"
         "                     machine's recorders\n"
         "  --help             help (also: tessaline COMMAND --help)\n";
}

}  // namespace tessaline_cli
