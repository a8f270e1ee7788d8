#pragma once

#include "platform/message.h"

// Messages the system itself sends: to the application object when the user asks about it or
// hands it files, and when a watched program ends.
namespace command {
inline constexpr uint32_t kAboutRequested = FourCharCode("_ABR");
inline constexpr uint32_t kSomeAppQuit = FourCharCode("BRAQ");
inline constexpr uint32_t kQuitRequested = FourCharCode("_QRQ");
inline constexpr uint32_t kRefsReceived = FourCharCode("RREF");
// Handed names whose bytes are no UTF-8, made visible under "names".
inline constexpr uint32_t kNamesNotUtf8 = FourCharCode("NUTF");
inline constexpr uint32_t kSimpleData = FourCharCode("DATA");
}  // namespace command
