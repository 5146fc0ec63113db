#include "writer/job_fixture.h"

#include "platform/text.h"

namespace tessaline::testing {

JobTest::JobTest() {
  MakeSource();
  WriteFile(temp_.path() / "module" / "oscdimg", "tool");
  WriteFile(temp_.path() / "module" / "etfsboot.com", "module boot sector");
  test_.volumes->SetModuleFolder(temp_.Wide("module"));
  test_.volumes->SetFreeBytes(L"/", std::int64_t{1} << 40);
  processes_ = std::make_shared<FakeProcesses>(test_.clock);
  // The image is named last on the tool's command line.
  tool_ = {.run_milliseconds = 3500,
           .on_start = [this](const std::wstring& command_line) {
             if (on_start_) on_start_();
             if (image_.empty()) return;
             const auto end = command_line.rfind(L'"');
             const auto begin = command_line.rfind(L'"', end - 1);
             WriteFile(platform::ToUtf8(
                           command_line.substr(begin + 1, end - begin - 1)),
                       image_);
           }};
  processes_->Script(tool_);
  test_.platform->processes = processes_;
  WritePatternFile(temp_.path() / "image", 5 * 1024 * 1024, 1);
  image_ = ReadFile(temp_.path() / "image");
  AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDPLUSR, "settle=10,6");
}

JobSettings JobTest::Settings(std::int32_t disc, std::int32_t verify,
                              const std::wstring& items, StatusLog* log) {
  return {.workFolder = Work(),
          .sourceFolder = Source(),
          .disc = disc,
          .items = items,
          .mediaName = media_,
          .callback = &StatusLog::Callback,
          .context = log != nullptr ? log : &log_,
          .verify = verify,
          .cancel = cancel_,
          .platform = test_.platform};
}

void JobTest::RunJob(std::int32_t disc, std::int32_t verify,
                     const std::wstring& items, StatusLog* log) {
  MediaWriter job(Settings(disc, verify, items, log));
  ASSERT_TRUE(job.Running());
}

}  // namespace tessaline::testing
