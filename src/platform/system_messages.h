#pragma once

#include "platform/message.h"

// Messages the system itself sends: to the application object when the user asks about it or
// hands it files, and when a watched program ends.
namespace command {
inline constexpr uint32_t kAboutRequested = FourCharCode("_ABR");
inline constexpr uint32_t kSomeAppQuit = FourCharCode("BRAQ");
inline constexpr uint32_t kQuitRequested = FourCharCode("_QRQ");
inline constexpr uint32_t kRefsReceived = FourCharCode("RREF");
inline constexpr uint32_t kSimpleData = FourCharCode("DATA");
}  // namespace command
