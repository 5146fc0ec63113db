// Tray, lock and volume control of a recorder's drive.
#ifndef TESSALINE_DRIVE_DRIVE_CONTROL_H_
#define TESSALINE_DRIVE_DRIVE_CONTROL_H_

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace tessaline {

void EjectClose(const platform::Platform& platform, std::uint32_t index,
                bool close);
// 0 when the request was sent, 1 without a drive or device.
std::int32_t DriveLock(const platform::Platform& platform, std::uint32_t index,
                       bool lock);
// Waits as long as the drive of `drive` needs to settle at `when`.
void SettleDrive(const platform::Platform& platform, const std::wstring& drive,
                 platform::Settle when);
// 0 when the sequence ran, 1 without a drive or device.
std::int32_t DismountDiscVolume(const platform::Platform& platform,
                                std::uint32_t index);

}  // namespace tessaline

#endif  // TESSALINE_DRIVE_DRIVE_CONTROL_H_
