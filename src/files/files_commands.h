#pragma once

#include "platform/message.h"

// The file list's commands: the "Liste" menu, the "Dateien" tab's buttons and the results of
// the list panels.
namespace command {
inline constexpr uint32_t kNewList = FourCharCode("NWLS");
inline constexpr uint32_t kSaveList = FourCharCode("SVLS");
inline constexpr uint32_t kOpenList = FourCharCode("OPLS");
inline constexpr uint32_t kSavePanel = FourCharCode("SLPM");
inline constexpr uint32_t kOpenPanel = FourCharCode("OLPM");
inline constexpr uint32_t kAddFiles = FourCharCode("ADDF");
inline constexpr uint32_t kRemoveFiles = FourCharCode("REMV");
inline constexpr uint32_t kMoveUp = FourCharCode("MVUP");
inline constexpr uint32_t kMoveDown = FourCharCode("MVDN");
}  // namespace command
