// What every dialog shares: Escape leaves exactly what the Cancel button leaves,
// the settings window appears in the middle of the screen, and its page titles
// can all be read at the window's own size and font.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <cstdlib>
#include <functional>
#include <memory>

#include "dialogs/addform.h"
#include "dialogs/browse.h"
#include "dialogs/dialog_globals.h"
#include "dialogs/extract.h"
#include "dialogs/info.h"
#include "dialogs/settings.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

using testsupport::readFile;

namespace {

class DialogRules : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("KELVORY_HOME", dir.path().c_str(), 1); }
  void TearDown() override { ::unsetenv("KELVORY_HOME"); }

  testsupport::TempDir dir;
  testsupport::ScriptedUi ui;
  dialogs::TSettings settings{dir / "Kelvory.Ini"};
};

// What a dialog leaves behind once it is closed.
struct Left {
  int result = -1;
  std::string extractDir, ini;
  bool cancelled = false;
  bool operator==(const Left&) const = default;
};

struct DialogCase {
  const char* name;
  std::function<std::unique_ptr<QDialog>(dialogs::TSettings&)> make;
  const char* cancelButton;
};

}  // namespace

TEST_F(DialogRules, EscapeDoesWhatCancelDoesInEveryDialog) {
  const DialogCase cases[] = {
      {"TExtract", [](dialogs::TSettings&) { return std::make_unique<TExtract>(); }, "BitBtn2"},
      {"TAddForm", [](dialogs::TSettings& s) { return std::make_unique<TAddForm>(s); }, "BitBtn2"},
      {"TF_Settings", [](dialogs::TSettings& s) { return std::make_unique<TF_Settings>(s); }, "BitBtn2"},
      {"TF_Browse", [](dialogs::TSettings&) { return std::make_unique<TF_Browse>(); }, "bu_Close"},
      {"TF_Info", [](dialogs::TSettings&) { return std::make_unique<TF_Info>("/none.zip", 0); }, "bu_Close"},
  };
  for (const DialogCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto closeBy = [&](bool escape) {
      dialogs::ExtractDir = "/earlier";
      dialogs::DialogCancelled = false;
      auto d = c.make(settings);
      d->show();
      EXPECT_TRUE(QTest::qWaitForWindowExposed(d.get()));
      if (escape) {
        QTest::keyClick(d.get(), Qt::Key_Escape);
      } else {
        auto* cancel = d->findChild<QPushButton*>(QString::fromLatin1(c.cancelButton));
        EXPECT_NE(cancel, nullptr);
        if (cancel) cancel->click();
      }
      EXPECT_FALSE(d->isVisible());
      return Left{d->result(), dialogs::ExtractDir, readFile(dir / "Kelvory.Ini"), dialogs::DialogCancelled};
    };
    const Left byCancel = closeBy(false), byEscape = closeBy(true);
    EXPECT_EQ(byEscape.result, byCancel.result);
    EXPECT_EQ(byEscape.extractDir, byCancel.extractDir);
    EXPECT_EQ(byEscape.cancelled, byCancel.cancelled);
    EXPECT_EQ(byEscape.ini, byCancel.ini);
  }
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(DialogRules, SettingsWindowIsCentredAndEveryPageTitleFits) {
  TF_Settings w(settings);
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  const QPoint screenCentre = w.screen()->availableGeometry().center();
  EXPECT_LE((w.frameGeometry().center() - screenCentre).manhattanLength(), 2);
  QTabBar* tabs = w.PageControl1->tabBar();
  ASSERT_EQ(tabs->count(), 6);
  EXPECT_EQ(tabs->font().pixelSize(), w.font().pixelSize()) << "the titles are in the window's font";
  EXPECT_LE(tabs->sizeHint().width(), tabs->width()) << "the page titles need more room than they get";
  for (int i = 0; i < tabs->count(); ++i) {
    const QRect r = tabs->tabRect(i);
    EXPECT_TRUE(tabs->rect().contains(r)) << tabs->tabText(i).toStdString() << " runs out of the bar";
    EXPECT_GE(r.width(), tabs->fontMetrics().horizontalAdvance(tabs->tabText(i).remove(QLatin1Char('&'))))
        << tabs->tabText(i).toStdString() << " is cut";
  }
}
