#include "e2e/e2e_fixture.h"

#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "platform/text.h"
#include "platform/virtual/drive_folder.h"

extern char** environ;

namespace tessaline::testing {
namespace fs = std::filesystem;

void DiscReports::Callback(std::int32_t code, std::intptr_t first,
                           std::intptr_t, void* context) {
  auto* self = static_cast<DiscReports*>(context);
  std::lock_guard<std::mutex> lock(self->mutex_);
  self->codes_.push_back(code);
  if (code == 12) self->failure_ = reinterpret_cast<const wchar_t*>(first);
  if (code >= 10 && code <= 14) {
    self->final_first_ = code == 12 ? 0 : first;
    self->ended_flag_ = true;
    self->ended_.notify_all();
  }
}

std::vector<std::int32_t> DiscReports::WaitForFinal() {
  std::unique_lock<std::mutex> lock(mutex_);
  ended_.wait(lock, [this] { return ended_flag_; });
  return codes_;
}

CommandResult RunCommand(const std::vector<std::string>& arguments) {
  CommandResult result;
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return result;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 2);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
  std::vector<char*> argv;
  for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  int spawned =
      posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  if (spawned == 0) {
    char buffer[4096];
    ssize_t n;
    while ((n = read(pipe_fds[0], buffer, sizeof buffer)) > 0) {
      result.output.append(buffer, static_cast<std::size_t>(n));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  close(pipe_fds[0]);
  return result;
}

bool HoldsInOrder(const std::vector<std::int32_t>& codes,
                  const std::vector<std::int32_t>& expected) {
  auto it = codes.begin();
  for (std::int32_t code : expected) {
    it = std::find(it, codes.end(), code);
    if (it == codes.end()) return false;
    ++it;
  }
  return true;
}

EndToEndTest::EndToEndTest()
    : drives_(temp_.path() / "drives"),
      source_(temp_.path() / "source"),
      work_(temp_.path() / "work"),
      layout_(temp_.path() / "layout.ini") {
  if (const char* value = getenv("TESSALINE_DRIVES")) {
    had_drives_ = true;
    previous_drives_ = value;
  }
  setenv("TESSALINE_DRIVES", drives_.c_str(), 1);
  fs::create_directories(work_);
  MakeContent();
  WriteLayout();
}

EndToEndTest::~EndToEndTest() {
  if (had_drives_) {
    setenv("TESSALINE_DRIVES", previous_drives_.c_str(), 1);
  } else {
    unsetenv("TESSALINE_DRIVES");
  }
}

void EndToEndTest::MakeDrive(const std::string& type,
                             const std::string& extra) {
  IMAPI_MEDIA_PHYSICAL_TYPE media = IMAPI_MEDIA_TYPE_UNKNOWN;
  ASSERT_TRUE(platform::ParseMediaTypeName(type, &media));
  std::string error;
  ASSERT_TRUE(
      platform::CreateDriveFolder(drives_.string(), "drive0", media, &error))
      << error;
  if (!extra.empty()) {
    std::string ini = ReadFile(drives_ / "drive0" / "drive.ini");
    WriteFile(drives_ / "drive0" / "drive.ini", ini + extra + "\n");
  }
}

void EndToEndTest::MakeContent() {
  WriteFile(source_ / "boot" / "etfsboot.com", std::string(2048, '\x90'));
  WriteFile(source_ / "boot" / "bcd", "copied bcd");
  WriteFile(source_ / "sources" / "boot" / "bcd", "boot configuration");
  WritePatternFile(source_ / "sources" / "install.wim", 3 * 1024 * 1024, 1);
  WriteFile(source_ / "kiro" / "plugins.xml", "<plugins/>");
  WriteFile(source_ / "kiro" / "pluginsDVD.xml", "<plugins disc='dvd'/>");
  for (int i = 0; i < 40; ++i) {
    WritePatternFile(source_ / "data" / ("folder" + std::to_string(i % 4)) /
                         ("file" + std::to_string(i) + ".bin"),
                     1000 + 777 * i, i);
  }
  WriteFile(source_ / "data" / "\xc3\xa9t\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac.txt",
            "unicode");
  WritePatternFile(source_ / "data" / "large.bin", 2 * 1024 * 1024, 99);
}

void EndToEndTest::WriteLayout() {
  WriteFile(layout_,
            "[MEDIA:RECOVERY]\r\nRECOVERY1=boot,sources,kiro\r\n"
            "RECOVERY2=data\r\n[SIZE:RECOVERY]\r\nRECOVERY1=4000000\r\n"
            "RECOVERY2=3000000\r\n");
}

Tessaline EndToEndTest::MakeCreator() {
  Tessaline creator(platform::FromUtf8(work_.string()).c_str(),
                    platform::FromUtf8(source_.string()).c_str(), L"RECOVERY");
  creator.AnalyzeLayout(platform::FromUtf8(layout_.string()).c_str());
  return creator;
}

std::vector<std::int32_t> EndToEndTest::MakeDisc(Tessaline& creator,
                                                 std::int32_t disc,
                                                 std::int32_t verify,
                                                 DiscReports* reports) {
  DiscReports local;
  DiscReports* target = reports != nullptr ? reports : &local;
  creator.SetDrive(0);
  creator.CreateDisc(disc, verify, &DiscReports::Callback, target);
  return target->WaitForFinal();
}

fs::path EndToEndTest::Ejected(int number) const {
  char name[32];
  std::snprintf(name, sizeof name, "disc-%03d.img", number);
  return drives_ / "drive0" / "ejected" / name;
}

}  // namespace tessaline::testing
