#include "platform/utf8_limit_validator.h"

#include <QLineEdit>

#include "platform/utf8_limit.h"

Utf8LimitValidator::Utf8LimitValidator(qsizetype max_bytes, QObject* parent)
    : QValidator(parent), max_bytes_(max_bytes) {}

QValidator::State Utf8LimitValidator::validate(QString& input, int& position) const {
  if (Utf8Size(input) <= max_bytes_) return Acceptable;
  // The text before the change fitted, so whatever overflows was inserted just before the
  // cursor: cut there, and the text after the cursor keeps its place.
  const QString tail = input.mid(position);
  const qsizetype room_before_cursor = max_bytes_ - Utf8Size(tail);
  if (room_before_cursor < 0) {
    input = Utf8Prefix(input, max_bytes_);
    position = int(input.size());
    return Acceptable;
  }
  const QString head = Utf8Prefix(input.left(position), room_before_cursor);
  input = head + tail;
  position = int(head.size());
  return Acceptable;
}

void LimitUtf8Bytes(QLineEdit* edit, qsizetype max_bytes) {
  edit->setValidator(new Utf8LimitValidator(max_bytes, edit));
  if (Utf8Size(edit->text()) > max_bytes) edit->setText(Utf8Prefix(edit->text(), max_bytes));
}
