#include "platform/utf8_limit.h"

#include <utility>

namespace {
// Bytes of one code point in UTF-8; a lone surrogate is written as U+FFFD, three bytes.
qsizetype Utf8Width(char32_t code_point) {
  if (code_point < 0x80) return 1;
  if (code_point < 0x800) return 2;
  if (code_point < 0x10000) return 3;
  return 4;
}

// The code point starting at `index` and how many UTF-16 units it takes.
std::pair<char32_t, qsizetype> CodePointAt(const QString& text, qsizetype index) {
  const QChar unit = text.at(index);
  if (unit.isHighSurrogate() && index + 1 < text.size() && text.at(index + 1).isLowSurrogate()) {
    return {QChar::surrogateToUcs4(unit, text.at(index + 1)), 2};
  }
  return {unit.isSurrogate() ? char32_t(0xFFFD) : char32_t(unit.unicode()), 1};
}
}  // namespace

qsizetype Utf8Size(const QString& text) {
  qsizetype bytes = 0;
  for (qsizetype index = 0; index < text.size();) {
    const auto [code_point, units] = CodePointAt(text, index);
    bytes += Utf8Width(code_point);
    index += units;
  }
  return bytes;
}

QString Utf8Prefix(const QString& text, qsizetype max_bytes) {
  qsizetype bytes = 0;
  qsizetype index = 0;
  while (index < text.size()) {
    const auto [code_point, units] = CodePointAt(text, index);
    if (bytes + Utf8Width(code_point) > max_bytes) break;
    bytes += Utf8Width(code_point);
    index += units;
  }
  return text.left(index);
}
