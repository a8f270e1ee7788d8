#pragma once

#include <QString>

#include "window/window_settings.h"

// The four settings remembered between runs, kept as extended attributes of the executable: the
// ones the window and the files tab read, and whether the list type is installed at start-up.
struct Settings : WindowSettings {
  bool self_register_mime_type = true;
};

// The default encoder: the `gogo` in the same folder as `executable_path`.
QString DefaultEncoderLocation(const QString& executable_path);

// Reads the four attributes of `executable_path`; every field missing or unreadable takes its
// default.
Settings ReadOptions(const QString& executable_path);

// Writes the four attributes. Returns false when the executable could not be opened for writing.
bool WriteOptions(const QString& executable_path, const Settings& settings);

// Whether WriteOptions can store anything on `executable_path` for this user.
bool CanWriteOptions(const QString& executable_path);
