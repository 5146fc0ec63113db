#include "mastering.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

extern char** environ;

namespace oscdimg {
namespace {

// Enough of xorriso's chatter to show why it failed.
constexpr std::size_t kKeptOutput = 16 * 1024;
constexpr std::uint64_t kSector = 2048;

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void Reset() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

bool IsDirectory(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool Exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

std::string ParentFolder(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

struct RunResult {
  bool started = false;
  int start_error = 0;
  int status = 0;  // as waitpid gives it
  std::string output;
};

// Runs `program` with `arguments`, standard input from /dev/null, standard
// output and error collected together. No shell is involved, so paths with
// blanks and quotes pass unchanged.
RunResult Run(const std::string& program,
              const std::vector<std::string>& arguments) {
  RunResult result;
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) {
    result.start_error = errno;
    return result;
  }
  Fd read_end(ends[0]);
  Fd write_end(ends[1]);

  std::vector<std::string> owned;
  owned.reserve(arguments.size() + 1);
  owned.push_back(program);
  owned.insert(owned.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : owned) argv.push_back(argument.data());
  argv.push_back(nullptr);

  // Not posix_spawn: the mastering program must be bound to this tool's
  // death before it runs, so that it never outlives a tool that was killed.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    result.start_error = errno;
    return result;
  }
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    const int input = open("/dev/null", O_RDONLY);
    if (input >= 0) dup2(input, STDIN_FILENO);
    dup2(write_end.get(), STDOUT_FILENO);
    dup2(write_end.get(), STDERR_FILENO);
    execvp(program.c_str(), argv.data());
    const int error = errno;
    if (write(report[1], &error, sizeof error) < 0) _exit(127);
    _exit(127);
  }
  int rc = pid < 0 ? errno : 0;
  close(report[1]);
  if (pid > 0) {
    int exec_error = 0;
    ssize_t got;
    do {
      got = read(report[0], &exec_error, sizeof exec_error);
    } while (got < 0 && errno == EINTR);
    if (got == static_cast<ssize_t>(sizeof exec_error)) {
      rc = exec_error;
      while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
      }
    }
  }
  close(report[0]);
  write_end.Reset();
  if (rc != 0) {
    result.start_error = rc;
    return result;
  }
  result.started = true;

  char buffer[4096];
  for (;;) {
    const ssize_t got = read(read_end.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    result.output.append(buffer, static_cast<std::size_t>(got));
    if (result.output.size() > 2 * kKeptOutput) {
      result.output.erase(0, result.output.size() - kKeptOutput);
    }
  }
  while (waitpid(pid, &result.status, 0) < 0 && errno == EINTR) {
  }
  return result;
}

void ShowOutput(const std::string& output, std::ostream& errors) {
  std::size_t start = output.size() > kKeptOutput
                          ? output.find('\n', output.size() - kKeptOutput)
                          : 0;
  if (start == std::string::npos) start = 0;
  while (start < output.size()) {
    std::size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    if (end > start) {
      errors << "  " << output.substr(start, end - start) << '\n';
    }
    start = end + 1;
  }
}

}  // namespace

std::string EscapeGraftPath(const std::string& path) {
  std::string escaped;
  escaped.reserve(path.size());
  for (char c : path) {
    if (c == '\\' || c == '=') escaped.push_back('\\');
    escaped.push_back(c);
  }
  return escaped;
}

std::string HiddenBootName(const std::string& folder) {
  std::string name = "eltorito.img";
  for (int n = 1; Exists(folder + "/" + name); ++n) {
    name = "eltorito" + std::to_string(n) + ".img";
  }
  return name;
}

std::vector<std::string> XorrisoArguments(const MasteringRequest& request,
                                          const std::string& boot_name) {
  std::vector<std::string> arguments = {
      "-as", "mkisofs",      "-quiet", "-iso-level",   "3",
      "-J",  "-joliet-long", "-R",     "-graft-points"};
  if (!request.label.empty()) {
    arguments.insert(arguments.end(), {"-V", request.label});
  }
  const bool bootable = !request.boot_file.empty();
  if (bootable) {
    // As the Windows tool loads a no-emulation boot sector: 4 sectors of
    // 512 bytes at the default segment; the catalog is not shown either.
    arguments.insert(arguments.end(),
                     {"-b", boot_name, "-no-emul-boot", "-boot-load-size", "4",
                      "--boot-catalog-hide"});
  }
  arguments.insert(arguments.end(), {"-o", request.image,
                                     "/=" + EscapeGraftPath(request.folder)});
  if (bootable) {
    arguments.push_back("/" + boot_name + "=" +
                        EscapeGraftPath(request.boot_file));
    // Ends the emulation; xorriso's own -hide takes the path inside the
    // image, which is ours, rather than a pattern over the disk path.
    arguments.insert(arguments.end(),
                     {"--", "-hide", "on", "/" + boot_name, "--"});
  }
  return arguments;
}

bool LooksLikeCompleteImage(const std::string& image) {
  struct stat info {};
  if (stat(image.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  const auto size = static_cast<std::uint64_t>(info.st_size);
  if (size < 17 * kSector || size % kSector != 0) return false;
  std::ifstream file(image, std::ios::binary);
  file.seekg(16 * kSector);
  char descriptor[6] = {};
  file.read(descriptor, sizeof descriptor);
  return file && descriptor[0] == 1 &&
         std::memcmp(descriptor + 1, "CD001", 5) == 0;
}

int RunOscdimg(const std::vector<std::string>& arguments,
               const std::string& xorriso, std::ostream& out,
               std::ostream& errors) {
  const ParsedCommandLine parsed = ParseCommandLine(arguments);
  if (parsed.outcome == ParsedCommandLine::Outcome::kHelp) {
    out << UsageText();
    return kExitOk;
  }
  if (parsed.outcome == ParsedCommandLine::Outcome::kError) {
    errors << "oscdimg: " << parsed.error << '\n' << UsageText();
    return kExitUsage;
  }
  const MasteringRequest& request = parsed.request;

  if (!IsDirectory(request.folder)) {
    errors << "oscdimg: folder not found: " << request.folder << '\n';
    return kExitFailed;
  }
  if (!request.boot_file.empty()) {
    struct stat info {};
    if (stat(request.boot_file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
      errors << "oscdimg: boot sector file not found: " << request.boot_file
             << '\n';
      return kExitFailed;
    }
    if (info.st_size == 0) {
      errors << "oscdimg: boot sector file is empty: " << request.boot_file
             << '\n';
      return kExitFailed;
    }
  }
  const std::string image_folder = ParentFolder(request.image);
  if (!IsDirectory(image_folder)) {
    errors << "oscdimg: folder of the image file not found: " << image_folder
           << '\n';
    return kExitFailed;
  }

  const RunResult run =
      Run(xorriso, XorrisoArguments(request, HiddenBootName(request.folder)));
  if (!run.started) {
    errors << "oscdimg: cannot start " << xorriso << ": "
           << std::strerror(run.start_error) << '\n';
    return kExitFailed;
  }
  std::string failure;
  if (WIFSIGNALED(run.status)) {
    failure = xorriso + " was stopped by signal " +
              std::to_string(WTERMSIG(run.status));
  } else if (!WIFEXITED(run.status) || WEXITSTATUS(run.status) != 0) {
    failure = xorriso + " failed with exit status " +
              std::to_string(WEXITSTATUS(run.status));
  } else if (!LooksLikeCompleteImage(request.image)) {
    failure = xorriso + " left no complete image in " + request.image;
  }
  if (!failure.empty()) {
    errors << "oscdimg: " << failure << '\n';
    ShowOutput(run.output, errors);
    // A partial image must not pass for a finished one.
    unlink(request.image.c_str());
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace oscdimg
