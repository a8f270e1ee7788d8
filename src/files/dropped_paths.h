#pragma once

#include <QList>
#include <QStringList>
#include <QUrl>

// The paths that dropped URLs stand for, in drop order: local files only, each with its links
// followed (the canonical path of what it points to). URLs that are not local files, and names
// that do not resolve (missing, dangling links), are left out. Names whose bytes are no UTF-8
// are left out too and, made visible, go to `not_utf8`.
QStringList ResolveDroppedUrls(const QList<QUrl>& urls, QStringList* not_utf8 = nullptr);
