// The Qt side of the seam: classic filters become Qt filters, colours keep their
// stored numbers, dialogs run through the scripted Ui, and Enter moves the focus.
#include <gtest/gtest.h>

#include <QDialog>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include "support/scripted_ui.h"
#include "widgets/qt_ui.h"
#include "widgets/routines_qt.h"

using namespace widgets;

TEST(QtUi, ClassicFiltersBecomeQtFilters) {
  EXPECT_EQ(toQtFilter("ZIP Files (*.ZIP)|*.zip"), QStringLiteral("ZIP Files (*.zip *.ZIP)"));
  EXPECT_EQ(toQtFilter("ZIP Files (*.ZIP)|*.ZIP|RAR Files (*.RAR)|*.RAR"),
            QStringLiteral("ZIP Files (*.zip *.ZIP);;RAR Files (*.rar *.RAR)"));
}

TEST(QtUi, ColoursKeepTheirStoredNumbers) {
  EXPECT_EQ(refFromColor(colorFromRef(8421376)), 8421376u);  // teal
  EXPECT_EQ(colorFromRef(0x0000FF), QColor(255, 0, 0));
}

TEST(QtUi, DialogsRunThroughTheSeam) {
  testsupport::ScriptedUi ui;
  QDialog d;
  d.setObjectName("probe");
  ui.onModal([](platform::ModalWindow& w) {
    auto& dw = static_cast<DialogWindow&>(w);
    EXPECT_EQ(dw.dialog().objectName(), QStringLiteral("probe"));
    return 7;
  });
  EXPECT_EQ(runModal(d, "TProbe"), 7);
  EXPECT_EQ(ui.modalWindows, std::vector<std::string>{"TProbe"});
  // Nothing queued: the window is not shown and counts as cancelled.
  EXPECT_EQ(runModal(d), 0);
  EXPECT_EQ(ui.unexpected.size(), 1u);
}

TEST(EnterAsTab, EnterMovesToTheNextField) {
  QWidget form;
  auto* layout = new QVBoxLayout(&form);
  auto* a = new QLineEdit;
  auto* b = new QLineEdit;
  layout->addWidget(a);
  layout->addWidget(b);
  form.show();
  form.activateWindow();
  a->setFocus();
  QApplication::processEvents();
  ASSERT_TRUE(a->hasFocus());
  int key = 13;
  EnterAsTab(&form, key);
  EXPECT_EQ(key, 0);
  QApplication::processEvents();
  EXPECT_TRUE(b->hasFocus());
  int other = 'x';
  EnterAsTab(&form, other);
  EXPECT_EQ(other, 'x');
}
