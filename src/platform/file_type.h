#pragma once

#include <QString>

// The type that marks list files, in the file's attributes and in the MIME database.
inline constexpr char kListMimeType[] = "text/x-Zavrik-list";

// The MIME type of a file: its "user.mime_type" attribute or, without one, the list type for a
// "*.zvk" name or a list's header line, otherwise what the freedesktop MIME database says.
// Empty when the file cannot be read.
QString FileMimeType(const QString& path);

// A list file is a readable regular file whose type is exactly kListMimeType.
bool IsListFile(const QString& path);
