// Load and unload of tessaline.dll. The library records its own module
// handle, from which it finds the folder it was installed in (the mastering
// tool lies beside it).
//
// The library is not an extension of any application framework: there is
// no framework to register with on load or to leave on unload, and the
// library exports no COM entry points.
#include "platform/windows/win32.h"
#include "platform/windows/windows_backends.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      tessaline::platform::windows::RecordModuleHandle(instance);
      // No thread of the library needs to hear of threads it did not start.
      ::DisableThreadLibraryCalls(instance);
      break;
    case DLL_PROCESS_DETACH:
      tessaline::platform::windows::RecordModuleHandle(nullptr);
      break;
    default:
      break;
  }
  return TRUE;
}
