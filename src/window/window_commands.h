#pragma once

#include "platform/message.h"

// The main window's own commands, the ones no tab owns.
namespace command {
inline constexpr uint32_t kClose = FourCharCode("CLOS");
inline constexpr uint32_t kReadme = FourCharCode("RDME");
}  // namespace command
