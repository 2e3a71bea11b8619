#include <QApplication>
#include <QIcon>
#include <filesystem>

#include "form1.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Sigilflip");
  QApplication::setApplicationVersion("1.00");
  QApplication::setWindowIcon(QIcon(":/sigilflip.png"));

  // magic.ini lies beside the program, wherever it is started from; Qt resolves links to it.
  Form1 form(std::filesystem::path(QCoreApplication::applicationDirPath().toStdU16String()));
  form.show();
  return app.exec();
}
