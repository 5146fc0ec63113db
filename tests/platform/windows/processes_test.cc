// Child processes through CreateProcessW: hidden, with the command line
// unchanged; the rest is the processes contract.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/windows/win32.h"
#include "platform/windows/windows_backends.h"
#include "support/core/test_platform.h"

namespace tessaline::platform {
namespace {

constexpr std::uint32_t kPatience = 60000;

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

}  // namespace
}  // namespace tessaline::platform
