// The numbers a host meets in the status callback: the status codes, the
// reasons of code 13 and the failure codes of code 14. Their values are
// fixed; a host compares against these names and keeps no copy of its own.
#ifndef TESSALINE_STATUS_CODES_H_
#define TESSALINE_STATUS_CODES_H_

#include <cstdint>

namespace tessaline {

// The `code` of a status report. 10 to 14 end a job; 15 comes before them.
enum StatusCode : std::int32_t {
  kStatusAssembling = 1,
  kStatusContentReady = 2,
  kStatusMakingBootImage = 3,
  kStatusWritingStarts = 4,
  kStatusInitializingHardware = 5,
  kStatusCalibratingPower = 6,
  kStatusErasing = 7,
  kStatusWriting = 8,
  kStatusVerifying = 9,
  kStatusSucceeded = 10,
  kStatusCancelled = 11,
  kStatusFailed = 12,
  kStatusUserNeeded = 13,
  kStatusVerifyFailed = 14,
  kStatusDiscFinished = 15
};

inline constexpr bool IsFinalStatus(std::int32_t code) {
  return code >= kStatusSucceeded && code <= kStatusVerifyFailed;
}

// The first value of report 13: why the user must act on the medium.
enum UserNeededReason : std::int32_t {
  kUserNeededWriteFailed = 2,
  kUserNeededEraseFailed = 3,
  kUserNeededBlankUnknown = 4
};

// The second value of report 14 when its first value (the chunk) is 0. With
// a non-zero chunk the disc and its image differ in that chunk and the code
// is data-dependent: it may equal any of these.
enum VerifyFailureCode : std::int32_t {
  // Read-back of the image.
  kVerifyWorkFolderEmpty = 1,
  kVerifyDriveNotFound = 2,
  kVerifyImageOpenFailed = 4,
  kVerifyImageSizeFailed = 5,
  kVerifyDeviceOpenFailed = 6,
  kVerifyFirstBufferFailed = 7,
  kVerifySecondBufferFailed = 8,
  // Comparison of the disc's folders with the source folder.
  kVerifyFolderDriveNotFound = 101,
  kVerifyDiscMarkerNotFound = 102,
  kVerifyItemMissingOnDisc = 103,
  kVerifyItemsMissingInSource = 104,
  kVerifyFolderTreeDiffers = 201,
  kVerifyFileFolderMissing = 202,
  kVerifyFileDiffers = 203
};

}  // namespace tessaline

#endif  // TESSALINE_STATUS_CODES_H_
