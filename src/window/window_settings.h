#pragma once

#include <QString>

#include "files/files_settings.h"

// The settings the main window reads: the encoder's location for every run, and the files tab's
// own. The program options tab changes them.
struct WindowSettings : FilesSettings {
  QString encoder_location;  // at most 1023 bytes of UTF-8
};
