#include "form1.h"

#include <QListWidget>
#include <QPushButton>
#include <QTime>

#include "random_source.h"
#include "sigilflipper.h"

namespace {

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

// The layout is fixed in pixels at 96 dots per inch (15 twips each); Qt scales these
// device-independent pixels on high-DPI screens. Nothing follows a resize.
Form1::Form1(std::filesystem::path directory, std::unique_ptr<MessageBoxes> boxes, Clock clock)
    : List1(nullptr),
      Command1(nullptr),
      directory_(std::move(directory)),
      boxes_(std::move(boxes)),
      clock_(std::move(clock)) {
  setObjectName("Form1");
  setWindowTitle("Form1");
  resize(213, 206);

  Command1 = new QPushButton("Command1", this);
  Command1->setObjectName("Command1");
  Command1->setGeometry(52, 160, 81, 33);
  Command1->setAutoDefault(false);
  Command1->setDefault(false);

  List1 = new QListWidget(this);
  List1->setObjectName("List1");
  List1->setGeometry(12, 12, 181, 134);
  List1->setSortingEnabled(false);

  setTabOrder(Command1, List1);
  Command1->setFocus();

  connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
}

Form1::~Form1() = default;

float Form1::SecondsSinceMidnight() {
  return static_cast<float>(QTime::currentTime().msecsSinceStartOfDay()) / 1000.0f;
}

void Form1::Command1_Click() {
  sigilflip::SeededRandom random(clock_());
  sigilflip::Sigilflipper(Runes_, directory_, random, *this);
}

void Form1::ClearList() {
  List1->clear();
}

void Form1::AddListItem(std::string_view item) {
  List1->addItem(FromUtf8(item));
}

void Form1::ShowWarning(std::string_view message) {
  boxes_->Warning(this, FromUtf8(message));
}

void Form1::ShowError(std::string_view message) {
  boxes_->Error(this, FromUtf8(message));
}
