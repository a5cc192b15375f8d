// The Qt side of the seam: classic filters become Qt filters, colours keep their
// stored numbers, dialogs run through the scripted Ui, boxes belong to the main
// window and give it the keyboard back, and Enter moves the focus.
#include <gtest/gtest.h>

#include <QDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
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

namespace {

// Answers the next box of the real Ui with its default button once it is shown,
// noting the window it belongs to; with dropFocus, the keyboard then goes to no
// window, as some window managers leave it when a window closes.
void answerNextBox(QWidget** owner, bool dropFocus) {
  QTimer::singleShot(0, [=] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    *owner = box->parentWidget();
    box->accept();
    box->hide();
    if (dropFocus) QApplication::setActiveWindow(nullptr);
  });
}

}  // namespace

TEST(QtUi, BoxesBelongToTheMainWindowAndGiveItTheKeyboardBack) {
  platform::Ui& before = platform::ui();
  installQtUi();
  QMainWindow main;
  main.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
  // No window of ours has the keyboard (another program took it): the box still
  // belongs to the main window, so it stays in front of it.
  QApplication::setActiveWindow(nullptr);
  QWidget* owner = nullptr;
  answerNextBox(&owner, false);
  platform::ui().message(platform::MsgKind::Information, {}, "first", platform::kOk);
  EXPECT_EQ(owner, &main);
  // The box closes and the keyboard goes nowhere: the main window takes it back,
  // so its shortcuts work at once.
  main.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&main));
  answerNextBox(&owner, true);
  platform::ui().message(platform::MsgKind::Information, {}, "second", platform::kOk);
  EXPECT_TRUE(QTest::qWaitForWindowActive(&main, 1000));
  platform::setUi(&before);
}
