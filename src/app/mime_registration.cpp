#include "app/mime_registration.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

#include "app/mimeapps_list.h"
#include "files/list_file.h"

namespace {

constexpr char kPackageFile[] = "mime/packages/zavrik-list.xml";
constexpr char kDesktopFile[] = "applications/zavrik.desktop";
constexpr char kDesktopId[] = "zavrik.desktop";
constexpr int kUpdateTimeoutMs = 60000;

// An icon copied out of the program's resources into the user's icon theme.
struct IconCopy {
  const char* resource;
  const char* target;  // below $XDG_DATA_HOME
};

constexpr IconCopy kIcons[] = {
    {":/icons/text-x-Zavrik-list-32.png", "icons/hicolor/32x32/mimetypes/text-x-Zavrik-list.png"},
    {":/icons/text-x-Zavrik-list-16.png", "icons/hicolor/16x16/mimetypes/text-x-Zavrik-list.png"},
    {":/icons/zavrik-32.png", "icons/hicolor/32x32/apps/zavrik.png"},
    {":/icons/zavrik-16.png", "icons/hicolor/16x16/apps/zavrik.png"},
};

QString DataHome() { return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation); }

QString ConfigHome() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

QString InDataHome(const char* relative) {
  return DataHome() + QLatin1Char('/') + QLatin1String(relative);
}

QString MimeAppsListPath() { return ConfigHome() + QStringLiteral("/mimeapps.list"); }

QByteArray PackageXml() {
  return QByteArrayLiteral(
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
             "  <mime-type type=\"") +
         kListMimeType +
         QByteArrayLiteral(
             "\">\n"
             "    <comment>Zavrik list</comment>\n"
             "    <sub-class-of type=\"text/plain\"/>\n"
             "    <icon name=\"text-x-Zavrik-list\"/>\n"
             "    <glob pattern=\"*.zvk\"/>\n"
             "    <magic priority=\"60\">\n"
             "      <match type=\"string\" offset=\"0\" value=\"") +
         kListFileHeader +
         QByteArrayLiteral(
             "\"/>\n"
             "    </magic>\n"
             "  </mime-type>\n"
             "</mime-info>\n");
}

// One argument of a desktop entry's Exec key: quoted, with the characters that are special
// inside quotes escaped, then escaped once more as a desktop entry value.
QString DesktopExecArgument(const QString& path) {
  QString quoted;
  for (const QChar c : path) {
    if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
        c == QLatin1Char('\\')) {
      quoted += QLatin1Char('\\');
    }
    quoted += c;
  }
  quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
  quoted.replace(QLatin1Char('%'), QStringLiteral("%%"));
  quoted.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
  quoted.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
  return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QByteArray DesktopEntry(const QString& executable_path) {
  const QString entry =
      QStringLiteral(
          "[Desktop Entry]\n"
          "Type=Application\n"
          "Name=Zavrik\n"
          "GenericName=MP3-Kodierer\n"
          "Comment=WAVE-Dateien in MP3-Dateien umwandeln\n"
          "Exec=%1 %F\n"
          "Icon=zavrik\n"
          "Terminal=false\n"
          "Categories=AudioVideo;Audio;\n"
          "MimeType=%2;\n")
          .arg(DesktopExecArgument(executable_path), QLatin1String(kListMimeType));
  return entry.toUtf8();
}

bool WriteAtomically(const QString& path, const QByteArray& bytes) {
  if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
  QSaveFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

bool CopyResource(const char* resource, const QString& target) {
  QFile source(QString::fromLatin1(resource));
  if (!source.open(QIODevice::ReadOnly)) return false;
  return WriteAtomically(target, source.readAll());
}

// Removes a file this program wrote; one that is already gone counts as removed.
bool RemoveIfPresent(const QString& path) {
  return !QFileInfo::exists(path) || QFile::remove(path);
}

bool ReadWholeFile(const QString& path, QByteArray& bytes) {
  QFile file(path);
  if (!file.exists()) {
    bytes.clear();
    return true;
  }
  if (!file.open(QIODevice::ReadOnly)) return false;
  bytes = file.readAll();
  return file.error() == QFileDevice::NoError;
}

bool EditMimeAppsList(bool add) {
  const QString path = MimeAppsListPath();
  QByteArray bytes;
  if (!ReadWholeFile(path, bytes)) return false;
  const QByteArray edited = add ? AddDefaultApplication(bytes, kListMimeType, kDesktopId)
                                : RemoveDefaultApplication(bytes, kListMimeType, kDesktopId);
  if (edited == bytes) return true;
  if (edited.trimmed().isEmpty()) return RemoveIfPresent(path);
  return WriteAtomically(path, edited);
}

// Rebuilds the user's MIME database from its packages.
bool UpdateMimeDatabase() {
  const QString mime_folder = DataHome() + QStringLiteral("/mime");
  if (!QDir().mkpath(mime_folder + QStringLiteral("/packages"))) return false;
  QProcess update;
  update.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  update.setStandardOutputFile(QProcess::nullDevice());
  update.start(QStringLiteral("update-mime-database"), {mime_folder});
  if (!update.waitForFinished(kUpdateTimeoutMs)) {
    update.kill();
    update.waitForFinished();
    return false;
  }
  return update.exitStatus() == QProcess::NormalExit && update.exitCode() == 0;
}

// Removes every file that installing writes; false when one of them stays.
bool RemoveInstalledFiles() {
  bool removed = RemoveIfPresent(InDataHome(kPackageFile));
  removed = RemoveIfPresent(InDataHome(kDesktopFile)) && removed;
  for (const IconCopy& icon : kIcons) removed = RemoveIfPresent(InDataHome(icon.target)) && removed;
  removed = EditMimeAppsList(false) && removed;
  return removed;
}

bool WriteInstalledFiles(const QString& executable_path) {
  bool written = WriteAtomically(InDataHome(kPackageFile), PackageXml());
  written = written && WriteAtomically(InDataHome(kDesktopFile), DesktopEntry(executable_path));
  for (const IconCopy& icon : kIcons) {
    written = written && CopyResource(icon.resource, InDataHome(icon.target));
  }
  return written && EditMimeAppsList(true);
}

bool TypesFileListsListType(const QString& path) {
  QFile types(path);
  if (!types.open(QIODevice::ReadOnly)) return false;
  while (!types.atEnd()) {
    if (types.readLine().trimmed() == kListMimeType) return true;
  }
  return false;
}

}  // namespace

QString ResultText(MimeInstallResult result) {
  switch (result) {
    case MimeInstallResult::AlreadyInstalled:
      return QStringLiteral("MIME-Typ war bereits installiert.");
    case MimeInstallResult::Installed:
      return QStringLiteral("MIME-Typ erfolgreich installiert.");
    case MimeInstallResult::Failed:
      break;
  }
  return QStringLiteral("Fehler beim Installieren des MIME-Typs.");
}

QString ResultText(MimeDeleteResult result) {
  switch (result) {
    case MimeDeleteResult::Deleted:
      return QStringLiteral("MIME-Typ erfolgreich gelöscht.");
    case MimeDeleteResult::NotInstalled:
      return QStringLiteral("MIME-Typ kann nicht gelöscht werden; er war nicht installiert.");
    case MimeDeleteResult::Failed:
      break;
  }
  return QStringLiteral("Fehler beim Löschen des MIME-Typs.");
}

bool IsListMimeTypeInstalled() {
  // The generated "types" files, not QMimeDatabase: it caches what it read before.
  const QStringList folders =
      QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
  for (const QString& folder : folders) {
    if (TypesFileListsListType(folder + QStringLiteral("/mime/types"))) return true;
  }
  return false;
}

MimeInstallResult InstallListMimeType(const QString& executable_path) {
  if (IsListMimeTypeInstalled()) return MimeInstallResult::AlreadyInstalled;
  if (WriteInstalledFiles(executable_path) && UpdateMimeDatabase() && IsListMimeTypeInstalled()) {
    return MimeInstallResult::Installed;
  }
  // Leave nothing half installed behind.
  RemoveInstalledFiles();
  UpdateMimeDatabase();
  return MimeInstallResult::Failed;
}

MimeDeleteResult UninstallListMimeType() {
  if (!IsListMimeTypeInstalled()) return MimeDeleteResult::NotInstalled;
  // Known without our package in the user's folder: installed for all users, which the user
  // cannot undo; leave the user's folder as it is.
  if (!QFile::exists(InDataHome(kPackageFile))) return MimeDeleteResult::Failed;
  const bool removed = RemoveInstalledFiles();
  const bool updated = UpdateMimeDatabase();
  // A type that a system folder also installs stays known; deleting it has then failed.
  if (!removed || !updated || IsListMimeTypeInstalled()) return MimeDeleteResult::Failed;
  return MimeDeleteResult::Deleted;
}
