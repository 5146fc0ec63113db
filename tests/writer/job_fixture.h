// A writer job on a virtual drive: real temporary folders for the work,
// source and module folders; drive0 with a blank DVD+R; fake processes
// whose mastering tool leaves an image.
#ifndef TESSALINE_TESTS_WRITER_JOB_FIXTURE_H_
#define TESSALINE_TESTS_WRITER_JOB_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "support/drive/fake_processes.h"
#include "support/rig/drive_rig.h"
#include "writer/media_writer.h"

namespace tessaline::testing {

// Reports of one job, with the text of code 12 read during the call.
class JobLog {
 public:
  static void Callback(std::int32_t code, std::intptr_t first,
                       std::intptr_t second, void* context);

  std::vector<StatusReport> Reports() const;
  std::vector<std::int32_t> Codes() const;
  // The reports whose code is one of the final codes 10 to 14.
  int FinalReports() const;
  std::wstring FailureText() const;
  // Runs inside the callback, after the report is recorded.
  void SetHook(std::function<void(const StatusReport&)> hook);

 private:
  mutable std::mutex mutex_;
  std::vector<StatusReport> reports_;
  std::wstring failure_text_;
  std::function<void(const StatusReport&)> hook_;
};

// Starts the mastering tool through the fake processes and, as the real
// tool would, writes the image named last on its command line.
class ImageMakingProcesses : public platform::Processes {
 public:
  explicit ImageMakingProcesses(std::shared_ptr<FakeProcesses> inner)
      : inner_(std::move(inner)) {}
  std::wstring ProgramFileName(const std::wstring& stem) override {
    return inner_->ProgramFileName(stem);
  }
  std::unique_ptr<platform::Process> Start(const std::wstring& program,
                                           const std::wstring& command_line,
                                           std::uint32_t* error) override;

  // The bytes the tool writes; none: the tool leaves no image.
  std::vector<std::uint8_t> image;
  bool leave_image = true;
  // Runs when the tool starts, before it writes the image.
  std::function<void()> on_start;

 private:
  std::shared_ptr<FakeProcesses> inner_;
};

class JobTest : public DriveRig {
 protected:
  JobTest();

  // Runs one job to its end (the job's destructor joins its thread),
  // reporting to `log`, log_ by default.
  void RunJob(std::int32_t disc, std::int32_t verify, const std::wstring& items,
              JobLog* log = nullptr);
  JobSettings Settings(std::int32_t disc, std::int32_t verify,
                       const std::wstring& items);

  std::wstring Work(const std::string& name = "") const;
  std::wstring Source(const std::string& name = "") const;
  std::filesystem::path SourcePath(const std::string& name) const;
  std::filesystem::path DiscPath(const std::string& name = "") const;
  std::filesystem::path WorkPath(const std::string& name = "") const;
  // A source with boot, sources and kiro, as disc 1 of a set has.
  void MakeBootSource();

  std::shared_ptr<FakeProcesses> processes_;
  std::shared_ptr<ImageMakingProcesses> tool_;
  std::shared_ptr<CancelFlag> cancel_ = std::make_shared<CancelFlag>(0);
  JobLog log_;
  std::wstring media_ = L"RECOVERY";
};

FakeProcessScript ToolRun(std::uint32_t milliseconds, std::uint32_t exit_code);
std::vector<std::uint8_t> PatternBytes(std::size_t size, std::uint32_t seed);

}  // namespace tessaline::testing

#endif  // TESSALINE_TESTS_WRITER_JOB_FIXTURE_H_
