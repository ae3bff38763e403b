// GoogleTest entry for the main-window suites: one QApplication for the whole run, with the
// program's own font substitutes.
#include <QApplication>
#include <gtest/gtest.h>

#include "support/MessageBox.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  InstallFontSubstitutes();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
