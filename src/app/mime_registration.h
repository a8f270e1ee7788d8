#pragma once

#include <QString>

// The list type in the user's freedesktop MIME database ($XDG_DATA_HOME): package XML, icons,
// desktop entry and default application.

enum class MimeInstallResult { AlreadyInstalled, Installed, Failed };
enum class MimeDeleteResult { Deleted, Failed, NotInstalled };

// "MIME-Typ war bereits installiert." and the other result texts.
QString ResultText(MimeInstallResult result);
QString ResultText(MimeDeleteResult result);

// Whether the MIME database (user or system) knows "text/x-Zavrik-list".
bool IsListMimeTypeInstalled();

// Installs the type, unless it is installed already (then nothing is touched): writes only the
// files and the default application line that are missing, and records what it wrote. The
// desktop entry starts `executable_path`. A failed install removes what it recorded.
MimeInstallResult InstallListMimeType(const QString& executable_path);

// Removes exactly what InstallListMimeType recorded, nothing the user had before; fails without
// touching anything when the type is known but nothing of it was written here.
MimeDeleteResult UninstallListMimeType();
