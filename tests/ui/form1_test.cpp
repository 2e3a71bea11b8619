#include "form1.h"

#include <QAccessible>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <filesystem>

#include "click_cases.h"
#include "files.h"
#include "form1_layout.h"

namespace {

using sigilflip::testing::ReadBytes;
using sigilflip::testing::WriteBytes;

QStringList Items(const QListWidget* list) {
  QStringList items;
  for (int row = 0; row < list->count(); ++row) {
    items << list->item(row)->text();
  }
  return items;
}

QStringList FromUtf8(const std::vector<std::string>& texts) {
  QStringList list;
  for (const std::string& text : texts) {
    list << QString::fromStdString(text);
  }
  return list;
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
    form_ = std::make_unique<Form1>(dir_,
                                    std::make_unique<sigilflip::testing::RecordedBoxes>(
                                        boxes_, [this] { return form_->List1->count(); }),
                                    [] { return sigilflip::testing::kClickSeed; });
  }

  void cleanup() {
    form_.reset();
    folder_.reset();
  }

  // A screen reader reads a frame titled Form1 and a list with a name and a description; a
  // keyboard user sees which control has the focus, the empty list too.
  void readsAsAWindowAndShowsItsFocus() {
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(form_.get());
    QCOMPARE(window->role(), QAccessible::Window);
    QCOMPARE(window->text(QAccessible::Name), QString("Form1"));
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(form_->List1);
    QCOMPARE(list->text(QAccessible::Name), QString(sigilflip::form1::kList1AccessibleName));
    QCOMPARE(list->text(QAccessible::Description),
             QString(sigilflip::form1::kList1AccessibleDescription));
    form_->show();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    const QImage listAlone = form_->List1->grab().toImage();
    const QImage buttonAlone = form_->Command1->grab().toImage();
    QTest::keyClick(form_.get(), Qt::Key_Tab);
    QVERIFY(form_->List1->hasFocus());
    QVERIFY(form_->List1->grab().toImage() != listAlone);
    QTest::keyClick(form_.get(), Qt::Key_Tab);
    QVERIFY(form_->Command1->hasFocus());
    QVERIFY(form_->Command1->grab().toImage() != buttonAlone);
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

  // The click cases that the Win32 window's tests run too.
  void click_data() {
    QTest::addColumn<int>("index");
    const auto cases = sigilflip::testing::ClickCases();
    for (std::size_t i = 0; i < cases.size(); ++i) {
      QTest::newRow(cases[i].name) << static_cast<int>(i);
    }
  }

  void click() {
    QFETCH(int, index);
    const sigilflip::testing::ClickCase test =
        sigilflip::testing::ClickCases()[static_cast<std::size_t>(index)];
    if (test.hasInput) {
      WriteBytes(dir_ / "magic.ini", test.input);
    }
    QTest::mouseClick(form_->Command1, Qt::LeftButton);
    QCOMPARE(Items(form_->List1), FromUtf8(test.items));
    QCOMPARE(std::filesystem::exists(dir_ / "magic-new.ini"), !test.output.empty());
    if (!test.output.empty()) {
      QCOMPARE(ReadBytes(dir_ / "magic-new.ini"), test.output);
    }
    QCOMPARE(boxes_.size(), test.boxes.size());
    for (std::size_t i = 0; i < test.boxes.size(); ++i) {
      QVERIFY2(boxes_[i].starts_with(test.boxes[i]), boxes_[i].c_str());
    }
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

  void errorLeavesWindowListAndFilesAsTheyWere() {
    WriteBytes(dir_ / "magic.ini", "RUNE1=a\r\n");
    form_->show();
    QTest::mouseClick(form_->Command1, Qt::LeftButton);
    const std::string earlier = ReadBytes(dir_ / "magic-new.ini");
    std::filesystem::remove(dir_ / "magic.ini");

    QTest::mouseClick(form_->Command1, Qt::LeftButton);
    QCOMPARE(boxes_.size(), std::size_t{1});
    QVERIFY2(boxes_[0].starts_with("error 1: Cannot read "), boxes_[0].c_str());
    QVERIFY(form_->isVisible());
    QCOMPARE(Items(form_->List1), QStringList{"a => a"});
    QCOMPARE(ReadBytes(dir_ / "magic-new.ini"), earlier);

    // Still usable: the next run goes through.
    WriteBytes(dir_ / "magic.ini", "RUNE1=b\r\n");
    QTest::mouseClick(form_->Command1, Qt::LeftButton);
    QCOMPARE(Items(form_->List1), QStringList{"b => b"});
  }

  // The real boxes: modal to the window, titled Sigilflip, OK only, an icon for errors alone.
  void realBoxesAreModalToTheWindow() {
    Form1 form(dir_);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QStringList shown;
    // Reads each box as it shows, and closes it.
    QTimer reader;
    connect(&reader, &QTimer::timeout, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        shown << QString("%1 %2 %3 %4 %5")
                     .arg(box->parentWidget() == &form ? "owned" : "unowned", box->windowTitle())
                     .arg(box->icon())
                     .arg(box->standardButtons() == QMessageBox::Ok ? "ok" : "other buttons",
                          box->text());
        box->accept();
      }
    });
    reader.start(10);
    WriteBytes(dir_ / "magic.ini", "RUNE1=B\r\nRUNE2=\r\nRUNE3=C\r\n");
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    std::filesystem::remove(dir_ / "magic.ini");
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown[0],
             QString("owned Sigilflip %1 ok Rune error : count = 998 : ").arg(QMessageBox::NoIcon));
    QVERIFY2(shown[1].startsWith(
                 QString("owned Sigilflip %1 ok Cannot read ").arg(QMessageBox::Critical)),
             qPrintable(shown[1]));
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
  std::vector<std::string> boxes_;
  std::unique_ptr<Form1> form_;
};

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
