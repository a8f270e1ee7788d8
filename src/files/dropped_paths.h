#pragma once

#include <QList>
#include <QStringList>
#include <QUrl>

// The paths that dropped URLs stand for, in drop order: local files only, each with its links
// followed (the canonical path of what it points to). URLs that are not local files, names that
// do not resolve (missing, dangling links) and names whose bytes are no UTF-8 are left out; a
// line for the alert that names each of them goes to `refused`.
QStringList ResolveDroppedUrls(const QList<QUrl>& urls, QStringList* refused = nullptr);
