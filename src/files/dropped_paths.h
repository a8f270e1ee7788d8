#pragma once

#include <QList>
#include <QStringList>
#include <QUrl>

// The paths that dropped URLs stand for, in drop order: local files only, each with its links
// followed (the canonical path of what it points to). URLs that are not local files, and names
// that do not resolve (missing, dangling links), are left out.
QStringList ResolveDroppedUrls(const QList<QUrl>& urls);
