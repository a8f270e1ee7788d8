#include "encode/argument_split.h"

QStringList SplitArguments(const QString& arguments) {
  QStringList words;
  if (arguments.isEmpty()) return words;

  // Blanks and double quotes are single UTF-16 units, so walking units never splits a character.
  QString word;
  bool quoted = false;
  for (const QChar c : arguments) {
    if (c == u'"') {
      quoted = !quoted;
    } else if (c == u' ' && !quoted) {
      words.append(word);
      word.clear();
    } else {
      word.append(c);
    }
  }
  words.append(word);
  return words;
}
