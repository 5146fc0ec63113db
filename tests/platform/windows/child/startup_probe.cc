// A child program for the tests of process starting on Windows:
//
//   startup_probe <record file> ...
//
// writes into the record file, as UTF-16 text, "show=<wShowWindow>" when
// its start-up record asked for a window state (STARTF_USESHOWWINDOW) or
// "show=default", then its command line as it received it, each ended by a
// line feed.
#include <windows.h>
// After <windows.h>.
#include <shellapi.h>

#include <string>

int main() {
  int count = 0;
  wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (arguments == nullptr || count < 2) return 100;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  ::GetStartupInfoW(&startup);
  const std::wstring record = L"show=" +
                              ((startup.dwFlags & STARTF_USESHOWWINDOW) != 0
                                   ? std::to_wstring(startup.wShowWindow)
                                   : L"default") +
                              L"\n" + ::GetCommandLineW() + L"\n";
  HANDLE file = ::CreateFileW(arguments[1], GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ::LocalFree(arguments);
  if (file == INVALID_HANDLE_VALUE) return 101;
  DWORD written = 0;
  const auto bytes = static_cast<DWORD>(record.size() * sizeof(wchar_t));
  const BOOL ok = ::WriteFile(file, record.data(), bytes, &written, nullptr);
  ::CloseHandle(file);
  return ok && written == bytes ? 0 : 102;
}
