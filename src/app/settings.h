#pragma once

#include <QString>

// The four settings remembered between runs, kept as extended attributes of the executable.
struct Settings {
  QString encoder_location;  // at most 1023 bytes of UTF-8
  bool dont_close_on_add = false;
  bool dont_clear_on_open = false;
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
