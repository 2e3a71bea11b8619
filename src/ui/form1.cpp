#include "form1.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QListWidget>
#include <QPushButton>

#include "form1_layout.h"
#include "message_boxes.h"

namespace {

namespace design = sigilflip::form1;

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Qt's device-independent pixels are pixels at 96 dots per inch; Qt scales them on high-DPI
// screens.
QRect DevicePixels(design::Rect twips) {
  const design::Rect pixels = design::Pixels(twips, 96);
  return {pixels.left, pixels.top, pixels.width, pixels.height};
}

// Form1 is read as a window (a frame titled Form1), not as a panel inside one.
QAccessibleInterface* AccessibleForm1(const QString& className, QObject* object) {
  if (className == QLatin1String("Form1") && object->isWidgetType()) {
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
  }
  return nullptr;
}

}  // namespace

// Nothing follows a resize: the controls keep their places.
Form1::Form1(std::filesystem::path directory, std::unique_ptr<MessageBoxes> boxes, Seeds seeds)
    : List1(nullptr),
      Command1(nullptr),
      state_(std::move(directory),
             boxes != nullptr ? std::move(boxes) : std::make_unique<ModalMessageBoxes>(this),
             std::move(seeds)) {
  [[maybe_unused]] static const bool accessible =  // once, for every Form1
      (QAccessible::installFactory(AccessibleForm1), true);
  setObjectName("Form1");
  setWindowTitle(design::kForm1Caption);
  const design::Size client = design::Pixels(design::kClientTwips, 96);
  resize(client.width, client.height);

  Command1 = new QPushButton(design::kCommand1Caption, this);
  Command1->setObjectName("Command1");
  Command1->setGeometry(DevicePixels(design::kCommand1Twips));
  Command1->setAutoDefault(false);
  Command1->setDefault(false);

  List1 = new QListWidget(this);
  List1->setObjectName("List1");
  List1->setGeometry(DevicePixels(design::kList1Twips));
  List1->setSortingEnabled(false);
  List1->setAccessibleName(design::kList1AccessibleName);
  List1->setAccessibleDescription(design::kList1AccessibleDescription);
  // The style marks a focused list by its current item only: an empty one would show nothing.
  List1->setStyleSheet("QListWidget:focus { border: 1px solid palette(highlight); }");

  setTabOrder(Command1, List1);
  Command1->setFocus();

  connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
}

Form1::~Form1() = default;

void Form1::Command1_Click() {
  state_.Command1_Click(*this);
}

void Form1::ShowList(const std::vector<std::string>& items) {
  QStringList texts;
  texts.reserve(static_cast<qsizetype>(items.size()));
  for (const std::string& item : items) {
    texts << FromUtf8(item);
  }
  List1->clear();
  List1->addItems(texts);
}
