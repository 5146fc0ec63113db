// The creator on the machine's own platform. Kept apart so that programs
// which inject a platform never link the system's.
#include "platform/platform.h"
#include "tessaline/tessaline.h"

Tessaline::Tessaline(const wchar_t* workFolder, const wchar_t* sourceFolder,
                     const wchar_t* mediaName)
    : Tessaline(workFolder, sourceFolder, mediaName,
                tessaline::platform::SystemPlatform()) {}
