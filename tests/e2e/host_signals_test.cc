#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/rig/drive_rig.h"

namespace tessaline::testing {
namespace {

namespace fs = std::filesystem;

// Running processes other than `except` whose command line names `text`.
std::vector<pid_t> ProcessesNaming(const std::string& text, pid_t except) {
  std::vector<pid_t> found;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream in(entry.path() / "cmdline", std::ios::binary);
    const std::string command((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    const pid_t pid = std::stoi(name);
    if (pid != except && pid != getpid() &&
        command.find(text) != std::string::npos) {
      found.push_back(pid);
    }
  }
  return found;
}

using HostSignalsTest = DriveRig;

TEST_F(HostSignalsTest, HostEndedBySignalsLeavesNoToolAndTheNextRunSucceeds) {
  MakeSource();
  AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDPLUSRW);
  const fs::path snapshot = temp_.path() / "snapshot";
  fs::copy(source_, snapshot, fs::copy_options::recursive);
  const std::string make =
      "'" + std::string(TESSALINE_HOST_PATH) + "' --drives '" +
      drives_.string() + "' make '" + layout_.string() + "' --source '" +
      source_.string() + "' --media RECOVERY --work '" + work_.string() + "'";
  // A mastering program that says when it runs and never ends, so that
  // the tool is surely running when the host is ended.
  const fs::path slow = temp_.path() / "slow";
  fs::create_directories(slow);
  const fs::path ready = slow / "ready";
  ASSERT_EQ(mkfifo(ready.c_str(), 0600), 0);
  WriteFile(slow / "xorriso", "#!/bin/sh\necho >'" + ready.string() +
                                  "'\nwhile :; do sleep 1; done\n");
  fs::permissions(slow / "xorriso", fs::perms::owner_all);
  const std::string slow_path = slow.string() + ":" + getenv("PATH");
  const struct {
    const char* progress;  // a line of the host's output
    std::vector<int> signals;
    bool slow_tool;
  } points[] = {
      {"disc 1 of 2  boot image", {SIGKILL}, true},
      {"disc 1 of 2  boot image", {SIGINT, SIGINT}, true},
      {"disc 1 of 2  boot image", {SIGTERM}, true},
      {"disc 1 of 2  verifying", {SIGHUP}, false},
      {"disc 2 of 2  writing", {SIGKILL}, false},
      {"disc 2 of 2  writing", {SIGINT}, false},
  };
  for (const auto& point : points) {
    SCOPED_TRACE(&point - points);
    // The shell's pid first: it becomes the host's.
    FILE* out = popen(("echo $$; exec env PATH='" +
                       (point.slow_tool ? slow_path : getenv("PATH")) + "' " +
                       make + " --verify")
                          .c_str(),
                      "r");
    pid_t pid = 0;
    ASSERT_EQ(fscanf(out, "%d\n", &pid), 1);
    std::string output;
    for (int c; output.find(point.progress) == std::string::npos &&
                (c = fgetc(out)) != EOF;) {
      output.push_back(static_cast<char>(c));
    }
    ASSERT_NE(output.find(point.progress), std::string::npos) << output;
    if (point.slow_tool) {
      const int fifo = open(ready.c_str(), O_RDONLY | O_NONBLOCK);
      pollfd started{fifo, POLLIN, 0};
      ASSERT_EQ(poll(&started, 1, 60000), 1);
      close(fifo);
    }
    for (int signal : point.signals) kill(pid, signal);
    int status = 0;
    waitpid(pid, &status, 0);  // the shell popen started, now the host
    pclose(out);
    // Every tool still running must end with the host; one that was just
    // starting may show up a moment later, so look until none is left.
    for (int round = 0; round < 10; ++round) {
      const std::vector<pid_t> tools = ProcessesNaming(work_.string(), pid);
      if (tools.empty()) break;
      for (pid_t tool : tools) {
        const int fd = static_cast<int>(syscall(SYS_pidfd_open, tool, 0));
        if (fd < 0) continue;
        pollfd ended{fd, POLLIN, 0};
        EXPECT_EQ(poll(&ended, 1, 30000), 1) << "process " << tool;
        close(fd);
      }
    }
    EXPECT_TRUE(ProcessesNaming(work_.string(), pid).empty());
    if (point.signals.size() == 1 && point.signals[0] != SIGKILL) {
      // One request to stop is a cancel: the host ends on its own, and the
      // build folder goes.
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << output;
      EXPECT_FALSE(fs::exists(work_ / "Burn"));
    }

    const CommandResult fresh = RunCommand({"sh", "-c", make});
    EXPECT_EQ(fresh.status, 0) << fresh.output;
    EXPECT_EQ(TreeOf(snapshot), TreeOf(source_));
  }
}

}  // namespace
}  // namespace tessaline::testing
