// tessaline.dll itself: it loads (its entry point records the module and
// accepts the attach), exports the creator under its C++ names, and
// unloads.
#include <gtest/gtest.h>

#include <string>

#include "platform/windows/win32.h"

namespace tessaline::platform {
namespace {

TEST(WindowsLibraryTest, LoadsExportsTheCreatorAndUnloads) {
  wchar_t self[MAX_PATH];
  const DWORD size = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self, size);
  path = path.substr(0, path.rfind(L'\\') + 1) + L"tessaline.dll";

  HMODULE library = ::LoadLibraryW(path.c_str());
  ASSERT_NE(library, nullptr) << "error " << ::GetLastError();
  // Tessaline::NumDiscs() const and Tessaline::ListRecorders(vector&).
  EXPECT_NE(::GetProcAddress(library, "_ZNK9Tessaline8NumDiscsEv"), nullptr);
  EXPECT_NE(::GetProcAddress(
                library,
                "_ZN9Tessaline13ListRecordersERSt6vectorI12RecorderInfoSaIS1_"
                "EE"),
            nullptr);
  // Nothing of the library's inside is exported.
  EXPECT_EQ(::GetProcAddress(library, "DllMain"), nullptr);
  EXPECT_TRUE(::FreeLibrary(library));
}

}  // namespace
}  // namespace tessaline::platform
