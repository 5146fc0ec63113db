#include "mastering/image_tool.h"

#include <memory>

#include "tessaline/tessaline.h"

namespace tessaline {
namespace {

constexpr std::uint32_t kPollMilliseconds = 1000;
constexpr std::uint32_t kCancelExitCode = 255;

}  // namespace

std::uint32_t RunImageTool(const platform::Platform& platform,
                           const StatusReporter& report,
                           const std::wstring& tool_path,
                           const std::wstring& arguments,
                           const CancelFlag* cancel) {
  // Only the tool's own path is quoted; the arguments are the caller's,
  // quotes and all.
  std::wstring command_line;
  command_line.reserve(tool_path.size() + arguments.size() + 3);
  command_line.append(L"\"").append(tool_path).append(L"\" ");
  command_line.append(arguments);

  const std::uint32_t start = platform.clock->TickCount();
  std::uint32_t error = 0;
  // The process handle is released on every way out, the throw of a failed
  // wait included; the tool itself is stopped on cancel and when it can no
  // longer be waited for.
  const std::unique_ptr<platform::Process> process =
      platform.processes->Start(tool_path, command_line, &error);
  if (!process) {
    platform.prompt->Show(platform.files->ErrorText(error), std::wstring());
    throw MediaWriterException(L"CreateProcess() failed");
  }

  const auto report_elapsed = [&] {
    const std::uint32_t elapsed = platform.clock->TickCount() - start;
    report(kStatusMakingBootImage, static_cast<std::intptr_t>(elapsed / 1000),
           0);
  };

  for (;;) {
    const platform::WaitResult result = process->Wait(kPollMilliseconds);
    if (result == platform::WaitResult::kEnded) {
      report_elapsed();
      break;
    }
    if (result != platform::WaitResult::kTimeout) {
      // The tool is bound to this thread's life on some systems, and must
      // not run on unwatched in any case.
      process->Terminate(kCancelExitCode);
      throw MediaWriterException(L"WaitForSingleObject() failed");
    }
    report_elapsed();
    if (IsCancelled(cancel)) {
      process->Terminate(kCancelExitCode);
      process->Wait(kPollMilliseconds);
      // 255 once the tool has gone; still active (259) if it outlived the
      // extra second, or if its code cannot be read.
      std::uint32_t exit_code = platform::kStillActive;
      if (!process->ExitCode(&exit_code)) exit_code = platform::kStillActive;
      return exit_code;
    }
  }

  // One pending message of this thread is dispatched before the code is
  // read. The wait has seen the tool end, so that code is final even when
  // it is 259: a tool may really end with that value, and asking again
  // would never change it.
  platform.prompt->PumpOneMessage();
  std::uint32_t exit_code = platform::kStillActive;
  if (!process->ExitCode(&exit_code)) exit_code = platform::kStillActive;
  return exit_code;
}

}  // namespace tessaline
