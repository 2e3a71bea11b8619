#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "form1.h"
#include "form1_layout.h"
#include "game_folder.h"
#include "user_texts.h"
#include "version.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);  // takes Qt's own options out of argv
  QApplication::setApplicationName("Sigilflip");
  QApplication::setApplicationVersion(SIGILFLIP_VERSION);
  QApplication::setWindowIcon(QIcon(":/sigilflip.png"));

  // magic.ini lies in the folder handed to the program, else beside the program, wherever it is
  // started from; Qt resolves links to it. The arguments are taken as the bytes they are.
  const std::vector<std::filesystem::path> arguments(argv + 1, argv + argc);
  const auto folder = sigilflip::form1::GameFolder(
      arguments, std::filesystem::path(QCoreApplication::applicationDirPath().toStdU16String()));
  if (!folder) {
    std::fprintf(stderr, "%s\n", sigilflip::texts::kUsage);
    QMessageBox usage(QMessageBox::NoIcon, sigilflip::form1::kApplicationTitle,
                      sigilflip::texts::kUsage, QMessageBox::Ok);
    usage.exec();
    return 2;
  }
  Form1 form(*folder);
  form.show();
  return app.exec();
}
