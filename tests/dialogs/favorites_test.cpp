// The favourites window: the empty row of an empty list, Open and Remove acting on
// the favourite of the row shown after sorting, and "Favorites.lst" following every
// removal (down to an empty file).
#include <gtest/gtest.h>

#include <QPushButton>
#include <QStatusBar>
#include <cstdlib>

#include "dialogs/favoritelist.h"
#include "dialogs/favorites.h"
#include "dialogs/filelines.h"
#include "dialogs/settings_model.h"
#include "platform/paths.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "widgets/sortgrid.h"

using testsupport::ScriptedUi;

namespace {

class Favorites : public ::testing::Test {
 protected:
  Favorites() { ::setenv("KELVORY_HOME", dir.path().c_str(), 1); }
  ~Favorites() override { ::unsetenv("KELVORY_HOME"); }

  std::unique_ptr<TF_Favorites> make() {
    return std::make_unique<TF_Favorites>(settings, list, [this](const std::string& path) {
      opened.push_back(path);
      return openSucceeds;
    });
  }
  // Three favourites, saved, in the order Zeta, alpha, Mid.
  void three() {
    list = {"/a/Zeta.zip;01.02.2020 10:00;300", "/b/alpha.zip;03.04.2021 11:00;1", "/c/Mid.zip;05.06.2022 12:00;20"};
    ASSERT_TRUE(dialogs::SaveFavoriteList(list));
  }
  std::string file() const { return testsupport::readFile(dialogs::FavoritesFile()); }

  testsupport::TempDir dir;
  ScriptedUi ui;
  dialogs::TSettings settings{dir / "Kelvory.Ini"};
  std::vector<std::string> list;
  std::vector<std::string> opened;
  bool openSucceeds = true;
};

TEST_F(Favorites, NoFavoritesShowOneEmptyRowThatDoesNothing) {
  auto f = make();
  ASSERT_EQ(f->StringGrid1->RowCount(), 2);
  EXPECT_EQ(f->StringGrid1->Rows(1), (QStringList{"", "", "", ""}));
  EXPECT_EQ(f->StringGrid1->Rows(0), (QStringList{"Zip archive", "Date/Time", "Size", ""}));
  f->StringGrid1Click();
  f->StringGrid1DblClick();
  f->bu_DeleteClick();
  EXPECT_TRUE(f->StatusBar1->currentMessage().isEmpty());
  EXPECT_TRUE(opened.empty());
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(Favorites, RowsShowTheFileNameDateAndSize) {
  three();
  auto f = make();
  ASSERT_EQ(f->StringGrid1->RowCount(), 4);
  EXPECT_EQ(f->StringGrid1->Rows(1), (QStringList{"Zeta.zip", "01.02.2020 10:00", "300", ""}));
  EXPECT_EQ(f->StringGrid1->Rows(3), (QStringList{"Mid.zip", "05.06.2022 12:00", "20", ""}));
}

TEST_F(Favorites, AfterSortingOpenAndRemoveActOnTheRowShown) {
  three();
  auto f = make();
  f->StringGrid1->SortByColumn(2, {skNumeric, soAscending});  // alpha (1), Mid (20), Zeta (300)
  f->StringGrid1->GoToCell(0, 2);
  ASSERT_EQ(f->StringGrid1->Cells(0, 2), "Mid.zip");
  f->StringGrid1Click();
  EXPECT_EQ(f->StatusBar1->currentMessage(), "/c/Mid.zip");

  openSucceeds = false;  // the window stays for the next step
  f->StringGrid1DblClick();
  EXPECT_EQ(opened, std::vector<std::string>{"/c/Mid.zip"});
  EXPECT_EQ(f->result(), QDialog::Rejected);

  ui.answerMessage(platform::kBtnNo);
  f->bu_DeleteClick();
  EXPECT_EQ(list.size(), 3u) << "No keeps the favourite";

  ui.answerMessage(platform::kBtnYes);
  f->bu_Delete->click();
  EXPECT_EQ(ui.boxTexts(), (std::vector<std::string>(2, "Are you sure?")));
  EXPECT_EQ(list, (std::vector<std::string>{"/a/Zeta.zip;01.02.2020 10:00;300", "/b/alpha.zip;03.04.2021 11:00;1"}));
  EXPECT_EQ(file(), "/a/Zeta.zip;01.02.2020 10:00;300\n/b/alpha.zip;03.04.2021 11:00;1\n");
  ASSERT_EQ(f->StringGrid1->RowCount(), 3);
  EXPECT_EQ(f->StringGrid1->Cells(0, 1), "Zeta.zip");
  EXPECT_EQ(f->StringGrid1->Cells(0, 2), "alpha.zip");

  openSucceeds = true;
  f->StringGrid1->GoToCell(0, 2);
  f->StringGrid1DblClick();
  EXPECT_EQ(opened.back(), "/b/alpha.zip");
  EXPECT_EQ(f->result(), QDialog::Accepted);
}

TEST_F(Favorites, RemovingTheLastFavoriteLeavesAnEmptyFileAndOneEmptyRow) {
  list = {"/a/only.zip;01.02.2020 10:00;3"};
  ASSERT_TRUE(dialogs::SaveFavoriteList(list));
  auto f = make();
  ui.answerMessage(platform::kBtnYes);
  f->bu_DeleteClick();
  EXPECT_TRUE(list.empty());
  EXPECT_TRUE(platform::fileExists(dialogs::FavoritesFile()));
  EXPECT_EQ(file(), "");
  ASSERT_EQ(f->StringGrid1->RowCount(), 2);
  EXPECT_EQ(f->StringGrid1->Rows(1), (QStringList{"", "", "", ""}));
  f->bu_DeleteClick();  // nothing left: no question
  EXPECT_EQ(ui.boxes.size(), 1u);
}

TEST(FavoriteList, LinesKeepASemicolonInThePathAndLoadCreatesTheFile) {
  testsupport::TempDir dir;
  ::setenv("KELVORY_HOME", dir.path().c_str(), 1);
  EXPECT_TRUE(dialogs::LoadFavoriteList().empty());
  EXPECT_TRUE(platform::fileExists(dir / "Favorites.lst"));
  const std::string path = dir.write("odd;name.zip", "12345");
  const auto line = dialogs::FavoriteLine(path);
  ASSERT_TRUE(line);
  const dialogs::TFileLine f = dialogs::SplitFileLine(*line);
  EXPECT_EQ(f.file, path);
  EXPECT_EQ(f.size, "5");
  EXPECT_FALSE(f.date.empty());
  std::string error;
  EXPECT_FALSE(dialogs::FavoriteLine(dir / "gone.zip", &error));
  EXPECT_EQ(error, "No such file or directory");
  ::unsetenv("KELVORY_HOME");
}

}  // namespace
