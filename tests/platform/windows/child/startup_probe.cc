// A child program for the tests of process starting on Windows:
//
//   startup_probe <record file> <exit code | "wait">
//
// writes how it was started into the record file, as UTF-16 text of three
// lines: "show=<wShowWindow>" when its start-up record asked for a window
// state (STARTF_USESHOWWINDOW) or "show=default", its command line as it
// received it, and its arguments as the system split them, separated by
// "|". Then it ends with the exit code, or with "wait" waits until it is
// killed (at most a minute, so that nothing is left behind when a test
// breaks off).
#include <windows.h>
// After <windows.h>.
#include <shellapi.h>

#include <cstdlib>
#include <string>

int main() {
  int count = 0;
  wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (arguments == nullptr || count < 3) return 100;

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  ::GetStartupInfoW(&startup);
  std::wstring record = L"show=";
  record += (startup.dwFlags & STARTF_USESHOWWINDOW) != 0
                ? std::to_wstring(startup.wShowWindow)
                : L"default";
  record += L"\n";
  record += ::GetCommandLineW();
  record += L"\n";
  for (int i = 0; i < count; ++i) {
    if (i > 0) record += L"|";
    record += arguments[i];
  }

  HANDLE file = ::CreateFileW(arguments[1], GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 101;
  DWORD written = 0;
  const auto bytes = static_cast<DWORD>(record.size() * sizeof(wchar_t));
  const BOOL ok = ::WriteFile(file, record.data(), bytes, &written, nullptr);
  ::CloseHandle(file);
  if (!ok || written != bytes) return 102;

  const std::wstring mode = arguments[2];
  ::LocalFree(arguments);
  if (mode == L"wait") {
    ::Sleep(60000);
    return 103;
  }
  return std::wcstol(mode.c_str(), nullptr, 10);
}
