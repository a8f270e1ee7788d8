#pragma once

#include "platform/message.h"

// The encoding run's commands: "Kodieren!" and the progress window's two buttons.
namespace command {
inline constexpr uint32_t kEncode = FourCharCode("ENCD");
inline constexpr uint32_t kSkip = FourCharCode("SKIP");
inline constexpr uint32_t kStop = FourCharCode("STOP");
}  // namespace command
