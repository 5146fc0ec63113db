// The file-system image service of the disc services on POSIX: a UDF 2.01
// image builder with IMAPI2's MsftFileSystemImage behaviour as far as the
// library uses it.
//
// - File systems: UDF only. PutFileSystemsToCreate accepts exactly
//   kFileSystemUDF; any other value (ISO 9660 and Joliet included) fails
//   with IMAPI_E_INVALID_PARAM and keeps the setting in force.
// - AddTree on the root follows links, fails on loops, and is all or
//   nothing (see SourceTree::AddTree for its errors).
// - GetFileCount counts files, GetDirectoryCount directories below the
//   root (the root itself is not counted; the image's integrity descriptor
//   counts it, as UDF asks).
// - The volume name is shortened to what each UDF field holds; without
//   one, the image is named after the time it was made (YYYYMMDD_HHMMSS).
// - FreeMediaBlocks defaults to 332,800 like IMAPI2; 0 means no limit.
//   CreateResultImage fails with IMAPI_E_IMAGE_SIZE_LIMIT for an image that
//   would not fit, before anything is read.
// - Boot options may be assigned, but these images carry no El Torito
//   record: CreateResultImage then fails with IMAPI_E_BOOT_IMAGE_DATA.
//
// The result stream reads file data only as it is pulled; it fails with
// IMAPI_E_DATA_STREAM_INCONSISTENCY when a source file's size has changed
// since CreateResultImage. Changes to the image after CreateResultImage do
// not reach results made before them.
#ifndef TESSALINE_PLATFORM_UDF_UDF_IMAGE_H_
#define TESSALINE_PLATFORM_UDF_UDF_IMAGE_H_

#include <memory>

#include "platform/disc.h"

namespace tessaline::platform::udf {

std::shared_ptr<IFileSystemImage> CreateUdfFileSystemImage();

// Boot options that hold the boot image they are given (BootOptions with
// IMAPI2's defaults for platform, emulation and manufacturer).
std::shared_ptr<IBootOptions> CreateBootOptions();

}  // namespace tessaline::platform::udf

#endif  // TESSALINE_PLATFORM_UDF_UDF_IMAGE_H_
