#pragma once

#include <QString>

// `path` with its links followed; a name that does not resolve (missing, a dangling link) keeps
// its absolute form.
QString CanonicalOrAbsolutePath(const QString& path);
