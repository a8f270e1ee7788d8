#pragma once

#include <QString>

#include "window/window_settings.h"

// The four settings remembered between runs, kept as extended attributes of the executable (or,
// where this user may not write it, in the user's settings file): the ones the window and the
// files tab read, and whether the list type is installed at start-up.
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

// The file that keeps this user's settings where the executable cannot:
// $XDG_CONFIG_HOME/zavrik/settings, under ~/.config when XDG_CONFIG_HOME is unset or relative.
QString UserSettingsFile();

// `base` with every field that the settings file `file` holds in place of its own. A missing or
// unreadable file, a missing line or a malformed value leaves that field of `base`.
Settings ReadUserOptions(const QString& file, Settings base);

// Replaces `file` with the four fields, atomically, creating its folder. Returns false when
// nothing could be written (the old file, if any, is then left as it was).
bool WriteUserOptions(const QString& file, const Settings& settings);

// Whether WriteUserOptions can create or replace `file` for this user.
bool CanWriteUserOptions(const QString& file);

// The settings of this user: the executable's attributes where this user may write the
// executable; elsewhere the settings file over what the executable holds, so a user without a
// file of their own starts from the executable's values.
Settings LoadSettings(const QString& executable_path, const QString& user_file);

// Stores the settings where LoadSettings reads them. Returns false when neither the executable
// nor the settings file could be written.
bool SaveSettings(const QString& executable_path, const QString& user_file,
                  const Settings& settings);

// Whether SaveSettings can keep anything for this user.
bool CanSaveSettings(const QString& executable_path, const QString& user_file);
