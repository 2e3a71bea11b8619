#pragma once

#include "form1_click.h"

class QWidget;

// The real message boxes, modal to `parent` (none: to the application).
class ModalMessageBoxes final : public sigilflip::form1::MessageBoxes {
 public:
  explicit ModalMessageBoxes(QWidget* parent) : parent_(parent) {}
  void Warning(std::string_view text) override;
  void Error(std::string_view text) override;
  void Usage(std::string_view text) override;

 private:
  QWidget* parent_;
};
