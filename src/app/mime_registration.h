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

// Installs the type, unless it is installed already (then nothing is touched). The desktop
// entry starts `executable_path`.
MimeInstallResult InstallListMimeType(const QString& executable_path);

// Removes exactly what InstallListMimeType wrote.
MimeDeleteResult UninstallListMimeType();
