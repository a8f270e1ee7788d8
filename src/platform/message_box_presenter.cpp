#include "platform/message_box_presenter.h"

#include <QMessageBox>
#include <QPushButton>

int MessageBoxPresenter::Go(const Alert& alert) {
  QMessageBox box(parent_);
  box.setObjectName(alert.id);
  box.setWindowTitle(QStringLiteral("Zavrik"));
  // Paths and file names in the text are never markup.
  box.setTextFormat(Qt::PlainText);
  box.setText(alert.text);
  if (!alert.details.isEmpty()) box.setDetailedText(alert.details);
  box.setIcon(alert.kind == Alert::Kind::Stop ? QMessageBox::Critical : QMessageBox::Information);
  // Every desktop's button convention keeps action buttons in the order they were added; two
  // accept buttons would swap places on GNOME and XFCE.
  QList<QAbstractButton*> buttons;
  for (const QString& label : alert.buttons) {
    buttons.append(box.addButton(label, QMessageBox::ActionRole));
  }
  if (!buttons.isEmpty()) {
    box.setDefaultButton(qobject_cast<QPushButton*>(buttons.last()));
    box.setEscapeButton(buttons.last());
  }
  box.exec();
  const int pressed = buttons.indexOf(box.clickedButton());
  // Closing the box without a button counts as the last button (cancel-like).
  return pressed >= 0 ? pressed : int(buttons.size()) - 1;
}
