#include "message_boxes.h"

#include <QMessageBox>

#include "form1_layout.h"

namespace {

void ShowModal(QMessageBox::Icon icon, QWidget* parent, std::string_view text) {
  QMessageBox box(icon, QString::fromUtf8(sigilflip::form1::kApplicationTitle),
                  QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                  QMessageBox::Ok, parent);
  box.exec();
}

}  // namespace

void ModalMessageBoxes::Warning(std::string_view text) {
  ShowModal(QMessageBox::NoIcon, parent_, text);
}

void ModalMessageBoxes::Error(std::string_view text) {
  ShowModal(QMessageBox::Critical, parent_, text);
}

void ModalMessageBoxes::Usage(std::string_view text) {
  ShowModal(QMessageBox::NoIcon, parent_, text);
}
