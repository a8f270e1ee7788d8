#pragma once

#include <QString>

// The MIME type of a file: its "user.mime_type" attribute or, without one, what the freedesktop
// MIME database says. Empty when the file cannot be read.
QString FileMimeType(const QString& path);

// A list file is a readable regular file whose type is exactly "text/x-Zavrik-list".
bool IsListFile(const QString& path);
