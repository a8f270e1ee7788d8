#pragma once

#include <QString>

// `path` with its links followed; a name that does not resolve (missing, a dangling link) keeps
// its absolute form.
QString CanonicalOrAbsolutePath(const QString& path);

// Whether `path` is the file of the running program (the same file, whatever its name).
bool IsRunningExecutable(const QString& path);

// The user's XDG folder that `variable` names, or `fallback` below the home folder. A relative
// value counts as unset, as the XDG rules say: it would put the user's files into whatever folder
// Zavrik was started in.
QString XdgUserFolder(const char* variable, const char* fallback);
