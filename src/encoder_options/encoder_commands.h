#pragma once

#include "platform/message.h"

// The encoder options tab's one command, 'ENCO', and the sub-codes of its "encoder_what".
namespace command {
inline constexpr uint32_t kEncoderOptions = FourCharCode("ENCO");
inline constexpr uint32_t kBrowseOutputDir = FourCharCode("BROW");
inline constexpr uint32_t kOutputDirPanel = FourCharCode("DPNL");
}  // namespace command
