// Virtual drives in a temporary folder, on the test platform's fake clock,
// with the fault-injecting disc services over them: the platform the burn
// and drive tests run the library on.
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
#include "tessaline/media_types.h"

namespace tessaline::testing {

class DriveRig : public ::testing::Test {
 protected:
  DriveRig();

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
  // A file on the medium of drive0 as the platform reads it below the
  // drive's mount point; nothing when it is not there.
  std::optional<std::string> OnDisc(const std::string& path) const;

  TestPlatform test_ = MakeTestPlatform();
  TempFolder temp_;
  std::filesystem::path drives_;
  std::shared_ptr<FaultDiscServices> disc_;
  StatusLog log_;
};

}  // namespace tessaline::testing

#endif  // TESSALINE_TESTS_SUPPORT_RIG_DRIVE_RIG_H_
