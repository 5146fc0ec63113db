// Volumes on Windows: drive letters, GetDiskFreeSpaceExW and GetDriveTypeW.
#include <atomic>
#include <cstdint>

#include "platform/windows/win32.h"
#include "platform/windows/windows_backends.h"

namespace tessaline::platform::windows {
namespace {

std::atomic<void*> recorded_module{nullptr};

// The module that holds this code: the DLL, or the program the backend is
// linked into.
HMODULE OwnModule() {
  if (void* recorded = recorded_module.load()) {
    return static_cast<HMODULE>(recorded);
  }
  HMODULE module = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&OwnModule), &module);
  return module;
}

std::wstring ModuleFileName(HMODULE module) {
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD size = ::GetModuleFileNameW(module, name.data(),
                                            static_cast<DWORD>(name.size()));
    if (size == 0) return {};
    // A name that fills the buffer may have been cut short.
    if (size < name.size()) {
      name.resize(size);
      return name;
    }
    if (name.size() >= 32768) return {};
    name.resize(name.size() * 2);
  }
}

class WinVolumes final : public Volumes {
 public:
  bool FreeBytes(const std::wstring& path, std::int64_t* free) override {
    ULARGE_INTEGER available, total, total_free;
    if (!::GetDiskFreeSpaceExW(path.c_str(), &available, &total, &total_free)) {
      return false;
    }
    // Beyond 8 EiB the signed count saturates.
    *free = available.QuadPart > static_cast<ULONGLONG>(INT64_MAX)
                ? INT64_MAX
                : static_cast<std::int64_t>(available.QuadPart);
    return true;
  }

  DriveType TypeOfRoot(const std::wstring& root) override {
    const UINT type = ::GetDriveTypeW(root.c_str());
    return type <= DRIVE_RAMDISK ? static_cast<DriveType>(type)
                                 : DriveType::kUnknown;
  }

  // A and B were floppy drives and C holds the system; the work drives are
  // looked for from D on.
  std::vector<std::wstring> CandidateWorkRoots() override {
    std::vector<std::wstring> roots;
    for (wchar_t letter = L'D'; letter <= L'Z'; ++letter) {
      roots.push_back(std::wstring{letter, L':', L'\\'});
    }
    return roots;
  }

  std::wstring ModuleFolder() override {
    const std::wstring file = ModuleFileName(OwnModule());
    const std::size_t slash = file.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : file.substr(0, slash);
  }
};

}  // namespace

void RecordModuleHandle(void* module) { recorded_module.store(module); }
void* RecordedModuleHandle() { return recorded_module.load(); }

std::shared_ptr<Volumes> MakeVolumes() {
  return std::make_shared<WinVolumes>();
}

}  // namespace tessaline::platform::windows
