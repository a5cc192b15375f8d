// The search windows: what the result window shows (count text, lines, the empty
// row), what Open and "Add file(s) to archive" hand to the main window after
// sorting, and Abort, which shows no result and leaves the working folder alone.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <ctime>
#include <filesystem>
#include <optional>

#include "dialogs/search.h"
#include "dialogs/settings_model.h"
#include "platform/datetime.h"
#include "platform/pump.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "support/without_permission_override.h"
#include "widgets/sortgrid.h"

using testsupport::ScriptedUi;

namespace {

// What the result window showed when a search ended.
struct Shown {
  std::string label;
  std::vector<QStringList> rows;  // data rows
  bool openVisible = false, filesVisible = false;
};

class SearchWindow : public ::testing::Test {
 protected:
  SearchWindow() {
    actions.OpenArchive = [this](const std::string& path) {
      opened.push_back(path);
      return openSucceeds;
    };
    actions.AddRefused = [this] { return addRefused; };
  }

  // A search window over dir for pattern, whose result window is handed to onResult.
  std::unique_ptr<TF_Search> make(int mode, const std::string& pattern, bool recursive = true) {
    actions.SearchMode = mode;
    auto form = std::make_unique<TF_Search>(settings, actions);
    form->ed_Startin->setText(QString::fromStdString(dir.path()));
    form->ed_file->setText(QString::fromStdString(pattern));
    form->ch_Recursive->setChecked(recursive);
    form->ShowResult = [this](TF_Result& r) {
      Shown s;
      s.label = r.la_Result->text().toStdString();
      for (int row = 1; row < r.StringGrid1->RowCount(); ++row) s.rows.push_back(r.StringGrid1->Rows(row));
      s.openVisible = !r.bu_Open->isHidden();
      s.filesVisible = !r.bu_Files->isHidden();
      shown = s;
      if (onResult) onResult(r);
    };
    return form;
  }

  static std::string today() {
    return platform::formatDateTime(platform::displayDateFormat(), platform::fromUnixTime(std::time(nullptr)));
  }

  testsupport::TempDir dir;
  ScriptedUi ui;
  dialogs::TSettings settings{dir / "Kelvory.Ini"};
  TSearchActions actions;
  std::vector<std::string> opened;
  bool openSucceeds = true;
  bool addRefused = false;
  std::optional<Shown> shown;
  std::function<void(TF_Result&)> onResult;
};

TEST_F(SearchWindow, NothingFoundShowsCountZeroAndOneEmptyRowThatOpensNothing) {
  dir.write("notes.txt", "x");
  auto form = make(1, "*.zip");
  onResult = [](TF_Result& r) { r.StringGrid1DblClick(); };
  form->bu_StartClick();
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->label, "0 files matching *.zip found");
  ASSERT_EQ(shown->rows.size(), 1u);
  EXPECT_EQ(shown->rows[0], (QStringList{"", "", ""}));
  EXPECT_TRUE(shown->openVisible);
  EXPECT_FALSE(shown->filesVisible);
  EXPECT_TRUE(opened.empty());
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(form->result(), QDialog::Rejected) << "the search window stays open";
}

TEST_F(SearchWindow, ResultLinesHoldPathDateAndSizeAndRecursiveOffStaysInTheStartFolder) {
  dir.write("A.ZIP", "12345");
  dir.write("sub/b.zip", "1");
  auto form = make(1, "*.zip", false);
  form->bu_StartClick();
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->label, "1 files matching *.zip found");
  EXPECT_EQ(form->ResultList, std::vector<std::string>{dir / "A.ZIP;" + today() + ";5"});
  ASSERT_EQ(shown->rows.size(), 1u);
  EXPECT_EQ(shown->rows[0], (QStringList{QString::fromStdString(dir / "A.ZIP"), QString::fromStdString(today()), "5"}));

  form->ch_Recursive->setChecked(true);
  form->bu_StartClick();
  EXPECT_EQ(shown->label, "2 files matching *.zip found");
}

TEST_F(SearchWindow, OpenActsOnTheRowShownAfterSortingAndClosesBothWindows) {
  dir.write("big.zip", std::string(300, 'x'));
  dir.write("small.ZIP", "x");
  dir.write("mid.zip", std::string(20, 'x'));
  auto form = make(1, "*.zip");
  std::string shownFirst;
  onResult = [&](TF_Result& r) {
    r.StringGrid1->SortByColumn(2, {skNumeric, soDescending});
    r.StringGrid1->GoToCell(0, 1);
    shownFirst = r.StringGrid1->Cells(0, 1).toStdString();
    r.StringGrid1DblClick();
    EXPECT_EQ(r.result(), QDialog::Accepted);
  };
  form->bu_StartClick();
  EXPECT_EQ(shownFirst, dir / "big.zip");
  EXPECT_EQ(opened, std::vector<std::string>{dir / "big.zip"});
  EXPECT_EQ(form->result(), QDialog::Accepted);
  EXPECT_TRUE(ui.boxes.empty()) << "a .zip or .ZIP opens without a question";
}

TEST_F(SearchWindow, AnotherKindIsOpenedOnlyWhenTheUserSaysYesAndAFailedOpenKeepsTheWindows) {
  dir.write("data.arc", "x");
  auto form = make(1, "*.arc");
  openSucceeds = false;
  onResult = [&](TF_Result& r) {
    ui.answerMessage(platform::kBtnNo);
    r.StringGrid1DblClick();
    EXPECT_TRUE(opened.empty());
    ui.answerMessage(platform::kBtnYes);
    r.bu_Open->click();
    EXPECT_EQ(opened, std::vector<std::string>{dir / "data.arc"});
    EXPECT_EQ(r.result(), QDialog::Rejected) << "the archive did not open";
  };
  form->bu_StartClick();
  EXPECT_EQ(ui.boxTexts(), (std::vector<std::string>(2, "This may not be a valid Zipfile, try open it anyway?")));
  EXPECT_EQ(ui.boxes[0].kind, platform::MsgKind::Confirmation);
  EXPECT_EQ(form->result(), QDialog::Rejected);
}

TEST_F(SearchWindow, AddFilesHandsBackTheSelectedRowsTopToBottom) {
  dir.write("a.txt", "1");
  dir.write("b.txt", "22");
  dir.write("c.txt", "333");
  auto form = make(2, "*.txt");
  onResult = [&](TF_Result& r) {
    EXPECT_FALSE(r.bu_Open->isVisibleTo(&r));
    r.StringGrid1->SortByColumn(0, {skText, soDescending});  // c, b, a
    addRefused = true;
    r.bu_FilesClick();
    EXPECT_EQ(r.result(), QDialog::Rejected) << "refused: nothing happens";
    addRefused = false;
    r.StringGrid1->setSelection({0, 1, 2, 2});
    r.bu_Files->click();
  };
  form->bu_StartClick();
  ASSERT_TRUE(shown);
  EXPECT_TRUE(shown->filesVisible);
  EXPECT_EQ(form->FilesToAdd, (std::vector<std::string>{dir / "c.txt", dir / "b.txt"}));
  EXPECT_EQ(form->result(), QDialog::Accepted);
}

TEST_F(SearchWindow, AddFilesWithNothingFoundDoesNothing) {
  auto form = make(2, "*.none");
  onResult = [](TF_Result& r) {
    r.bu_FilesClick();
    EXPECT_EQ(r.result(), QDialog::Rejected);
  };
  form->bu_StartClick();
  EXPECT_TRUE(form->FilesToAdd.empty());
  EXPECT_EQ(form->result(), QDialog::Rejected);
}

TEST_F(SearchWindow, AnEmptyPatternOrAMissingFolderIsToldAndShowsNoResult) {
  auto form = make(1, "");
  ui.answerMessage(platform::kBtnOk);
  form->bu_StartClick();
  form->ed_file->setText("*.zip");
  form->ed_Startin->setText(QString::fromStdString(dir / "gone"));
  ui.answerMessage(platform::kBtnOk);
  form->bu_StartClick();
  EXPECT_EQ(ui.boxTexts(),
            (std::vector<std::string>{"You must enter a Search pattern first!",
                                      "Cannot search in " + dir / "gone" + ": No such file or directory"}));
  EXPECT_EQ(ui.boxes[0].kind, platform::MsgKind::Error);
  EXPECT_FALSE(shown);
  EXPECT_FALSE(form->Running());
}

TEST_F(SearchWindow, AbortDuringADeepWalkShowsNoResultAndLeavesTheWorkingFolder) {
  std::string deep;
  for (int i = 0; i < 40; ++i) {
    deep += "level" + std::to_string(i) + "/";
    dir.write(deep + "x.zip", "x");
  }
  const auto before = std::filesystem::current_path();
  auto form = make(1, "*.zip");
  form->DirNav.IdleIntervalMs = 0;
  int pumps = 0;
  platform::setPumpHook([&] {
    if (++pumps == 10) form->bu_Abort->click();
  });
  form->bu_StartClick();
  platform::setPumpHook(nullptr);
  EXPECT_FALSE(shown);
  EXPECT_FALSE(form->Running());
  EXPECT_LT(form->ResultList.size(), 40u);
  EXPECT_EQ(std::filesystem::current_path(), before);
  EXPECT_TRUE(form->StatusBar1->currentMessage().isEmpty());
  EXPECT_EQ(form->result(), QDialog::Rejected);

  // A new search runs whole.
  form->bu_StartClick();
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->label, "40 files matching *.zip found");
}

TEST_F(SearchWindow, AnUnreadableFolderAndALinkLoopAreWalkedPastAndTheSkipIsShown) {
  dir.write("a/1.zip", "1");
  dir.write("locked/2.zip", "2");
  dir.write("z/3.zip", "3");
  ASSERT_EQ(::symlink("..", (dir / "z/loop").c_str()), 0);
  ::chmod((dir / "locked").c_str(), 0);
  testsupport::WithoutPermissionOverride unprivileged;
  if (::faccessat(AT_FDCWD, (dir / "locked").c_str(), R_OK, AT_EACCESS) == 0) {
    ::chmod((dir / "locked").c_str(), 0700);
    GTEST_SKIP() << "this process may read a folder without read permission";
  }
  auto form = make(1, "*.zip");
  form->bu_StartClick();
  ::chmod((dir / "locked").c_str(), 0700);
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->label, "2 files matching *.zip found");
  EXPECT_EQ(form->StatusBar1->currentMessage().toStdString(), "1 folder(s) could not be read and were skipped");
}

}  // namespace
