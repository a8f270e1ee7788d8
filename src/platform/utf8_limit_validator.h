#pragma once

#include <QValidator>

class QLineEdit;

// Keeps a line edit's text within a number of UTF-8 bytes. Typed and pasted text that does not
// fit is dropped from its end, whole characters at a time, and text set by the program is cut
// at its end; the rest of the field stays as it was.
class Utf8LimitValidator : public QValidator {
  Q_OBJECT

 public:
  Utf8LimitValidator(qsizetype max_bytes, QObject* parent = nullptr);

  State validate(QString& input, int& position) const override;
  qsizetype max_bytes() const { return max_bytes_; }

 private:
  qsizetype max_bytes_;
};

// Installs a Utf8LimitValidator on `edit` and cuts its current text to fit.
void LimitUtf8Bytes(QLineEdit* edit, qsizetype max_bytes);
