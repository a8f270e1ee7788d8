#include "platform/file_names.h"

#include <QStringDecoder>

namespace {

QString EscapedByte(unsigned char byte) {
  switch (byte) {
    case '\n':
      return QStringLiteral("\\n");
    case '\r':
      return QStringLiteral("\\r");
    case '\t':
      return QStringLiteral("\\t");
    default:
      return QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
  }
}

bool IsControl(char32_t code) { return code < 0x20 || code == 0x7f; }

// The length of the UTF-8 sequence at `at`, or 0 when the bytes there are no UTF-8 character.
int SequenceLength(const QByteArray& bytes, qsizetype at) {
  const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(bytes[i]); };
  const unsigned char lead = byte(at);
  int length = 0;
  char32_t minimum = 0;
  if (lead < 0x80) return 1;
  if ((lead & 0xe0) == 0xc0) {
    length = 2;
    minimum = 0x80;
  } else if ((lead & 0xf0) == 0xe0) {
    length = 3;
    minimum = 0x800;
  } else if ((lead & 0xf8) == 0xf0) {
    length = 4;
    minimum = 0x10000;
  } else {
    return 0;
  }
  if (bytes.size() - at < length) return 0;
  char32_t code = lead & (0x7f >> length);
  for (int i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xc0) != 0x80) return 0;
    code = (code << 6) | (byte(at + i) & 0x3f);
  }
  const bool surrogate = code >= 0xd800 && code <= 0xdfff;
  if (code < minimum || code > 0x10ffff || surrogate) return 0;
  return length;
}

}  // namespace

std::optional<QString> DecodeFileName(const QByteArray& bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
  QString name = utf8(bytes);
  if (utf8.hasError()) return std::nullopt;
  return name;
}

QString VisibleFileName(const QByteArray& bytes) {
  QString visible;
  for (qsizetype at = 0; at < bytes.size();) {
    const int length = SequenceLength(bytes, at);
    if (length == 0 || (length == 1 && IsControl(static_cast<unsigned char>(bytes[at])))) {
      visible += EscapedByte(static_cast<unsigned char>(bytes[at]));
      ++at;
      continue;
    }
    visible += QString::fromUtf8(bytes.constData() + at, length);
    at += length;
  }
  return visible;
}

QString VisibleFileName(const QString& name) { return VisibleFileName(name.toUtf8()); }
