#include "app/mime_registration.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>

#include "app/mimeapps_list.h"
#include "files/list_file.h"
#include "platform/paths.h"

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

QString DataHome() { return XdgUserFolder("XDG_DATA_HOME", "/.local/share"); }

QString ConfigHome() { return XdgUserFolder("XDG_CONFIG_HOME", "/.config"); }

// The user's data folder, then the system's, without relative ones.
QStringList DataFolders() {
  QStringList folders = {DataHome()};
  QString system = qEnvironmentVariable("XDG_DATA_DIRS");
  if (system.isEmpty()) system = QStringLiteral("/usr/local/share:/usr/share");
  for (const QString& folder : system.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
    if (folder.startsWith(QLatin1Char('/'))) folders.append(folder);
  }
  return folders;
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

// What installing wrote, kept in a small record file so that deleting removes exactly that and
// nothing the user had before (an own desktop entry, icons of an installation into the user's
// prefix, a default application line). Each line names one item: a file below $XDG_DATA_HOME,
// or kDefaultLineItem for the line in mimeapps.list. Only the items installing can write are
// ever taken from it, so an edited record cannot make deleting remove anything else.
constexpr char kRecordFile[] = "zavrik/installed-list-type";
constexpr char kDefaultLineItem[] = "mimeapps.list";

QStringList InstallableFiles() {
  QStringList files = {QLatin1String(kPackageFile), QLatin1String(kDesktopFile)};
  for (const IconCopy& icon : kIcons) files << QLatin1String(icon.target);
  return files;
}

QByteArray FileContents(const QString& file, const QString& executable_path) {
  if (file == QLatin1String(kPackageFile)) return PackageXml();
  if (file == QLatin1String(kDesktopFile)) return DesktopEntry(executable_path);
  for (const IconCopy& icon : kIcons) {
    if (file == QLatin1String(icon.target)) {
      QFile source(QString::fromLatin1(icon.resource));
      if (source.open(QIODevice::ReadOnly)) return source.readAll();
    }
  }
  return {};
}

QStringList ReadRecord() {
  QFile record(InDataHome(kRecordFile));
  QStringList items;
  if (!record.open(QIODevice::ReadOnly)) return items;
  const QStringList known = InstallableFiles() << QLatin1String(kDefaultLineItem);
  while (!record.atEnd()) {
    const QString item = QString::fromUtf8(record.readLine()).trimmed();
    if (known.contains(item) && !items.contains(item)) items << item;
  }
  return items;
}

// Writes the record, or removes it when it names nothing.
bool WriteRecord(const QStringList& items) {
  if (items.isEmpty()) {
    const bool removed = RemoveIfPresent(InDataHome(kRecordFile));
    QDir(DataHome()).rmdir(QFileInfo(QLatin1String(kRecordFile)).path());
    return removed;
  }
  QByteArray bytes = "# Written by Zavrik: what installing the list type wrote.\n";
  for (const QString& item : items) bytes += item.toUtf8() + '\n';
  return WriteAtomically(InDataHome(kRecordFile), bytes);
}

// Whether our default line is there as installing puts it: our entry first.
bool HasDefaultLine() {
  QByteArray bytes;
  return ReadWholeFile(MimeAppsListPath(), bytes) &&
         AddDefaultApplication(bytes, kListMimeType, kDesktopId) == bytes;
}

// Removes every recorded item; the record keeps what could not be removed. False when
// something stays.
bool RemoveRecordedItems() {
  QStringList left;
  for (const QString& item : ReadRecord()) {
    const bool removed = item == QLatin1String(kDefaultLineItem)
                             ? EditMimeAppsList(false)
                             : RemoveIfPresent(DataHome() + QLatin1Char('/') + item);
    if (!removed) left << item;
  }
  return WriteRecord(left) && left.isEmpty();
}

// Writes what is missing and records it before writing, so that even an install cut short
// leaves a record of everything it may have written. Recorded items that are gone by now are
// dropped from the record; those still there stay ours.
bool WriteMissingItems(const QString& executable_path) {
  QStringList items;
  for (const QString& item : ReadRecord()) {
    const bool still_there = item == QLatin1String(kDefaultLineItem)
                                 ? HasDefaultLine()
                                 : QFileInfo::exists(DataHome() + QLatin1Char('/') + item);
    if (still_there) items << item;
  }
  QStringList missing;
  for (const QString& file : InstallableFiles()) {
    if (!QFileInfo::exists(DataHome() + QLatin1Char('/') + file)) missing << file;
  }
  const bool add_default_line = !HasDefaultLine();
  items << missing;
  if (add_default_line) items << QLatin1String(kDefaultLineItem);
  if (!WriteRecord(items)) return false;
  for (const QString& file : std::as_const(missing)) {
    const QByteArray bytes = FileContents(file, executable_path);
    if (bytes.isEmpty() || !WriteAtomically(DataHome() + QLatin1Char('/') + file, bytes)) {
      return false;
    }
  }
  return !add_default_line || EditMimeAppsList(true);
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
  for (const QString& folder : DataFolders()) {
    if (TypesFileListsListType(folder + QStringLiteral("/mime/types"))) return true;
  }
  return false;
}

MimeInstallResult InstallListMimeType(const QString& executable_path) {
  if (IsListMimeTypeInstalled()) return MimeInstallResult::AlreadyInstalled;
  if (WriteMissingItems(executable_path) && UpdateMimeDatabase() && IsListMimeTypeInstalled()) {
    return MimeInstallResult::Installed;
  }
  // Leave nothing half installed behind, and nothing of the user's removed.
  RemoveRecordedItems();
  UpdateMimeDatabase();
  return MimeInstallResult::Failed;
}

MimeDeleteResult UninstallListMimeType() {
  if (!IsListMimeTypeInstalled()) return MimeDeleteResult::NotInstalled;
  // Known, but nothing of it written by this program: installed for all users or by the user's
  // own hand, which is not ours to undo; leave the user's folder as it is.
  if (ReadRecord().isEmpty()) return MimeDeleteResult::Failed;
  const bool removed = RemoveRecordedItems();
  const bool updated = UpdateMimeDatabase();
  // A type that another package (a system folder's, or the user's own) also installs stays
  // known; deleting it has then failed.
  if (!removed || !updated || IsListMimeTypeInstalled()) return MimeDeleteResult::Failed;
  return MimeDeleteResult::Deleted;
}
