#include "writer/job_fixture.h"

#include "platform/text.h"

namespace tessaline::testing {
namespace {

// Starts the mastering tool through the fake processes and writes the
// image named last on its command line.
class ImageMakingProcesses : public platform::Processes {
 public:
  ImageMakingProcesses(std::shared_ptr<FakeProcesses> inner,
                       const std::string* image,
                       const std::function<void()>* on_start)
      : inner_(std::move(inner)), image_(image), on_start_(on_start) {}
  std::wstring ProgramFileName(const std::wstring& stem) override {
    return inner_->ProgramFileName(stem);
  }
  std::unique_ptr<platform::Process> Start(const std::wstring& program,
                                           const std::wstring& command_line,
                                           std::uint32_t* error) override {
    auto process = inner_->Start(program, command_line, error);
    if (process && *on_start_) (*on_start_)();
    if (process && !image_->empty()) {
      const auto end = command_line.rfind(L'"');
      const auto begin = command_line.rfind(L'"', end - 1);
      WriteFile(
          platform::ToUtf8(command_line.substr(begin + 1, end - begin - 1)),
          *image_);
    }
    return process;
  }

 private:
  std::shared_ptr<FakeProcesses> inner_;
  const std::string* image_;
  const std::function<void()>* on_start_;
};

}  // namespace

JobTest::JobTest() {
  MakeSource();
  WriteFile(temp_.path() / "module" / "oscdimg", "tool");
  WriteFile(temp_.path() / "module" / "etfsboot.com", "module boot sector");
  test_.volumes->SetModuleFolder(temp_.Wide("module"));
  test_.volumes->SetFreeBytes(L"/", std::int64_t{1} << 40);
  processes_ = std::make_shared<FakeProcesses>(test_.clock);
  processes_->Script({.run_milliseconds = 3500});
  test_.platform->processes =
      std::make_shared<ImageMakingProcesses>(processes_, &image_, &on_start_);
  WritePatternFile(temp_.path() / "image", 5 * 1024 * 1024, 1);
  image_ = ReadFile(temp_.path() / "image");
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
  settings.callback = &StatusLog::Callback;
  settings.context = &log_;
  settings.verify = verify;
  settings.cancel = cancel_;
  settings.platform = test_.platform;
  return settings;
}

void JobTest::RunJob(std::int32_t disc, std::int32_t verify,
                     const std::wstring& items, StatusLog* log) {
  JobSettings settings = Settings(disc, verify, items);
  if (log != nullptr) settings.context = log;
  MediaWriter job(settings);
  ASSERT_TRUE(job.Running());
}

}  // namespace tessaline::testing
