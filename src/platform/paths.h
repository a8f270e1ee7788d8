#pragma once

#include <QString>

// `path` with its links followed; a name that does not resolve (missing, a dangling link) keeps
// its absolute form.
QString CanonicalOrAbsolutePath(const QString& path);

// Whether `path` is the file of the running program (the same file, whatever its name).
bool IsRunningExecutable(const QString& path);
