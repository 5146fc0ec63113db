// Virtual drives under the fake clock with fault-injecting disc services, a
// source, a work folder and one status log. The shared library finds the
// same drives through TESSALINE_DRIVES.
#ifndef TESSALINE_TESTS_SUPPORT_RIG_DRIVE_RIG_H_
#define TESSALINE_TESTS_SUPPORT_RIG_DRIVE_RIG_H_

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
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
  // Every object, advise and sink the code under test took is let go.
  void ExpectReleased();
  FaultDiscServices& NewDisc();

  // A drive with a blank medium of `type`; `extra` goes into its drive.ini.
  std::filesystem::path AddDrive(const std::string& name,
                                 IMAPI_MEDIA_PHYSICAL_TYPE type,
                                 const std::string& extra = "");
  // Leaves `sectors` sectors written on the drive's medium.
  void Record(const std::string& name, std::uint32_t sectors);
  std::vector<std::string> Requests(const std::string& name) const;
  // A value of the drive's medium.ini ("written", "damaged", "locked").
  std::string Medium(const std::string& name, const std::string& key) const;
  // drive0's `number`th ejected medium; a path below its mount point; a
  // file on its medium as the platform reads it there (nothing when absent).
  std::filesystem::path Ejected(int number) const;
  std::filesystem::path MountPath(const std::string& name = "") const;
  std::optional<std::string> OnDisc(const std::string& path) const;

  // A set's source and its layout: disc 1 boot, sources, kiro; disc 2 data.
  void MakeSource();
  std::wstring Wide(const std::filesystem::path& path) const;
  Tessaline SystemCreator(const std::filesystem::path& work) {
    Tessaline creator(Wide(work).c_str(), Wide(source_).c_str(), L"RECOVERY");
    creator.AnalyzeLayout(Wide(layout_).c_str());
    return creator;
  }
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
  std::optional<std::string> previous_drives_;
};

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
