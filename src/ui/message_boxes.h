#pragma once

#include <QString>

class QWidget;

// The modal message boxes of a run, behind a seam so that tests never wait on one.
class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // A warning of the check: OK button only, no icon. Returns once dismissed.
  virtual void Warning(QWidget* parent, const QString& text) = 0;
  // A run that failed: OK button only, error icon. Returns once dismissed.
  virtual void Error(QWidget* parent, const QString& text) = 0;
};

// The real boxes, titled with the application's title.
class ModalMessageBoxes final : public MessageBoxes {
 public:
  void Warning(QWidget* parent, const QString& text) override;
  void Error(QWidget* parent, const QString& text) override;
};
