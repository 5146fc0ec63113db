// Virtual drives in a temporary folder under the fake clock, with the
// fault-injecting disc services over them, a source and a work folder, and
// one status log: the platform the burn, drive, writer and creator tests run
// the library on. The end-to-end tests run the shared library on the same
// drives, which it finds through TESSALINE_DRIVES.
#ifndef TESSALINE_TESTS_SUPPORT_RIG_DRIVE_RIG_H_
#define TESSALINE_TESTS_SUPPORT_RIG_DRIVE_RIG_H_

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/core/status_log.h"
#include "support/core/test_platform.h"
#include "support/rig/fault_disc_services.h"
#include "tessaline/tessaline.h"

namespace tessaline::testing {

class DriveRig : public ::testing::Test {
 protected:
  DriveRig();
  ~DriveRig() override;

  void TearDown() override { ExpectReleased(); }
  // Every object the code under test took is released, every advise
  // undone and every sink let go.
  void ExpectReleased();
  // Fresh disc services, without the faults of the last ones.
  FaultDiscServices& NewDisc();

  // Adds a drive whose tray holds a blank medium of `type`; `extra` lines
  // go first into its drive.ini ("speed=2048").
  std::filesystem::path AddDrive(const std::string& name,
                                 IMAPI_MEDIA_PHYSICAL_TYPE type,
                                 const std::string& extra = "");
  // Puts `sectors` sectors of written data on the drive's medium, as an
  // earlier write would have left them.
  void Record(const std::string& name, std::uint32_t sectors);
  // The drive's request log, one line per entry.
  std::vector<std::string> Requests(const std::string& name) const;
  // A value of the drive's medium.ini ("written", "damaged", "mounted").
  std::string Medium(const std::string& name, const std::string& key) const;
  // The medium drive0 put out of its tray as its `number`th.
  std::filesystem::path Ejected(int number) const;
  // What drive0's medium holds, as the system mounts it.
  std::filesystem::path OnDisc(const std::string& name = "") const;

  // A set's source: disc 1 takes boot, sources and kiro, disc 2 data; and
  // the layout that names them.
  void MakeSource();
  std::wstring Wide(const std::filesystem::path& path) const;
  // A creator of the set MakeSource made, on the system's platform, which
  // finds the rig's drives through TESSALINE_DRIVES.
  Tessaline SystemCreator(const std::filesystem::path& work) {
    Tessaline creator(Wide(work).c_str(), Wide(source_).c_str(), L"RECOVERY");
    creator.AnalyzeLayout(Wide(layout_).c_str());
    return creator;
  }
  // Makes `disc` on `drive` and waits for its final report.
  StatusReport MakeDisc(Tessaline& creator, std::int32_t disc,
                        std::int32_t verify, StatusLog* log = nullptr,
                        std::int32_t drive = 0) {
    StatusLog& target = log != nullptr ? *log : log_;
    creator.SetDrive(drive);
    creator.CreateDisc(disc, verify, &StatusLog::Callback, &target);
    return target.WaitForFinal();
  }

  TestPlatform test_ = MakeTestPlatform();
  StatusLog& log_ = *test_.console;
  TempFolder temp_;
  std::filesystem::path drives_ = temp_.path() / "drives";
  std::filesystem::path source_ = temp_.path() / "source";
  std::filesystem::path work_ = temp_.path() / "work";
  std::filesystem::path layout_ = temp_.path() / "layout.ini";
  std::shared_ptr<FaultDiscServices> disc_;

 private:
  std::string previous_drives_;
  bool had_drives_ = false;
};

// The output and exit status of a command.
struct CommandResult {
  int status = -1;
  std::string output;
};
CommandResult RunCommand(const std::vector<std::string>& arguments);

// Volume devices that cannot be opened.
class RefusingDevices final : public platform::DevicesWrapper {
 public:
  using DevicesWrapper::DevicesWrapper;
  std::unique_ptr<platform::Device> Open(const std::wstring&,
                                         platform::DeviceAttributes) override {
    return nullptr;
  }
};

// True when `codes` holds `expected` in that order, other codes between.
bool HoldsInOrder(const std::vector<std::int32_t>& codes,
                  const std::vector<std::int32_t>& expected);

}  // namespace tessaline::testing

#endif  // TESSALINE_TESTS_SUPPORT_RIG_DRIVE_RIG_H_
