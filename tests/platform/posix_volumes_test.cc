#include <gtest/gtest.h>

#include <filesystem>

#include "platform/posix/mount_table.h"
#include "platform/posix/posix_backends.h"
#include "platform/text.h"
#include "support/core/temp_folder.h"

namespace tessaline::platform::posix {
namespace {

namespace fs = std::filesystem;
using testing::WriteFile;

TEST(MountTableTest, DecodesOctalEscapesAndSkipsShortLines) {
  const auto entries = ParseMountTable(
      "/dev/sda1 /mnt/my\\040disk ext4 rw 0 0\n\nbroken\n"
      "srv:/a\\134b /mnt/t\\011x\\0 nfs4 rw 0 0\n");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].mountPoint, "/mnt/my disk");
  EXPECT_EQ(entries[0].type, "ext4");
  EXPECT_EQ(entries[1].device, "srv:/a\\b");
  EXPECT_EQ(entries[1].mountPoint, "/mnt/t\tx\\0");
}

// A machine with a SATA disk, a USB stick, an NVMe disk without partitions
// and an optical drive, and mounts of every kind.
TEST(PosixVolumesTest, OnlyVisibleLocalDisksAreCandidatesInMountPointOrder) {
  testing::TempFolder folder;
  const fs::path sys = folder.path() / "sys";
  for (const auto& [disk, removable] : {std::pair{"sda", "0"}, {"sdb", "1"}}) {
    const fs::path part =
        sys / "devices/bus" / disk / (disk + std::string("1"));
    WriteFile(part / "partition", "1\n");
    fs::create_directories(sys / "class/block");
    fs::create_symlink(part, sys / "class/block" / part.filename());
    WriteFile(sys / "block" / disk / "removable",
              removable + std::string("\n"));
  }
  fs::create_directories(sys / "class/block/nvme0n1");
  WriteFile(sys / "block/nvme0n1/removable", "0\n");
  const std::string m = folder.path().string() + "/m/";
  struct Mount {
    const char* device;
    const char* point;
    const char* type;
  };
  std::string table;
  for (const Mount& e : {Mount{"/dev/sda1", "disk", "ext4"},
                         {"/dev/sdb1", "usb", "vfat"},
                         {"/dev/nvme0n1", "b\\040c", "xfs"},
                         {"/dev/sr0", "cd", "iso9660"},
                         {"srv:/x", "net", "nfs4"},
                         {"me@h:", "ssh", "fuse.sshfs"},
                         {"tmpfs", "ram", "tmpfs"},
                         {"proc", "proc", "proc"},
                         {"/dev/sda1", "file", "ext4"},
                         {"/dev/sda1", "gone", "ext4"},
                         {"/dev/sda1", "hid", "ext4"},
                         {"srv:/y", "hid", "nfs"},
                         {"overlay", "a", "overlay"},
                         {"/dev/sdc1", "bound", "ext4"}}) {
    table +=
        std::string(e.device) + " " + m + e.point + " " + e.type + " rw 0 0\n";
  }
  // The system's own disk, also where it is bound elsewhere, is no
  // candidate.
  table += "/dev/sdc1 / ext4 rw 0 0\n";
  for (const char* name : {"a", "b c", "disk", "usb", "cd", "net", "ssh", "ram",
                           "proc", "hid", "bound"}) {
    fs::create_directories(m + name);
  }
  WriteFile(m + "file", "");
  WriteFile(folder.path() / "mounts", table);
  const auto volumes =
      MakeVolumes((folder.path() / "mounts").string(), sys.string());
  auto root = [&](const std::string& name) { return FromUtf8(m + name + "/"); };

  EXPECT_EQ(volumes->CandidateWorkRoots(),
            (std::vector<std::wstring>{root("b c"), root("disk")}));
  EXPECT_EQ(volumes->TypeOfRoot(root("disk")), DriveType::kFixed);
  EXPECT_EQ(volumes->TypeOfRoot(root("usb")), DriveType::kRemovable);
  EXPECT_EQ(volumes->TypeOfRoot(root("cd")), DriveType::kCdrom);
  EXPECT_EQ(volumes->TypeOfRoot(root("net")), DriveType::kRemote);
  EXPECT_EQ(volumes->TypeOfRoot(root("ssh")), DriveType::kRemote);
  EXPECT_EQ(volumes->TypeOfRoot(root("hid")), DriveType::kRemote);
  EXPECT_EQ(volumes->TypeOfRoot(FromUtf8(m + "ram")), DriveType::kRamDisk);
  EXPECT_EQ(volumes->TypeOfRoot(root("proc")), DriveType::kUnknown);
  EXPECT_EQ(volumes->TypeOfRoot(root("file")), DriveType::kNoRootDir);
  EXPECT_EQ(volumes->TypeOfRoot(FromUtf8(m)), DriveType::kNoRootDir);

  // A work folder not made yet is asked of its nearest existing parent.
  std::int64_t free = -1;
  EXPECT_TRUE(volumes->FreeBytes(folder.Wide("absent/x"), &free));
  EXPECT_GT(free, 0);
}

TEST(PosixVolumesTest, ThisMachinesRootsAreFixedDisks) {
  const auto volumes = MakeVolumes();
  for (const std::wstring& root : volumes->CandidateWorkRoots()) {
    EXPECT_NE(root, L"/");
    EXPECT_EQ(root.back(), L'/');
    EXPECT_EQ(volumes->TypeOfRoot(root), DriveType::kFixed) << ToUtf8(root);
  }
}

}  // namespace
}  // namespace tessaline::platform::posix
