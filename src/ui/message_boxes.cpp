#include "message_boxes.h"

#include <QMessageBox>

#include "form1_design.h"

namespace {

void ShowModal(QMessageBox::Icon icon, QWidget* parent, const QString& text) {
  QMessageBox box(icon, QString::fromUtf8(sigilflip::form1::kApplicationTitle), text,
                  QMessageBox::Ok, parent);
  box.exec();
}

}  // namespace

void ModalMessageBoxes::Warning(QWidget* parent, const QString& text) {
  ShowModal(QMessageBox::NoIcon, parent, text);
}

void ModalMessageBoxes::Error(QWidget* parent, const QString& text) {
  ShowModal(QMessageBox::Critical, parent, text);
}
