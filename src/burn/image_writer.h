// Writing an ISO image file, or a folder as a UDF image, to the medium.
#ifndef TESSALINE_BURN_IMAGE_WRITER_H_
#define TESSALINE_BURN_IMAGE_WRITER_H_

#include <cstdint>
#include <memory>
#include <string>

#include "base/status.h"
#include "platform/disc.h"

namespace tessaline {

// What became of the medium, beside the returned status.
enum class WriteOutcome {
  kWritten,     // Write succeeded (later queries may still have failed)
  kCancelled,   // stopped by the cancel flag, before or during Write
  kNotWritten,  // a step failed without a cancel
};

// Throws MediaWriterException and UserNeededException.
platform::HRESULT WriteIsoImage(const platform::Platform& platform,
                                const std::wstring& image_path,
                                std::int32_t drive_index, StatusCallback notify,
                                void* context, const CancelFlag* cancel,
                                WriteOutcome* outcome = nullptr);

// `volume_name` and `boot_image_path` may be null. Throws
// MediaWriterException and UserNeededException.
platform::HRESULT WriteFolderImage(
    const platform::Platform& platform, const std::wstring& folder_path,
    std::int32_t drive_index, const wchar_t* volume_name, StatusCallback notify,
    void* context, const CancelFlag* cancel, const wchar_t* boot_image_path,
    WriteOutcome* outcome = nullptr);

// Opens the image as a stream and checks its size.
platform::HRESULT OpenIsoStream(const platform::Platform& platform,
                                std::shared_ptr<platform::IStream>* stream,
                                std::int32_t* sectors,
                                const std::wstring& image_path);

}  // namespace tessaline

#endif  // TESSALINE_BURN_IMAGE_WRITER_H_
