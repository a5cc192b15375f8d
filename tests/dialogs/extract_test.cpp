// The Extract dialog leaves the folder and the three choices in the dialog globals
// on OK only, empties the folder on Cancel, keeps it when closed by the frame,
// creates new folders below the tree's folder and moves the tree with the drive box.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>
#include <cstdlib>

#include "dialogs/dialog_globals.h"
#include "dialogs/extract.h"
#include "dialogs/radiogroup.h"
#include "platform/ui.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "widgets/dirtree.h"
#include "widgets/qt_ui.h"
#include "support/param_name.h"

using testsupport::ScriptedUi;

namespace {

bool isFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

class ExtractDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("KELVORY_HOME", dir.path().c_str(), 1);
    work = dir / "work";
    ::mkdir(work.c_str(), 0755);
    // Values a previous dialog left behind.
    dialogs::ExtractDir = "/earlier";
    dialogs::ExtractWithPaths = dialogs::ExtractOverwrite = dialogs::ExtractAll = false;
    dialogs::DialogCancelled = false;
  }
  void TearDown() override {
    EXPECT_TRUE(ui.unexpected.empty()) << ui.unexpected.front();
    ::unsetenv("KELVORY_HOME");
  }

  testsupport::TempDir dir;
  ScriptedUi ui;
  std::string work;
};

}  // namespace

TEST(RadioGroup, ItemIndexFollowsTheCheckedButton) {
  TRadioGroup g(QStringLiteral("Title"), {QStringLiteral("One"), QStringLiteral("Two"), QStringLiteral("Three")});
  QSignalSpy changed(&g, &TRadioGroup::itemIndexChanged);
  EXPECT_EQ(g.ItemIndex(), -1);
  g.setItemIndex(2);
  EXPECT_EQ(g.ItemIndex(), 2);
  g.Button(0)->click();
  EXPECT_EQ(g.ItemIndex(), 0);
  EXPECT_FALSE(g.Button(2)->isChecked());
  g.setItemIndex(7);  // outside the items: none checked
  EXPECT_EQ(g.ItemIndex(), -1);
  EXPECT_FALSE(g.Button(0)->isChecked());
  EXPECT_EQ(changed.size(), 3);
  EXPECT_EQ(g.Button(3), nullptr);
  g.setItems({QStringLiteral("A")});
  EXPECT_EQ(g.Items(), QStringList{"A"});
  EXPECT_EQ(g.ItemIndex(), -1);
  g.setItemIndex(0);
  EXPECT_EQ(g.Button(0)->text(), QStringLiteral("A"));
  EXPECT_EQ(g.ItemIndex(), 0);
}

TEST_F(ExtractDialog, OkWithoutTouchingAnythingExtractsAllWithPathsAndOverwriting) {
  TExtract e;
  EXPECT_EQ(e.windowTitle(), QStringLiteral("Select Extract directory"));
  EXPECT_EQ(e.RadioGroup3->Items(), (QStringList{"All Files", "Selected Files"}));
  EXPECT_TRUE(e.BitBtn1->isDefault());
  e.SetFolder(work);
  e.show();
  e.Ch_ExtUpdate->setChecked(true);  // shown only
  e.BitBtn1->click();
  EXPECT_FALSE(dialogs::DialogCancelled);
  EXPECT_EQ(dialogs::ExtractDir, work);
  EXPECT_TRUE(dialogs::ExtractWithPaths);
  EXPECT_TRUE(dialogs::ExtractOverwrite);
  EXPECT_TRUE(dialogs::ExtractAll);
  EXPECT_EQ(e.result(), QDialog::Accepted);
}

struct Choice {
  int expand, overwrite, files;
  bool withPaths, overwriteOn, all;
};

class ExtractChoices : public ExtractDialog, public ::testing::WithParamInterface<Choice> {};

TEST_P(ExtractChoices, OkPassesTheRadioGroupsOn) {
  const Choice c = GetParam();
  TExtract e;
  e.SetFolder(work);
  e.RadioGroup1->Button(c.expand)->click();
  e.RadioGroup2->Button(c.overwrite)->click();
  e.setFilesToExtract(c.files);
  EXPECT_EQ(e.FilesToExtract(), c.files);
  e.BitBtn1Click();
  EXPECT_EQ(dialogs::ExtractWithPaths, c.withPaths);
  EXPECT_EQ(dialogs::ExtractOverwrite, c.overwriteOn);
  EXPECT_EQ(dialogs::ExtractAll, c.all);
  EXPECT_FALSE(dialogs::DialogCancelled);
}

INSTANTIATE_TEST_SUITE_P(Rows, ExtractChoices,
                         ::testing::Values(Choice{1, 1, 1, true, true, false}, Choice{0, 1, 0, false, true, true},
                                           Choice{1, 0, 0, true, false, true}, Choice{0, 0, 1, false, false, false}),
                         testsupport::namedBy([](const Choice& c) {
                           return std::string(c.withPaths ? "paths" : "flat") + (c.overwriteOn ? "_overwrite" : "") +
                                  (c.all ? "_all" : "_selected");
                         }));

TEST_F(ExtractDialog, CancelEmptiesTheFolderAndStaysCancelled) {
  TExtract e;
  e.SetFolder(work);
  dialogs::DialogCancelled = false;
  e.show();  // activation marks the dialog cancelled until OK
  EXPECT_TRUE(dialogs::DialogCancelled);
  e.BitBtn2->click();
  EXPECT_TRUE(dialogs::DialogCancelled);
  EXPECT_EQ(dialogs::ExtractDir, "");
  EXPECT_EQ(e.result(), QDialog::Rejected);
}

TEST_F(ExtractDialog, ClosingByTheFrameKeepsTheEarlierFolder) {
  TExtract e;
  e.SetFolder(work);
  e.show();
  e.close();
  EXPECT_TRUE(dialogs::DialogCancelled);
  EXPECT_EQ(dialogs::ExtractDir, "/earlier");
  EXPECT_EQ(e.result(), QDialog::Rejected);
}

TEST_F(ExtractDialog, ExecAndTheUiSeamRunIt) {
  TExtract e;
  e.SetFolder(work);
  QTimer::singleShot(0, &e, [&] { e.BitBtn1->click(); });
  EXPECT_EQ(e.exec(), QDialog::Accepted);
  EXPECT_EQ(dialogs::ExtractDir, work);

  dialogs::DialogCancelled = false;
  ui.onModal([](platform::ModalWindow& w) {
    auto& d = static_cast<widgets::DialogWindow&>(w).dialog();
    d.reject();
    return d.result();
  });
  // Even when the window is never shown, it reads as cancelled unless OK ran.
  TExtract unshown;
  EXPECT_EQ(widgets::runModal(unshown, "TExtract"), QDialog::Rejected);
  EXPECT_TRUE(dialogs::DialogCancelled);
  EXPECT_EQ(dialogs::ExtractDir, work);
}

TEST_F(ExtractDialog, NewFolderIsCreatedAndSelected) {
  TExtract e;
  e.SetFolder(work);
  ui.answerInput(std::string("fresh"));
  e.bu_NewDir->click();
  EXPECT_EQ(ui.inputs, std::vector<std::string>{"Input Box|Directory"});
  EXPECT_TRUE(isFolder(work + "/fresh"));
  EXPECT_EQ(e.Folder(), work + "/fresh");

  // Typed with its slash: used as typed, below the folder now selected.
  ui.answerInput(std::string("typed/"));
  e.bu_NewDir->click();
  EXPECT_TRUE(isFolder(work + "/fresh/typed"));
  EXPECT_EQ(e.Folder(), work + "/fresh/typed");
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ExtractDialog, CancelOfTheInputBoxCreatesNothing) {
  TExtract e;
  e.SetFolder(work);
  ui.answerInput(std::nullopt);
  e.bu_NewDir->click();
  std::string listing;
  ASSERT_EQ(testsupport::shell("ls -A '" + work + "'", &listing), 0);
  EXPECT_EQ(listing, "");
  EXPECT_EQ(e.Folder(), work);
  EXPECT_TRUE(ui.boxes.empty());
}

struct BadFolder {
  const char* name;
  const char* reason;
};

class ExtractNewFolderFails : public ExtractDialog, public ::testing::WithParamInterface<BadFolder> {};

TEST_P(ExtractNewFolderFails, ShowsAnErrorAndStaysOpen) {
  ::mkdir((work + "/exists").c_str(), 0755);
  TExtract e;
  e.SetFolder(work);
  e.show();
  ui.answerInput(std::string(GetParam().name));
  ui.answerMessage(platform::kBtnOk);
  e.bu_NewDir->click();
  ASSERT_EQ(ui.boxes.size(), 1u);
  std::string shown = GetParam().name;
  if (shown.back() == '/') shown.pop_back();
  EXPECT_EQ(ui.boxes[0].kind, platform::MsgKind::Error);
  EXPECT_EQ(ui.boxes[0].buttons, platform::kOk);
  EXPECT_EQ(ui.boxes[0].text, "Cannot create the folder " + work + "/" + shown + ": " + GetParam().reason);
  EXPECT_TRUE(e.isVisible());
  EXPECT_EQ(e.Folder(), work);
  EXPECT_TRUE(dialogs::DialogCancelled);
}

INSTANTIATE_TEST_SUITE_P(Rows, ExtractNewFolderFails,
                         ::testing::Values(BadFolder{"exists", "File exists"}, BadFolder{"exists/", "File exists"},
                                           BadFolder{"missing/child", "No such file or directory"}),
                         testsupport::namedBy([](const BadFolder& b) { return std::string(b.name); }));

TEST_F(ExtractDialog, DriveBoxListsTheRootsAndMovesTheTree) {
  const std::string home = dir / "home";
  ::mkdir(home.c_str(), 0755);
  const char* oldHome = std::getenv("HOME");
  const std::string savedHome = oldHome ? oldHome : "";
  ::setenv("HOME", home.c_str(), 1);
  {
    TExtract e;
    EXPECT_GE(e.DriveComboBox1->findText(QStringLiteral("/")), 0);
    const int homeAt = e.DriveComboBox1->findText(widgets::qs(home));
    ASSERT_GE(homeAt, 0);
    e.SetFolder(work);
    EXPECT_EQ(e.DriveComboBox1->currentText(), QStringLiteral("/"));  // the root holding the folder

    e.DriveComboBox1->setCurrentIndex(homeAt);
    EXPECT_EQ(e.Folder(), home);
    e.DriveComboBox1->setCurrentIndex(e.DriveComboBox1->findText(QStringLiteral("/")));
    EXPECT_EQ(e.Folder(), "/");

    // Moving the tree into the home folder shows that root in the box.
    e.SetFolder(home);
    EXPECT_EQ(e.DriveComboBox1->currentIndex(), homeAt);
  }
  if (oldHome)
    ::setenv("HOME", savedHome.c_str(), 1);
  else
    ::unsetenv("HOME");
}
