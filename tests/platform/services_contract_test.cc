// The processes and volumes contracts for every system, with a real child
// program; the cases where the systems really differ follow.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/text.h"
#include "support/core/temp_folder.h"
#include "support/core/test_platform.h"

#ifdef _WIN32
#include "platform/windows/win32.h"
#include "platform/windows/windows_backends.h"
#else
#include <fcntl.h>
#include <unistd.h>

#include "platform/posix/mount_table.h"
#include "platform/posix/posix_backends.h"
#endif

namespace tessaline::platform {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::WriteFile;

// ENOENT and ERROR_FILE_NOT_FOUND.
constexpr std::uint32_t kNotFound = 2;
constexpr std::uint32_t kPatience = 60000;

std::shared_ptr<Volumes> MakeSystemVolumes() {
#ifdef _WIN32
  return windows::MakeVolumes();
#else
  return posix::MakeVolumes();
#endif
}

// The module folder is where the processes tests find their child.
TEST(VolumesContractTest, FreeSpace) {
  testing::TempFolder folder;
  std::int64_t free = -1;
  ASSERT_TRUE(MakeSystemVolumes()->FreeBytes(folder.Wide(), &free));
  EXPECT_GT(free, 0);
}

class ProcessesContractTest : public ::testing::Test {
 protected:
  // The child is built beside the test program.
  std::wstring Child() const {
    const auto volumes = MakeSystemVolumes();
    return volumes->ModuleFolder() + files_->Separator() +
           processes_->ProgramFileName(L"record_args");
  }

  // The child's arguments after its own name and record file.
  std::vector<std::string> Arguments() const {
    std::vector<std::string> parts;
    std::istringstream in(testing::ReadFile(folder_.path() / "record"));
    for (std::string part; std::getline(in, part, '\0');) parts.push_back(part);
    return parts.size() < 2
               ? parts
               : std::vector<std::string>(parts.begin() + 2, parts.end());
  }

  std::wstring CommandLine(const std::wstring& rest) const {
    return L"\"" + Child() + L"\" \"" + folder_.Wide("record") + L"\" " + rest;
  }

  testing::TempFolder folder_;
  const std::shared_ptr<Processes> processes_ = testing::MakeSystemProcesses();
  const std::shared_ptr<FileSystem> files_ = testing::MakeSystemFileSystem();
};

TEST_F(ProcessesContractTest, ChildGetsTheSplitArgumentsAndGivesItsExitCode) {
  std::uint32_t error = 0;
  const auto process = processes_->Start(
      Child(),
      CommandLine(
          L"7 /B\"a b\" \"C:\\w\\Burn\" say\\\"hi\\\" \"dir\\\\\" plain"),
      &error);
  ASSERT_NE(process, nullptr) << error;
  ASSERT_EQ(process->Wait(kPatience), WaitResult::kEnded);
  std::uint32_t code = 0;
  ASSERT_TRUE(process->ExitCode(&code));
  EXPECT_EQ(code, 7u);
  EXPECT_THAT(Arguments(), ElementsAre("7", "/Ba b", "C:\\w\\Burn", "say\"hi\"",
                                       "dir\\", "plain"));

  // A missing program gives the system's own code.
  const std::wstring absent = folder_.Wide("absent");
  EXPECT_EQ(processes_->Start(absent, L"\"" + absent + L"\" x", &error),
            nullptr);
  EXPECT_EQ(error, kNotFound);
}

TEST_F(ProcessesContractTest, WaitTimesOutUntilTerminatedWithTheGivenCode) {
  const auto process =
      processes_->Start(Child(), CommandLine(L"wait"), nullptr);
  ASSERT_NE(process, nullptr);
  EXPECT_EQ(process->Wait(0), WaitResult::kTimeout);
  std::uint32_t code = 0;
  ASSERT_TRUE(process->ExitCode(&code));
  EXPECT_EQ(code, kStillActive);

  EXPECT_TRUE(process->Terminate(255));
  EXPECT_EQ(process->Wait(kPatience), WaitResult::kEnded);
  ASSERT_TRUE(process->ExitCode(&code));
  EXPECT_EQ(code, 255u);
  // An ended process keeps its code, whatever a late Terminate answers
  // (POSIX refuses; Wine's TerminateProcess accepts).
  process->Terminate(1);
  ASSERT_TRUE(process->ExitCode(&code));
  EXPECT_EQ(code, 255u);
}

#ifndef _WIN32

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
    const char *device, *point, *type;
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
  table += "/dev/sdc1 / ext4 rw 0 0\nshort line\n";
  for (const char* name : {"a", "b c", "disk", "usb", "cd", "net", "ssh", "ram",
                           "proc", "hid", "bound"}) {
    fs::create_directories(m + name);
  }
  WriteFile(m + "file", "");
  WriteFile(folder.path() / "mounts", table);
  const auto volumes =
      posix::MakeVolumes((folder.path() / "mounts").string(), sys.string());
  auto root = [&](const std::string& name) { return FromUtf8(m + name + "/"); };

  EXPECT_EQ(volumes->CandidateWorkRoots(),
            (std::vector<std::wstring>{root("b c"), root("disk")}));
  for (const auto& [path, type] :
       std::vector<std::pair<std::wstring, DriveType>>{
           {root("disk"), DriveType::kFixed},
           {root("usb"), DriveType::kRemovable},
           {root("cd"), DriveType::kCdrom},
           {root("net"), DriveType::kRemote},
           {root("ssh"), DriveType::kRemote},
           {root("hid"), DriveType::kRemote},
           {FromUtf8(m + "ram"), DriveType::kRamDisk},
           {root("proc"), DriveType::kUnknown},
           {root("file"), DriveType::kNoRootDir},
           {FromUtf8(m), DriveType::kNoRootDir}}) {
    EXPECT_EQ(volumes->TypeOfRoot(path), type) << ToUtf8(path);
  }

  // A work folder not made yet is asked of its nearest existing parent.
  std::int64_t free = -1;
  EXPECT_TRUE(volumes->FreeBytes(folder.Wide("absent/x"), &free));
  EXPECT_GT(free, 0);
}

// Neither our standard input (a pipe here, as it could be a terminal) nor
// a descriptor of ours without close-on-exec may reach the child, which
// leads a process group of its own so that a kill reaches its children.
TEST(PosixProcessesTest, ChildStartsAloneWithNothingOfOurs) {
  testing::TempFolder folder;
  const std::wstring child = FromUtf8(TESSALINE_RECORD_ARGS);
  int input[2];
  ASSERT_EQ(pipe(input), 0);
  const int saved_input = dup(STDIN_FILENO);
  ASSERT_GE(saved_input, 0);
  dup2(input[0], STDIN_FILENO);
  const int stray = open("/dev/null", O_RDONLY);
  auto process = posix::MakeProcesses()->Start(
      child, L"\"" + child + L"\" " + folder.Wide("record") + L" 0", nullptr);
  dup2(saved_input, STDIN_FILENO);
  for (int fd : {saved_input, input[0], input[1], stray}) close(fd);
  ASSERT_NE(process, nullptr);
  EXPECT_EQ(process->Wait(60000), WaitResult::kEnded);

  EXPECT_THAT(testing::ReadFile(folder.path() / "record.info"),
              HasSubstr("group=leader\nstdin=null\ninherited=0\n"));
}

#else

// Letters that the test run mapped to folders of their own, which the
// system counts as fixed disks (TESSALINE_WINE_FIXED_DRIVES, set up by
// scripts/windows-check.sh); empty where nobody did.
std::wstring FixedTestDrives() {
  const char* letters = std::getenv("TESSALINE_WINE_FIXED_DRIVES");
  std::wstring drives;
  for (const char* c = letters; c != nullptr && *c != '\0'; ++c) {
    drives.push_back(static_cast<wchar_t>(*c));
  }
  return drives;
}

std::wstring Root(wchar_t letter) { return std::wstring{letter, L':', L'\\'}; }

// Work drives run from D to Z.
TEST(WindowsVolumesTest, WorkDrivesDriveTypesAndFreeSpaceFromTheSystem) {
  const auto volumes = windows::MakeVolumes();
  const auto roots = volumes->CandidateWorkRoots();
  ASSERT_EQ(roots.size(), 23u);
  for (std::size_t i = 0; i < roots.size(); ++i) {
    EXPECT_EQ(roots[i], Root(static_cast<wchar_t>(L'D' + i)));
  }
  testing::TempFolder folder;
  std::int64_t free = -1;
  EXPECT_EQ(volumes->TypeOfRoot(Root(folder.Wide()[0])), DriveType::kFixed);

  // A letter nobody uses has no root and cannot be asked for room.
  DWORD used = ::GetLogicalDrives();
  wchar_t unused = 0;
  for (wchar_t letter = L'Z'; letter >= L'D' && unused == 0; --letter) {
    if ((used & (1u << (letter - L'A'))) == 0) unused = letter;
  }
  ASSERT_NE(unused, 0);
  EXPECT_EQ(volumes->TypeOfRoot(Root(unused)), DriveType::kNoRootDir);
  EXPECT_FALSE(volumes->FreeBytes(Root(unused), &free));

  for (wchar_t letter : FixedTestDrives()) {
    EXPECT_EQ(volumes->TypeOfRoot(Root(letter)), DriveType::kFixed);
  }
}

TEST(WindowsVolumesTest, ModuleFolderIsTheRecordedModules) {
  const auto volumes = windows::MakeVolumes();
  wchar_t system[MAX_PATH];
  const UINT system_size = ::GetSystemDirectoryW(system, MAX_PATH);
  void* const before = windows::RecordedModuleHandle();
  windows::RecordModuleHandle(::GetModuleHandleW(L"kernel32.dll"));
  const std::wstring recorded = volumes->ModuleFolder();
  windows::RecordModuleHandle(before);
  EXPECT_EQ(::CompareStringOrdinal(recorded.c_str(), -1, system,
                                   static_cast<int>(system_size), TRUE),
            CSTR_EQUAL)
      << ::testing::PrintToString(recorded);
}

// The child starts hidden and gets the command line as it was given; the
// splitting is the contract's.
TEST(WindowsProcessesTest, ChildStartsHiddenWithTheCommandLineUnchanged) {
  testing::TempFolder folder;
  wchar_t self[MAX_PATH];
  std::wstring probe(self, ::GetModuleFileNameW(nullptr, self, MAX_PATH));
  probe = probe.substr(0, probe.find_last_of(L'\\') + 1) +
          FromUtf8(TESSALINE_STARTUP_PROBE);
  const std::wstring command =
      L"\"" + probe + L"\" \"" + folder.Wide("record.txt") + L"\" 2 /B\"a b\"";
  const auto process = windows::MakeProcesses()->Start(probe, command, nullptr);
  ASSERT_NE(process, nullptr);
  ASSERT_EQ(process->Wait(kPatience), WaitResult::kEnded);
  const std::string bytes = testing::ReadFile(folder.path() / "record.txt");
  const std::wstring record(reinterpret_cast<const wchar_t*>(bytes.data()),
                            bytes.size() / sizeof(wchar_t));
  EXPECT_EQ(record.substr(0, record.rfind(L'\n')),
            L"show=" + std::to_wstring(SW_HIDE) + L"\n" + command);
}

#endif

}  // namespace
}  // namespace tessaline::platform
