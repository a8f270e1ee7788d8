#pragma once

#include <QString>

// The number of bytes `text` takes in UTF-8.
qsizetype Utf8Size(const QString& text);

// The longest start of `text` whose UTF-8 form takes at most `max_bytes` bytes. The cut falls
// between characters, so no multi-byte sequence or surrogate pair is split.
QString Utf8Prefix(const QString& text, qsizetype max_bytes);
