// The Add dialog collects each chosen file or folder once, keeps dropped names as
// given, sorts on request, takes drags only from its own file list and reports
// OK, Close and every other way of closing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cstdlib>

#include "dialogs/addform.h"
#include "dialogs/dialog_globals.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "widgets/dirtree.h"
#include "widgets/qt_ui.h"

using testsupport::ScriptedUi;
using Names = std::vector<std::string>;

namespace {

QStringList texts(const QListWidget* list) {
  QStringList out;
  for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
  return out;
}

void selectRows(QListWidget* list, std::initializer_list<int> rows) {
  list->clearSelection();
  for (int r : rows) list->item(r)->setSelected(true);
}

class AddDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("KELVORY_HOME", dir.path().c_str(), 1);
    for (const char* name : {"src/b.txt", "src/A.txt", "src/.hidden", "src/c.TXT", "src/sub/inner.txt"})
      dir.write(name, "x");
    src = dir / "src";
    dialogs::DialogCancelled = false;
  }
  void TearDown() override {
    EXPECT_TRUE(ui.unexpected.empty()) << ui.unexpected.front();
    ::unsetenv("KELVORY_HOME");
  }

  testsupport::TempDir dir;
  ScriptedUi ui;
  dialogs::TSettings settings;
  std::string src;
};

}  // namespace

TEST(AddDialogSlash, AppendSlash) {
  EXPECT_EQ(TAddForm::AppendSlash(""), "");
  EXPECT_EQ(TAddForm::AppendSlash("/"), "/");
  EXPECT_EQ(TAddForm::AppendSlash("/home/u"), "/home/u/");
  EXPECT_EQ(TAddForm::AppendSlash("/home/u/"), "/home/u/");
}

TEST_F(AddDialog, HasItsControlsByName) {
  TAddForm f(settings);
  EXPECT_EQ(f.objectName(), QStringLiteral("AddForm"));
  EXPECT_EQ(f.Panel8->text(), QStringLiteral("Add file(s) to archive"));
  EXPECT_EQ(f.Label1->text(), QStringLiteral("Files to Add:"));
  EXPECT_EQ(f.Bitbtn6->toolTip(), QStringLiteral("Add selected file(s)"));
  EXPECT_EQ(f.Bitbtn7->toolTip(), QStringLiteral("Add selected directory"));
  EXPECT_EQ(f.CheckBox1->toolTip(), QStringLiteral("Force Multiple disk spanning. "));
  EXPECT_EQ(f.FileListBox1->selectionMode(), QAbstractItemView::ExtendedSelection);
  EXPECT_EQ(f.SelectedList->selectionMode(), QAbstractItemView::ExtendedSelection);
  for (const char* name : {"DirectoryListBox1", "FileListBox1", "bu_Selectall", "Bitbtn7", "Bitbtn6", "bu_Delete",
                           "Sortbut", "SelectedList", "BitBtn1", "BitBtn2", "CB_Move", "Ch_Update", "CheckBox1"})
    EXPECT_NE(f.findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
}

TEST_F(AddDialog, ListsTheFilesOfTheTreeFolder) {
  TAddForm f(settings);
  f.SetFolder(src);
  EXPECT_EQ(f.CurrentFolder(), src);
  // Hidden files too, no folders, sorted without regard to case.
  EXPECT_EQ(texts(f.FileListBox1), (QStringList{".hidden", "A.txt", "b.txt", "c.TXT"}));
  f.DirectoryListBox1->setDirectory(widgets::qs(src + "/sub"));
  EXPECT_EQ(texts(f.FileListBox1), QStringList{"inner.txt"});
  // Picking the same folder again shows what is there now.
  dir.write("src/sub/new.txt", "x");
  f.SetFolder(src + "/sub");
  EXPECT_EQ(texts(f.FileListBox1), (QStringList{"inner.txt", "new.txt"}));
}

TEST_F(AddDialog, AddFilesTwiceAddsEachNameOnce) {
  TAddForm f(settings);
  f.SetFolder(src);
  selectRows(f.FileListBox1, {3, 1});
  f.Bitbtn6->click();
  EXPECT_TRUE(dialogs::DialogCancelled);
  EXPECT_TRUE(f.FileListBox1->selectedItems().isEmpty());  // each added entry is unselected
  f.bu_Selectall->click();
  EXPECT_EQ(f.FileListBox1->selectedItems().size(), 4);
  f.Bitbtn6->click();
  f.bu_Selectall->click();
  f.Bitbtn6->click();
  // In list order of the file list; the two first added keep their places.
  EXPECT_EQ(f.SelectedNames(), (Names{src + "/A.txt", src + "/c.TXT", src + "/.hidden", src + "/b.txt"}));
  EXPECT_TRUE(f.SelectedList->selectedItems().isEmpty());
}

TEST_F(AddDialog, AddDirAddsTheFolderWithItsSlashOnce) {
  TAddForm f(settings);
  f.SetFolder(src);
  f.Bitbtn7->click();
  f.Bitbtn7->click();
  EXPECT_TRUE(dialogs::DialogCancelled);
  f.SetFolder(src + "/sub");
  f.Bitbtn7->click();
  EXPECT_EQ(f.SelectedNames(), (Names{src + "/", src + "/sub/"}));
}

TEST_F(AddDialog, RemoveDeletesExactlyTheSelectedLines) {
  TAddForm f(settings);
  f.AddDroppedNames({"/a", "/b", "/c", "/d", "/e"});
  selectRows(f.SelectedList, {0, 2, 4});
  f.bu_Delete->click();
  EXPECT_EQ(f.SelectedNames(), (Names{"/b", "/d"}));
  f.bu_Delete->click();  // nothing selected now
  EXPECT_EQ(f.SelectedNames(), (Names{"/b", "/d"}));
}

TEST_F(AddDialog, AfterSortLaterAdditionsLandInOrder) {
  TAddForm f(settings);
  f.AddDroppedNames({"/zz", "/mm"});
  f.Sortbut->click();
  EXPECT_FALSE(f.Sortbut->isEnabled());
  EXPECT_EQ(f.SelectedNames(), (Names{"/mm", "/zz"}));
  f.SetFolder(src);
  selectRows(f.FileListBox1, {2});  // b.txt
  f.Bitbtn6->click();
  f.AddDroppedNames({"/aa", "/~~"});
  f.Bitbtn7->click();
  Names expected{"/zz", "/mm", src + "/b.txt", "/aa", "/~~", src + "/"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(f.SelectedNames(), expected);
  EXPECT_EQ(f.SelectedNames().front(), "/aa");
  EXPECT_EQ(f.SelectedNames().back(), "/~~");
  EXPECT_FALSE(f.Sortbut->isEnabled());
}

TEST_F(AddDialog, DroppedNamesKeepDuplicates) {
  TAddForm f(settings);
  f.SetFolder(src);
  selectRows(f.FileListBox1, {1});
  f.Bitbtn6->click();
  f.AddDroppedNames({widgets::qs(src + "/A.txt"), "/x", "/x"});
  EXPECT_EQ(f.SelectedNames(), (Names{src + "/A.txt", src + "/A.txt", "/x", "/x"}));
}

TEST_F(AddDialog, DragFromTheFileListAddsTheSelectedFiles) {
  TAddForm f(settings);
  f.SetFolder(src);
  f.AddDroppedNames({widgets::qs(src + "/b.txt")});
  selectRows(f.FileListBox1, {1, 2});
  EXPECT_TRUE(f.SelectedListDragOver(f.FileListBox1));
  EXPECT_TRUE(f.SelectedListDragDrop(f.FileListBox1));
  EXPECT_FALSE(dialogs::DialogCancelled);  // a drop leaves it alone
  EXPECT_EQ(f.SelectedNames(), (Names{src + "/b.txt", src + "/A.txt"}));
  EXPECT_TRUE(f.FileListBox1->selectedItems().isEmpty());
}

TEST_F(AddDialog, DragFromAnyOtherWidgetIsRefused) {
  TAddForm f(settings);
  f.SetFolder(src);
  f.bu_Selectall->click();
  for (const QObject* source :
       {static_cast<const QObject*>(f.SelectedList), static_cast<const QObject*>(f.DirectoryListBox1),
        static_cast<const QObject*>(nullptr)}) {
    EXPECT_FALSE(f.SelectedListDragOver(source));
    EXPECT_FALSE(f.SelectedListDragDrop(source));
  }
  EXPECT_TRUE(f.SelectedNames().empty());
  EXPECT_EQ(f.FileListBox1->selectedItems().size(), 4);  // untouched
}

TEST_F(AddDialog, FilesFromAnotherProgramGoToTheDropHandlerWhenAllowed) {
  TAddForm f(settings);
  QStringList handed;
  f.OnDropFiles = [&](const QStringList& files) { handed += files; };
  QMimeData files;
  files.setUrls({QUrl::fromLocalFile("/tmp/one.txt"), QUrl::fromLocalFile("/tmp/two.txt")});
  QMimeData other;
  other.setText(QStringLiteral("not files"));
  const QPoint at(5, 5);
  auto dropOnList = [&](const QMimeData& mime) {
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(f.SelectedList->viewport(), &enter);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(f.SelectedList->viewport(), &drop);
    return enter.isAccepted() && drop.isAccepted();
  };

  EXPECT_FALSE(dropOnList(other));
  EXPECT_TRUE(handed.isEmpty());
  EXPECT_TRUE(dropOnList(files));
  EXPECT_EQ(handed, (QStringList{"/tmp/one.txt", "/tmp/two.txt"}));
  EXPECT_TRUE(f.SelectedNames().empty());  // the handler decides what to do with them

  settings.cb_Outside = false;
  f.FormActivate();
  EXPECT_FALSE(f.AcceptsDrops());
  EXPECT_FALSE(f.acceptDrops());
  EXPECT_FALSE(dropOnList(files));
  EXPECT_EQ(handed.size(), 2);

  settings.cb_Outside = true;
  f.FormActivate();
  EXPECT_TRUE(f.acceptDrops());
  f.OnDropFiles = nullptr;  // no handler: the names are appended as given
  EXPECT_TRUE(dropOnList(files));
  EXPECT_EQ(f.SelectedNames(), (Names{"/tmp/one.txt", "/tmp/two.txt"}));
}

TEST_F(AddDialog, OkCloseAndTheFrameSetCancelledAndReportClosing) {
  TAddForm f(settings);
  int closed = 0;
  f.OnClosed = [&] { ++closed; };

  f.show();
  f.BitBtn1->click();
  EXPECT_FALSE(dialogs::DialogCancelled);
  EXPECT_EQ(f.result(), QDialog::Accepted);
  EXPECT_EQ(closed, 1);

  f.show();
  f.BitBtn2->click();
  EXPECT_TRUE(dialogs::DialogCancelled);
  EXPECT_EQ(f.result(), QDialog::Rejected);
  EXPECT_EQ(closed, 2);

  // Closing by the frame (or Escape) with names waiting does not confirm them.
  dialogs::DialogCancelled = false;
  f.AddDroppedNames({"/waiting"});
  f.show();
  f.close();
  EXPECT_TRUE(dialogs::DialogCancelled);
  EXPECT_EQ(closed, 3);
}

TEST_F(AddDialog, RunsModallyThroughExecAndTheUiSeam) {
  TAddForm f(settings);
  f.SetFolder(src);
  QTimer::singleShot(0, &f, [&] {
    f.bu_Selectall->click();
    f.Bitbtn6->click();
    f.BitBtn1->click();
  });
  EXPECT_EQ(f.exec(), QDialog::Accepted);
  EXPECT_EQ(f.SelectedNames().size(), 4u);
  EXPECT_FALSE(dialogs::DialogCancelled);

  ui.onModal([](platform::ModalWindow& w) {
    auto& d = static_cast<widgets::DialogWindow&>(w).dialog();
    static_cast<TAddForm&>(d).BitBtn2Click();
    return d.result();
  });
  EXPECT_EQ(widgets::runModal(f, "TAddForm"), QDialog::Rejected);
  EXPECT_EQ(ui.modalWindows, Names{"TAddForm"});
  EXPECT_TRUE(dialogs::DialogCancelled);
}
