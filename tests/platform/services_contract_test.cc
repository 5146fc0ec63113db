// The processes and volumes contracts, one suite for every system, with a
// real child program: what all backends do alike runs on POSIX and, under
// Wine, on Windows. How a child is started (window, descriptors, process
// group) and which roots are work roots really differ; those cases follow,
// each under its system.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/platform_wrapper.h"
#include "platform/text.h"
#include "support/core/temp_folder.h"
#include "support/core/test_platform.h"

#ifdef _WIN32
#include "platform/windows/win32.h"
#include "platform/windows/windows_backends.h"
#include "tessaline/tessaline.h"
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

TEST(VolumesContractTest, FreeSpaceAndTheFolderOfTheLinkedModule) {
  const auto volumes = MakeSystemVolumes();
  testing::TempFolder folder;
  std::int64_t free = -1;
  ASSERT_TRUE(volumes->FreeBytes(folder.Wide(), &free));
  EXPECT_GT(free, 0);
  // The backend is linked into this test program, which the child program
  // is built beside.
  const std::filesystem::path module(volumes->ModuleFolder());
  EXPECT_TRUE(std::filesystem::is_regular_file(
      module / testing::MakeSystemProcesses()->ProgramFileName(L"record_args")))
      << module;
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

TEST(MountTableTest, DecodesOctalEscapesAndSkipsShortLines) {
  const auto entries = posix::ParseMountTable(
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
      posix::MakeVolumes((folder.path() / "mounts").string(), sys.string());
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
  const auto volumes = posix::MakeVolumes();
  for (const std::wstring& root : volumes->CandidateWorkRoots()) {
    EXPECT_NE(root, L"/");
    EXPECT_EQ(root.back(), L'/');
    EXPECT_EQ(volumes->TypeOfRoot(root), DriveType::kFixed) << ToUtf8(root);
  }
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

  const std::string info = testing::ReadFile(folder.path() / "record.info");
  EXPECT_THAT(info, HasSubstr("group=leader\n"));
  EXPECT_THAT(info, HasSubstr("stdin=null\n"));
  EXPECT_THAT(info, HasSubstr("inherited=0\n"));
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

TEST(WindowsVolumesTest, WorkDrivesRunFromDToZ) {
  const auto roots = windows::MakeVolumes()->CandidateWorkRoots();
  ASSERT_EQ(roots.size(), 23u);
  for (std::size_t i = 0; i < roots.size(); ++i) {
    EXPECT_EQ(roots[i], Root(static_cast<wchar_t>(L'D' + i)));
  }
}

TEST(WindowsVolumesTest, DriveTypesAndFreeSpaceComeFromTheSystem) {
  const auto volumes = windows::MakeVolumes();
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

// Volumes that remember the roots whose type was asked, and report room
// only on one drive.
class SearchVolumes : public VolumesWrapper {
 public:
  SearchVolumes(std::shared_ptr<Volumes> target, wchar_t roomy)
      : VolumesWrapper(std::move(target)), roomy_(roomy) {}

  bool FreeBytes(const std::wstring& path, std::int64_t* free) override {
    std::int64_t real = 0;
    if (!VolumesWrapper::FreeBytes(path, &real)) return false;
    *free = !path.empty() && path[0] == roomy_ ? real : 0;
    return true;
  }
  DriveType TypeOfRoot(const std::wstring& root) override {
    std::lock_guard<std::mutex> lock(mutex_);
    asked_.push_back(root);
    return VolumesWrapper::TypeOfRoot(root);
  }
  std::vector<std::wstring> Asked() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return asked_;
  }

 private:
  const wchar_t roomy_;
  mutable std::mutex mutex_;
  std::vector<std::wstring> asked_;
};

TEST(WindowsVolumesTest, DriveSearchWalksTheRealLettersToAFixedDrive) {
  const std::wstring drives = FixedTestDrives();
  if (drives.size() < 2) {
    GTEST_SKIP() << "needs two letters mapped to fixed test drives";
  }
  // The first test drive is fixed but full; the second has the room.
  const wchar_t full = drives[0];
  const wchar_t roomy = drives[1];
  ASSERT_LT(full, roomy);
  testing::TempFolder folder;
  testing::WriteFile(folder.path() / "layout.ini",
                     "[MEDIA:Rec]\r\nRec1=a\r\n[SIZE:Rec]\r\nRec1=1000\r\n");
  const std::wstring work_root = Root(roomy) + L"temp\\ZeltRecovery\\";
  // An image left there by an earlier run.
  const int made = ::SHCreateDirectoryExW(nullptr, work_root.c_str(), nullptr);
  ASSERT_TRUE(made == ERROR_SUCCESS || made == ERROR_ALREADY_EXISTS) << made;
  const std::wstring stale = work_root + L"\\boot.iso";
  windows::UniqueHandle(::CreateFileW(stale.c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_READONLY,
                                      nullptr));
  ASSERT_NE(::GetFileAttributesW(stale.c_str()), INVALID_FILE_ATTRIBUTES);

  auto test = testing::MakeTestPlatform();
  auto volumes = std::make_shared<SearchVolumes>(windows::MakeVolumes(), roomy);
  test.platform->volumes = volumes;
  Tessaline creator(folder.Wide("work").c_str(), folder.Wide().c_str(), L"Rec",
                    test.platform);
  creator.AnalyzeLayout(folder.Wide("layout.ini").c_str());

  EXPECT_EQ(creator.NumDiscs(), 1u);
  const wchar_t* work = nullptr;
  creator.GetTempDir(&work);
  EXPECT_EQ(std::wstring(work), work_root);
  EXPECT_EQ(::GetFileAttributesW(stale.c_str()), INVALID_FILE_ATTRIBUTES);
  // Every letter from D on was asked, in order, up to the chosen one.
  const auto asked = volumes->Asked();
  ASSERT_EQ(asked.size(), static_cast<std::size_t>(roomy - L'D' + 1));
  for (std::size_t i = 0; i < asked.size(); ++i) {
    EXPECT_EQ(asked[i], Root(static_cast<wchar_t>(L'D' + i)));
  }
  ::RemoveDirectoryW(work_root.c_str());
  ::RemoveDirectoryW((Root(roomy) + L"temp").c_str());
}

// A program built beside the test program.
std::wstring Sibling(const std::wstring& name) {
  wchar_t self[MAX_PATH];
  const DWORD size = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring folder(self, size);
  return folder.substr(0, folder.find_last_of(L'\\') + 1) + name;
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator) {
  std::vector<std::wstring> parts(1);
  for (wchar_t c : text) {
    if (c == separator) {
      parts.emplace_back();
    } else {
      parts.back().push_back(c);
    }
  }
  return parts;
}

class WindowsProcessesTest : public ::testing::Test {
 protected:
  // The probe's record: its window state, its command line, its arguments.
  std::vector<std::wstring> ReadRecord() const {
    std::ifstream in(folder_.path() / "record.txt", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)),
                            std::istreambuf_iterator<char>());
    std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
    std::copy(bytes.begin(), bytes.begin() + text.size() * sizeof(wchar_t),
              reinterpret_cast<char*>(text.data()));
    return Split(text, L'\n');
  }

  std::wstring ProbeCommand(const std::wstring& mode) const {
    return Quoted(probe_) + L" " + Quoted(record_) + L" " + mode;
  }

  testing::TempFolder folder_;
  const std::wstring probe_ = Sibling(FromUtf8(TESSALINE_STARTUP_PROBE));
  const std::wstring record_ = folder_.Wide("record.txt");
  const std::shared_ptr<Processes> processes_ = windows::MakeProcesses();
};

TEST_F(WindowsProcessesTest, ChildStartsHiddenWithTheCommandLineUnchanged) {
  const std::wstring command = ProbeCommand(L"2") +
                               L" /B\"a b\" \"C:\\w\\Burn\" say\\\"hi\\\" "
                               L"\"dir\\\\\" plain";
  std::uint32_t error = 0;
  const auto process = processes_->Start(probe_, command, &error);
  ASSERT_NE(process, nullptr) << "error " << error;
  ASSERT_EQ(process->Wait(kPatience), WaitResult::kEnded);
  std::uint32_t code = 0;
  ASSERT_TRUE(process->ExitCode(&code));
  EXPECT_EQ(code, 2u);

  const auto record = ReadRecord();
  ASSERT_EQ(record.size(), 3u);
  EXPECT_EQ(record[0], L"show=" + std::to_wstring(SW_HIDE));
  EXPECT_EQ(record[1], command);
  // The system's own splitting, which the POSIX backend imitates.
  EXPECT_EQ(Split(record[2], L'|'),
            (std::vector<std::wstring>{probe_, record_, L"2", L"/Ba b",
                                       L"C:\\w\\Burn", L"say\"hi\"", L"dir\\",
                                       L"plain"}));
}

#endif

}  // namespace
}  // namespace tessaline::platform
