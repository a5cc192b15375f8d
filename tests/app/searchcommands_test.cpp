// The search and favourites commands of the main window: a found archive opens in
// the window, found files go into the open archive (or a new one) through the Add
// path, and favourites are recorded once each and opened like File > Open does.
#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>

#include "app_fixture.h"
#include "dialogs/favorites.h"
#include "dialogs/filelines.h"
#include "dialogs/search.h"
#include "widgets/qt_ui.h"
#include "widgets/sortgrid.h"

namespace {

class SearchCommands : public AppTest {
 protected:
  SearchCommands() { ui.acceptInformationBoxes(true); }

  // The search window searches folder for pattern; the result window gets act.
  void search(const std::string& folder, const std::string& pattern, std::function<void(TF_Result&)> act) {
    ui.onModal([folder, pattern](platform::ModalWindow& m) {
      auto& s = dialogOf<TF_Search>(m);
      s.ed_Startin->setText(QString::fromStdString(folder));
      s.ed_file->setText(QString::fromStdString(pattern));
      s.bu_Start->click();
      return s.result();
    });
    ui.onModal([act](platform::ModalWindow& m) {
      auto& r = dialogOf<TF_Result>(m);
      act(r);
      return r.result();
    });
  }
};

TEST_F(SearchCommands, AFoundArchiveOpensInTheMainWindow) {
  auto f = make();
  const std::string zip = writeZip("found/DEEP/Report.ZIP", kThree);
  QString caption;
  search(dir / "found", "*.zip", [&](TF_Result& r) {
    caption = r.parentWidget()->windowTitle();
    r.StringGrid1DblClick();
  });
  f->Searcharchive1Click();
  EXPECT_EQ(caption, QStringLiteral("Search for archive(s)"));
  EXPECT_EQ(f->SearchMode, 1);
  EXPECT_EQ(f->ZipEngine1.ZipFilename(), zip);
  EXPECT_EQ(f->ZipEngine1.EntryCount(), 3);
  EXPECT_EQ(f->windowTitle(), QString::fromStdString("Kelvory '99 - " + zip));
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(SearchCommands, FoundFilesAreAddedToTheOpenArchive) {
  auto f = make();
  const std::string zip = writeZip("t.zip", kThree);
  ASSERT_TRUE(f->OpenArchive(zip));
  dir.write("more/x.dat", "xx");
  dir.write("more/y.dat", "yyy");
  search(dir / "more", "*.dat", [](TF_Result& r) {
    r.StringGrid1->setSelection({0, 1, 2, 2});
    r.bu_FilesClick();
  });
  f->Searchfile1Click();
  EXPECT_EQ(f->SearchMode, 2);
  EXPECT_EQ(f->ZipEngine1.ZipFilename(), zip);
  EXPECT_EQ(f->ZipEngine1.EntryCount(), 5);
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(SearchCommands, FoundFilesWithoutAnOpenArchiveGoIntoANewOne) {
  auto f = make();
  settings.ed_Zipname = dir / "new/Default.zip";  // the new archive goes into that folder
  dir.write("more/x.dat", "xx");
  dir.write("new/keep", "");
  search(dir / "more", "*.dat", [](TF_Result& r) { r.bu_FilesClick(); });
  f->Searchfile1Click();
  EXPECT_EQ(f->ZipEngine1.ZipFilename(), dir / "new/Noname.zip");
  EXPECT_EQ(f->ZipEngine1.EntryCount(), 1);
  EXPECT_TRUE(ui.unexpected.empty());
}

class FavoriteCommands : public AppTest {
 protected:
  std::string favorites() const { return testsupport::readFile(dir / "Favorites.lst"); }
  std::vector<std::string> lines() const {
    std::vector<std::string> out;
    std::string text = favorites();
    for (std::size_t start = 0, end; start < text.size(); start = end + 1) {
      end = text.find('\n', start);
      out.push_back(text.substr(start, end - start));
    }
    return out;
  }
};

TEST_F(FavoriteCommands, TheOpenArchiveIsAddedOnceAndANameInOtherLetterCaseIsAnotherArchive) {
  auto f = make();
  f->AddzipfiletoF1Click();  // nothing open: nothing happens
  EXPECT_EQ(favorites(), "");
  const std::string lower = writeZip("report.zip", kThree);
  const std::string upper = writeZip("Report.zip", {{"x", "y"}});
  ASSERT_TRUE(f->OpenArchive(lower));
  f->AddzipfiletoF1Click();
  ASSERT_EQ(lines().size(), 1u);
  EXPECT_EQ(lines()[0].rfind(lower + ";", 0), 0u) << lines()[0];
  EXPECT_EQ(dialogs::SplitFileLine(lines()[0]).size, std::to_string(std::filesystem::file_size(lower)));
  EXPECT_EQ(f->FavoriteList, lines());

  ui.answerMessage(platform::kBtnOk);
  f->Action("AddzipfiletoFavorites1")->trigger();
  EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"You have already added this Zipfile to your favorites!"});
  EXPECT_EQ(ui.boxes[0].kind, platform::MsgKind::Information);
  EXPECT_EQ(lines().size(), 1u);

  // On this system report.zip and Report.zip are two files: both are favourites.
  ASSERT_TRUE(f->OpenArchive(upper));
  f->AddzipfiletoF1Click();
  ASSERT_EQ(lines().size(), 2u);
  EXPECT_EQ(dialogs::SplitFileLine(lines()[1]).file, upper);
  EXPECT_EQ(ui.boxes.size(), 1u);
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(FavoriteCommands, AFavoriteOpensInTheMainWindow) {
  const std::string zip = writeZip("fav.zip", kThree);
  {
    auto first = make();
    ASSERT_TRUE(first->OpenArchive(zip));
    first->AddzipfiletoF1Click();
  }
  auto f = make();
  ASSERT_EQ(f->FavoriteList.size(), 1u) << "read back at start";
  ui.onModal([](platform::ModalWindow& m) {
    auto& w = dialogOf<TF_Favorites>(m);
    w.StringGrid1DblClick();
    return w.result();
  });
  f->Favoritearchives1Click();
  EXPECT_EQ(f->ZipEngine1.ZipFilename(), zip);
  EXPECT_EQ(f->ZipEngine1.EntryCount(), 3);
  EXPECT_EQ(f->Panel4->text().toStdString(), zip);
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(FavoriteCommands, AFavoriteWhoseArchiveIsGoneIsReportedAndChangesNothing) {
  const std::string open = writeZip("open.zip", kThree);
  dir.write("Favorites.lst", dir / "gone.zip;01.01.2024 10:00;123\n");
  auto f = make();
  ASSERT_TRUE(f->OpenArchive(open));
  const QString caption = f->windowTitle();
  int result = -1;
  ui.onModal([&](platform::ModalWindow& m) {
    auto& w = dialogOf<TF_Favorites>(m);
    w.StringGrid1DblClick();
    result = w.result();
    return result;
  });
  ui.answerMessage(platform::kBtnOk);
  f->Favoritearchives1Click();
  EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"Archive not found: " + dir / "gone.zip"});
  EXPECT_EQ(result, QDialog::Rejected) << "the window stays to remove the favourite";
  EXPECT_EQ(f->ZipEngine1.ZipFilename(), open);
  EXPECT_EQ(f->windowTitle(), caption);
  EXPECT_EQ(f->ZipEngine1.EntryCount(), 3);
}

TEST_F(FavoriteCommands, TheFavoritesWindowOpensAtStartWhenTheSettingSaysSo) {
  platform::ini::writeString(ini(), "MISC", "OPENFAVORITES", "1");
  ui.onModal([](platform::ModalWindow& m) { return dialogOf<TF_Favorites>(m).result(); });
  auto f = make();
  EXPECT_TRUE(ui.modalWindows.empty()) << "not before the main window is up";
  QCoreApplication::processEvents();
  EXPECT_EQ(ui.modalWindows, std::vector<std::string>{"TF_Favorites"});
  EXPECT_TRUE(ui.unexpected.empty());
}

}  // namespace
