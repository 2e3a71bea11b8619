#include "form1.h"

#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "form1_design.h"

namespace {

constexpr float kSeed = 45296.25f;  // 12:34:56.25

// Records the boxes instead of showing them, with the list as it stood at each box.
class RecordedBoxes final : public MessageBoxes {
 public:
  struct Box {
    QString kind;
    QString text;
    int listCount;
    bool parentVisible;
  };

  explicit RecordedBoxes(std::vector<Box>& boxes) : boxes_(boxes) {}
  void Warning(QWidget* parent, const QString& text) override { Record("warning", parent, text); }
  void Error(QWidget* parent, const QString& text) override { Record("error", parent, text); }

 private:
  void Record(const QString& kind, QWidget* parent, const QString& text) {
    const auto* form = qobject_cast<Form1*>(parent);
    boxes_.push_back({kind, text, form != nullptr ? form->List1->count() : -1,
                      parent != nullptr && parent->isVisible()});
  }
  std::vector<Box>& boxes_;
};

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

QStringList Items(const QListWidget* list) {
  QStringList items;
  for (int row = 0; row < list->count(); ++row) {
    items << list->item(row)->text();
  }
  return items;
}

}  // namespace

class Form1Test : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    folder_ = std::make_unique<QTemporaryDir>();
    QVERIFY(folder_->isValid());
    dir_ = std::filesystem::path(folder_->path().toStdU16String());
    boxes_.clear();
    form_ = std::make_unique<Form1>(dir_, std::make_unique<RecordedBoxes>(boxes_),
                                    [] { return kSeed; });
  }

  void cleanup() {
    form_.reset();
    folder_.reset();
  }

  void layoutFollowsTheTwipGrid() {
    QCOMPARE(form_->windowTitle(), QString("Form1"));
    QCOMPARE(form_->size(), QSize(213, 206));
    QCOMPARE(form_->List1->geometry(), QRect(12, 12, 181, 134));
    QCOMPARE(form_->Command1->geometry(), QRect(52, 160, 81, 33));
    QCOMPARE(form_->Command1->text(), QString("Command1"));
    QCOMPARE(form_->List1->count(), 0);
    QVERIFY(!form_->List1->isSortingEnabled());
    QVERIFY(!form_->Command1->isDefault());
    QVERIFY(!form_->Command1->autoDefault());
    QCOMPARE(form_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).size(), 2);
  }

  void commandHasTheFocusAndTabGoesToTheList() {
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    QCOMPARE(form_->focusWidget(), form_->Command1);
    QCOMPARE(form_->Command1->nextInFocusChain(), form_->List1);
  }

  void clickWritesTheOutputAndFillsTheList() {
    WriteBytes(dir_ / "magic.ini", "[a]\r\nRUNE1=\xC6ther\r\nRUNE2=Fire\r\nRUNE3=Ice\r\n");
    QTest::mouseClick(form_->Command1, Qt::LeftButton);

    // The seed 12:34:56.25 draws 0.680, 0.773 and 0.353: counts 2, 2 and 1 over three runes, so
    // Æther goes to the 2nd unnamed rune (Fire), Fire to the 2nd of the rest (Ice), Ice to Æther.
    QCOMPARE(Items(form_->List1), QStringList({QString::fromUtf8("Æther => Ice"),
                                               QString::fromUtf8("Fire => Æther"), "Ice => Fire"}));
    QCOMPARE(ReadBytes(dir_ / "magic-new.ini"),
             std::string("[a]\r\nRune1=Ice\r\nRune2=\xC6ther\r\nRune3=Fire\r\n"));
    QVERIFY(boxes_.empty());
  }

  void spaceOnTheButtonClicksItAndReturnDoesNot() {
    WriteBytes(dir_ / "magic.ini", "RUNE1=a\r\n");
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    QTest::keyClick(form_->Command1, Qt::Key_Return);
    QCOMPARE(form_->List1->count(), 0);
    QTest::keyClick(form_->Command1, Qt::Key_Space);
    QCOMPARE(Items(form_->List1), QStringList{"a => a"});
  }

  void secondClickReplacesTheList() {
    WriteBytes(dir_ / "magic.ini", "RUNE1=a\r\nRUNE2=b\r\n");
    QTest::mouseClick(form_->Command1, Qt::LeftButton);
    QCOMPARE(form_->List1->count(), 2);
    WriteBytes(dir_ / "magic.ini", "RUNE1=solo\r\n");
    QTest::mouseClick(form_->Command1, Qt::LeftButton);
    QCOMPARE(Items(form_->List1), QStringList{"solo => solo"});
  }

  void warningsFollowTheFilledList() {
    // Whatever the draws, an empty name among three runes warns once, for the rune named "".
    WriteBytes(dir_ / "magic.ini", "RUNE1=B\r\nRUNE2=\r\nRUNE3=C\r\n");
    QTest::mouseClick(form_->Command1, Qt::LeftButton);
    QCOMPARE(boxes_.size(), std::size_t{1});
    QCOMPARE(boxes_[0].kind, QString("warning"));
    QCOMPARE(boxes_[0].text, QString("Rune error : count = 998 : "));
    QCOMPARE(boxes_[0].listCount, 3);
  }

  void errorLeavesWindowListAndFilesAsTheyWere() {
    WriteBytes(dir_ / "magic.ini", "RUNE1=a\r\n");
    form_->show();
    QTest::mouseClick(form_->Command1, Qt::LeftButton);
    const std::string earlier = ReadBytes(dir_ / "magic-new.ini");
    std::filesystem::remove(dir_ / "magic.ini");

    QTest::mouseClick(form_->Command1, Qt::LeftButton);
    QCOMPARE(boxes_.size(), std::size_t{1});
    QCOMPARE(boxes_[0].kind, QString("error"));
    QVERIFY2(boxes_[0].text.startsWith("Cannot read "), qPrintable(boxes_[0].text));
    QVERIFY(boxes_[0].parentVisible);
    QVERIFY(form_->isVisible());
    QCOMPARE(Items(form_->List1), QStringList{"a => a"});
    QCOMPARE(ReadBytes(dir_ / "magic-new.ini"), earlier);

    // Still usable: the next run goes through.
    WriteBytes(dir_ / "magic.ini", "RUNE1=b\r\n");
    QTest::mouseClick(form_->Command1, Qt::LeftButton);
    QCOMPARE(Items(form_->List1), QStringList{"b => b"});
  }

  void clockGivesSecondsSinceMidnight() {
    const float before = static_cast<float>(QTime::currentTime().msecsSinceStartOfDay()) / 1000;
    const float now = sigilflip::form1::SecondsSinceMidnight();
    QVERIFY(now >= 0.0f && now <= 86400.0f);
    // Local time, as Qt reads it, unless midnight passed in between.
    QVERIFY2((now >= before && now - before < 60.0f) || before - now > 86000.0f,
             qPrintable(QString("%1 then %2").arg(before).arg(now)));
  }

 private:
  std::unique_ptr<QTemporaryDir> folder_;
  std::filesystem::path dir_;
  std::vector<RecordedBoxes::Box> boxes_;
  std::unique_ptr<Form1> form_;
};

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
