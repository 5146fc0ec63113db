#include "writer/job_fixture.h"

#include <filesystem>

#include "platform/text.h"

namespace tessaline::testing {
namespace fs = std::filesystem;

void JobLog::Callback(std::int32_t code, std::intptr_t first,
                      std::intptr_t second, void* context) {
  auto* log = static_cast<JobLog*>(context);
  std::function<void(const StatusReport&)> hook;
  StatusReport report{code, first, second};
  {
    std::lock_guard<std::mutex> lock(log->mutex_);
    if (code == kStatusFailed) {
      log->failure_text_ = reinterpret_cast<const wchar_t*>(first);
      report.first = 0;  // the address means nothing after the call
    }
    log->reports_.push_back(report);
    hook = log->hook_;
  }
  if (hook) hook(report);
}

std::vector<StatusReport> JobLog::Reports() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return reports_;
}

std::vector<std::int32_t> JobLog::Codes() const {
  // The drive gives as many write progress reports as it likes.
  std::vector<std::int32_t> codes;
  for (const auto& report : Reports()) {
    if (report.code == kStatusWriting && !codes.empty() &&
        codes.back() == kStatusWriting) {
      continue;
    }
    codes.push_back(report.code);
  }
  return codes;
}

int JobLog::FinalReports() const {
  int count = 0;
  for (const auto& report : Reports()) {
    if (report.code >= kStatusSucceeded && report.code <= kStatusVerifyFailed) {
      ++count;
    }
  }
  return count;
}

std::wstring JobLog::FailureText() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return failure_text_;
}

void JobLog::SetHook(std::function<void(const StatusReport&)> hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  hook_ = std::move(hook);
}

std::unique_ptr<platform::Process> ImageMakingProcesses::Start(
    const std::wstring& program, const std::wstring& command_line,
    std::uint32_t* error) {
  auto process = inner_->Start(program, command_line, error);
  if (process && on_start) on_start();
  if (process && leave_image) {
    // The image is the last quoted argument.
    auto end = command_line.rfind(L'"');
    auto begin = command_line.rfind(L'"', end - 1);
    fs::path path(
        platform::ToUtf8(command_line.substr(begin + 1, end - begin - 1)));
    WriteFile(path, std::string(image.begin(), image.end()));
  }
  return process;
}

FakeProcessScript ToolRun(std::uint32_t milliseconds, std::uint32_t exit_code) {
  FakeProcessScript script;
  script.run_milliseconds = milliseconds;
  script.exit_code = exit_code;
  return script;
}

std::vector<std::uint8_t> PatternBytes(std::size_t size, std::uint32_t seed) {
  std::vector<std::uint8_t> bytes(size);
  std::uint32_t state = seed * 2654435761u + 7;
  for (auto& byte : bytes) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  return bytes;
}

JobTest::JobTest() {
  fs::create_directories(temp_.path() / "work");
  fs::create_directories(temp_.path() / "source");
  WriteFile(temp_.path() / "module" / "oscdimg", "tool");
  WriteFile(temp_.path() / "module" / "etfsboot.com", "module boot sector");
  test_.volumes->SetModuleFolder(temp_.Wide("module"));
  test_.volumes->SetFreeBytes(L"/", std::int64_t{1} << 40);

  processes_ = std::make_shared<FakeProcesses>(test_.clock);
  processes_->Script(ToolRun(3500, 0));
  tool_ = std::make_shared<ImageMakingProcesses>(processes_);
  tool_->image = PatternBytes(5 * 1024 * 1024, 1);
  test_.platform->processes = tool_;
  // Settles as a real recorder does, so the job's waits show.
  AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDPLUSR, "settle=10,6");
}

JobSettings JobTest::Settings(std::int32_t disc, std::int32_t verify,
                              const std::wstring& items) {
  JobSettings settings;
  settings.workFolder = Work();
  settings.sourceFolder = Source();
  settings.disc = disc;
  settings.items = items;
  settings.mediaName = media_;
  settings.recorderIndex = 0;
  settings.callback = &JobLog::Callback;
  settings.context = &log_;
  settings.verify = verify;
  settings.cancel = cancel_;
  settings.platform = test_.platform;
  return settings;
}

void JobTest::RunJob(std::int32_t disc, std::int32_t verify,
                     const std::wstring& items, JobLog* log) {
  JobSettings settings = Settings(disc, verify, items);
  if (log != nullptr) settings.context = log;
  MediaWriter job(settings);
  ASSERT_TRUE(job.Running());
}

std::wstring JobTest::Work(const std::string& name) const {
  return temp_.Wide(name.empty() ? "work" : "work/" + name);
}

std::wstring JobTest::Source(const std::string& name) const {
  return temp_.Wide(name.empty() ? "source" : "source/" + name);
}

fs::path JobTest::SourcePath(const std::string& name) const {
  return temp_.path() / "source" / name;
}

fs::path JobTest::DiscPath(const std::string& name) const {
  const fs::path mount = drives_ / "drive0" / "mount";
  return name.empty() ? mount : mount / name;
}

fs::path JobTest::WorkPath(const std::string& name) const {
  return name.empty() ? temp_.path() / "work" : temp_.path() / "work" / name;
}

void JobTest::MakeBootSource() {
  WriteFile(SourcePath("boot/etfsboot.com"), "source boot sector");
  WriteFile(SourcePath("boot/bcd"), "copied bcd");
  WriteFile(SourcePath("sources/boot/bcd"), "boot configuration");
  WriteFile(SourcePath("sources/install.wim"), "image");
  WriteFile(SourcePath("kiro/plugins.xml"), "<plugins/>");
  WriteFile(SourcePath("kiro/pluginsDVD.xml"), "<plugins disc='dvd'/>");
}

}  // namespace tessaline::testing
