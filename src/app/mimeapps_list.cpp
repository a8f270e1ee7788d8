#include "app/mimeapps_list.h"

#include <QByteArrayList>

namespace {

constexpr char kGroup[] = "[Default Applications]";

struct Lines {
  QByteArrayList lines;
  bool ends_with_newline = true;
};

Lines SplitLines(const QByteArray& bytes) {
  Lines result;
  if (bytes.isEmpty()) return result;
  result.lines = bytes.split('\n');
  result.ends_with_newline = bytes.endsWith('\n');
  if (result.ends_with_newline) result.lines.removeLast();
  return result;
}

QByteArray JoinLines(const Lines& lines) {
  QByteArray bytes = lines.lines.join('\n');
  if (!lines.lines.isEmpty() && lines.ends_with_newline) bytes.append('\n');
  return bytes;
}

bool IsGroupHeader(const QByteArray& line) { return line.trimmed().startsWith('['); }

// Index of the group's header line, or -1.
qsizetype FindGroup(const QByteArrayList& lines) {
  for (qsizetype i = 0; i < lines.size(); ++i) {
    if (lines[i].trimmed() == kGroup) return i;
  }
  return -1;
}

// Index of the line after the group's last line.
qsizetype GroupEnd(const QByteArrayList& lines, qsizetype header) {
  qsizetype end = header + 1;
  while (end < lines.size() && !IsGroupHeader(lines[end])) ++end;
  return end;
}

qsizetype FindKey(const QByteArrayList& lines, qsizetype header, const char* key) {
  const qsizetype end = GroupEnd(lines, header);
  for (qsizetype i = header + 1; i < end; ++i) {
    const qsizetype equals = lines[i].indexOf('=');
    if (equals > 0 && lines[i].left(equals).trimmed() == key) return i;
  }
  return -1;
}

bool GroupHasEntries(const QByteArrayList& lines, qsizetype header) {
  const qsizetype end = GroupEnd(lines, header);
  for (qsizetype i = header + 1; i < end; ++i) {
    if (!lines[i].trimmed().isEmpty()) return true;
  }
  return false;
}

}  // namespace

QByteArray AddDefaultApplication(const QByteArray& list, const char* mime_type,
                                 const char* desktop_id) {
  Lines lines = SplitLines(list);
  const QByteArray ours = QByteArray(desktop_id) + ';';
  qsizetype header = FindGroup(lines.lines);
  if (header < 0) {
    // A file without a final LF gets one, so the new group starts on a line of its own.
    lines.ends_with_newline = true;
    lines.lines.append(kGroup);
    header = lines.lines.size() - 1;
  }
  const qsizetype key = FindKey(lines.lines, header, mime_type);
  if (key < 0) {
    lines.lines.insert(header + 1, QByteArray(mime_type) + '=' + ours);
  } else {
    QByteArray& line = lines.lines[key];
    const qsizetype value_start = line.indexOf('=') + 1;
    if (!line.mid(value_start).trimmed().startsWith(ours)) line.insert(value_start, ours);
  }
  return JoinLines(lines);
}

QByteArray RemoveDefaultApplication(const QByteArray& list, const char* mime_type,
                                    const char* desktop_id) {
  Lines lines = SplitLines(list);
  const qsizetype header = FindGroup(lines.lines);
  if (header < 0) return list;
  const qsizetype key = FindKey(lines.lines, header, mime_type);
  if (key < 0) return list;
  const QByteArray ours = QByteArray(desktop_id) + ';';
  QByteArray& line = lines.lines[key];
  const qsizetype value_start = line.indexOf('=') + 1;
  if (!line.mid(value_start).startsWith(ours)) return list;
  line.remove(value_start, ours.size());
  if (line.mid(value_start).trimmed().isEmpty()) lines.lines.removeAt(key);
  if (!GroupHasEntries(lines.lines, header)) lines.lines.removeAt(header);
  return JoinLines(lines);
}
