// Child processes on Windows: CreateProcessW with a hidden window.
#include <vector>

#include "platform/windows/win32.h"
#include "platform/windows/windows_backends.h"

namespace tessaline::platform::windows {
namespace {

// One job object for every child of this process, whose handle stays open
// until the process ends: the system then closes it, and closing the last
// handle kills whatever still runs in it. A tool never outlives its starter.
HANDLE ChildrenJob() {
  static const HANDLE job = [] {
    HANDLE created = ::CreateJobObjectW(nullptr, nullptr);
    if (created == nullptr) return created;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!::SetInformationJobObject(created, JobObjectExtendedLimitInformation,
                                   &limits, sizeof limits)) {
      ::CloseHandle(created);
      return HANDLE{nullptr};
    }
    return created;
  }();
  return job;
}

class WinProcess final : public Process {
 public:
  explicit WinProcess(UniqueHandle process) : process_(std::move(process)) {}

  WaitResult Wait(std::uint32_t milliseconds) override {
    switch (::WaitForSingleObject(process_.get(), milliseconds)) {
      case WAIT_OBJECT_0:
        return WaitResult::kEnded;
      case WAIT_TIMEOUT:
        return WaitResult::kTimeout;
      default:
        return WaitResult::kFailed;
    }
  }

  bool Terminate(std::uint32_t exit_code) override {
    return ::TerminateProcess(process_.get(), exit_code) != FALSE;
  }

  bool ExitCode(std::uint32_t* code) override {
    DWORD exit_code = 0;
    if (!::GetExitCodeProcess(process_.get(), &exit_code)) return false;
    *code = exit_code;
    return true;
  }

 private:
  UniqueHandle process_;
};

class WinProcesses final : public Processes {
 public:
  std::wstring ProgramFileName(const std::wstring& stem) override {
    return stem + L".exe";
  }

  std::unique_ptr<Process> Start(const std::wstring& program,
                                 const std::wstring& command_line,
                                 std::uint32_t* error) override {
    // CreateProcessW may write into the command line.
    std::vector<wchar_t> writable(command_line.begin(), command_line.end());
    writable.push_back(L'\0');

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION created{};
    // Suspended until it is in the job, so that nothing it starts escapes.
    if (!::CreateProcessW(program.c_str(), writable.data(), nullptr, nullptr,
                          FALSE, NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED,
                          nullptr, nullptr, &startup, &created)) {
      if (error != nullptr) *error = ::GetLastError();
      return nullptr;
    }
    const HANDLE job = ChildrenJob();
    if (job != nullptr) ::AssignProcessToJobObject(job, created.hProcess);
    ::ResumeThread(created.hThread);
    // Only the process is waited for; its first thread is not needed.
    ::CloseHandle(created.hThread);
    return std::make_unique<WinProcess>(UniqueHandle(created.hProcess));
  }
};

}  // namespace

std::shared_ptr<Processes> MakeProcesses() {
  return std::make_shared<WinProcesses>();
}

}  // namespace tessaline::platform::windows
