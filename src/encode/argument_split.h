#pragma once

#include <QString>
#include <QStringList>

// Splits an argument string into words. Only the blank separates; every unquoted blank ends a
// word, even an empty one. A double quote anywhere toggles quoting and is dropped; an unclosed
// quote runs to the end. The empty string gives no words. There is no escape character.
QStringList SplitArguments(const QString& arguments);
