// GoogleTest entry for the main-window suites: one QApplication for the whole run, with the
// same font substitutes as the program.
#include <QApplication>
#include <QFont>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans"));
  QFont::insertSubstitution(QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
