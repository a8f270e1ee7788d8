#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// File names reach Zavrik as bytes (the command line, the hand-over socket, dropped URLs) and
// are held as UTF-8 text. A name whose bytes are no UTF-8 cannot be held without changing it.

// The name as text, or nullopt when its bytes are not UTF-8.
std::optional<QString> DecodeFileName(const QByteArray& bytes);

// A name as a message can show it: line breaks, other control characters and bytes that are no
// UTF-8 are written as \n, \r, \t or \xNN, so nothing of the name is hidden or garbled.
QString VisibleFileName(const QByteArray& bytes);
QString VisibleFileName(const QString& name);
