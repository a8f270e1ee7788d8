#pragma once

#include "platform/message.h"

// The program options tab's commands: its controls and its path panel's result.
namespace command {
inline constexpr uint32_t kLocateEncoder = FourCharCode("LOCG");
inline constexpr uint32_t kEncoderPathPanel = FourCharCode("LOGP");
inline constexpr uint32_t kEncoderLocationChanged = FourCharCode("LOCM");
inline constexpr uint32_t kDontCloseOnAdd = FourCharCode("DCOA");
inline constexpr uint32_t kDontClearOnOpen = FourCharCode("DCOO");
inline constexpr uint32_t kSelfRegisterMimeType = FourCharCode("SRMT");
inline constexpr uint32_t kRegisterMimeTypeNow = FourCharCode("RMTN");
inline constexpr uint32_t kUnregisterMimeTypeNow = FourCharCode("UMTN");
}  // namespace command
