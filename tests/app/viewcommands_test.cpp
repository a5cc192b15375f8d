// View/edit, Run and Install from the main window with the real libraries: image
// mode, the editors and the write-back of an edit under the entry's own folder (all
// or nothing), running an entry, and installing with a choice of installers, with
// every copy made for the use removed afterwards.
#include <sys/stat.h>

#include <QBuffer>
#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <filesystem>

#include "app/app_fixture.h"
#include "dialogs/install.h"
#include "platform/paths.h"
#include "platform/routines.h"
#include "viewers/editform.h"
#include "viewers/showimg.h"
#include "widgets/qt_ui.h"
#include "widgets/sortgrid.h"

namespace fs = std::filesystem;

namespace {

// A small BMP picture of one colour.
std::string bmp(QColor color) {
  QImage image(4, 3, QImage::Format_RGB32);
  image.fill(color);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "BMP");
  return bytes.toStdString();
}

// Files and folders left in a folder (recursively), as relative paths.
std::vector<std::string> leftIn(const std::string& folder) {
  std::vector<std::string> left;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    left.push_back(fs::relative(it->path(), folder).string());
  return left;
}

std::string script(const std::string& body) { return "#!/bin/sh\n" + body + "\n"; }

}  // namespace

class ViewTest : public AppTest {
 protected:
  ViewTest() {
    fs::create_directories(temp);
    settings.ed_Temp = temp;
  }
  std::unique_ptr<TMainform> openWith(const std::vector<ziptest::Entry>& entries) {
    auto f = AppTest::openWith(entries, "t.zip");
    settings.ed_Temp = temp;  // the window read the settings file
    archive = dir / "t.zip";
    return f;
  }
  std::string unzipP(const std::string& name) {
    std::string out;
    EXPECT_EQ(testsupport::shell("unzip -p '" + archive + "' '" + name + "'", &out), 0) << name;
    return out;
  }
  std::string unzipL() {
    std::string out;
    testsupport::shell("unzip -Z1 '" + archive + "'", &out);
    return out;
  }

  std::string temp = dir / "temp";
  std::string archive;
};

TEST_F(ViewTest, ImageModeWinsAndSameNamesStayApart) {
  const std::string red = bmp(Qt::red), blue = bmp(Qt::blue);
  auto f = openWith({{"a/pic.bmp", red}, {"b/pic.bmp", blue}, {"notes.txt", "text"}});
  f->SelectAll2Click();
  std::vector<std::string> shown;
  for (int i = 0; i < 2; ++i)
    ui.onModal([&](platform::ModalWindow& w) {
      EXPECT_EQ(w.windowClass(), "TF_ShowImg");
      const std::string path = dialogOf<QDialog>(w).windowTitle().toStdString();
      shown.push_back(readFile(path));
      EXPECT_EQ(path.rfind(temp + "/", 0), 0u) << path;
      return 1;
    });
  f->Viewfile1Click();
  EXPECT_EQ(shown, (std::vector<std::string>{red, blue}));
  EXPECT_EQ(f->ViewList, (std::vector<std::string>{"a/pic.bmp", "b/pic.bmp"}));
  EXPECT_TRUE(leftIn(temp).empty());
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(ViewTest, ExternalViewerAndItsFormats) {
  const std::string log = dir / "viewer.log";
  settings.rb_BuiltGraphic = false;
  settings.rb_ExtGraphic = true;
  auto f = openWith({{"x/shot.png", "png bytes"}, {"y/photo.JPG", "jpeg bytes"}});
  settings.rb_BuiltGraphic = false;
  settings.rb_ExtGraphic = true;
  settings.ed_Formats = "JPG;BMP;GIF";
  settings.ed_Graphic = dir.write("viewer.sh", script("cat \"$1\" >> '" + log + "'"));
  fs::permissions(settings.ed_Graphic, fs::perms::owner_all);
  // A PNG is not in the list: it opens as text.
  selectRow(*f, "x/shot.png");
  ui.onModal([&](platform::ModalWindow& w) {
    EXPECT_EQ(w.windowClass(), "TF_Editform");
    dialogOf<TF_Editform>(w).FinishLoading();
    EXPECT_EQ(dialogOf<TF_Editform>(w).Memo1->toPlainText(), QStringLiteral("png bytes"));
    return 0;
  });
  f->Viewfile1Click();
  selectRow(*f, "y/photo.JPG");
  f->Viewfile1Click();
  EXPECT_EQ(readFile(log), "jpeg bytes");
  // A viewer that is not there stops the pictures.
  settings.ed_Graphic = dir / "no-viewer";
  ui.answerMessage(kBtnOk);
  f->Viewfile1Click();
  EXPECT_EQ(ui.boxTexts().back(), "Can't find external graphic viewer!");
  EXPECT_TRUE(leftIn(temp).empty());
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(ViewTest, BuiltInEditorWritesBackOnlyAChangedText) {
  auto f = openWith(kThree);
  selectRow(*f, "dir/b.txt");
  const std::string before = readFile(archive);
  // Viewing without a change writes nothing.
  ui.onModal([&](platform::ModalWindow& w) {
    auto& e = dialogOf<TF_Editform>(w);
    e.FinishLoading();
    EXPECT_EQ(e.Memo1->toPlainText(), QStringLiteral("bravo!"));
    EXPECT_EQ(e.windowTitle(), QStringLiteral("- b.txt"));
    EXPECT_EQ(e.OpenDialogFileName, "b.txt");
    EXPECT_EQ(f->EditState, 1);
    e.Exit1Click();
    return 0;
  });
  f->Viewfile1Click();
  EXPECT_EQ(readFile(archive), before);
  EXPECT_EQ(f->EditState, 0);
  // A change answered with No: nothing written, the saved copy gone.
  ui.onModal([&](platform::ModalWindow& w) {
    auto& e = dialogOf<TF_Editform>(w);
    e.FinishLoading();
    e.Memo1->insertPlainText(QStringLiteral("not this "));
    e.Exit1Click();
    EXPECT_FALSE(platform::fileExists(e.SavePath));
    return 0;
  });
  ui.answerMessage(kBtnNo);  // "Update zipfile?"
  f->Viewfile1Click();
  EXPECT_EQ(readFile(archive), before);
  // Yes: the entry is replaced in its own folder.
  ui.onModal([&](platform::ModalWindow& w) {
    auto& e = dialogOf<TF_Editform>(w);
    e.FinishLoading();
    e.Memo1->moveCursor(QTextCursor::End);
    e.Memo1->insertPlainText(QStringLiteral(" edited"));
    e.Exit1Click();
    return 0;
  });
  ui.answerMessage(kBtnYes);
  f->Viewfile1Click();
  EXPECT_EQ(unzipP("dir/b.txt"), "bravo! edited");
  EXPECT_EQ(unzipL(), "a.txt\ndir/b.txt\nc.txt\n");  // replaced in place
  EXPECT_EQ(f->StringGrid1->RowCount(), 4);          // listed again
  EXPECT_TRUE(f->ArchiveChanged);
  EXPECT_TRUE(leftIn(temp).empty());
  EXPECT_EQ(ui.boxTexts(), (std::vector<std::string>{"Update zipfile?", "Update zipfile?"}));
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(ViewTest, ExternalEditorReplacesTheEntry) {
  auto f = openWith(kThree);
  settings.rb_BuiltIn = false;
  settings.rb_External = true;
  settings.ed_Editor = dir.write("editor.sh", script("printf ' external' >> \"$1\""));
  fs::permissions(settings.ed_Editor, fs::perms::owner_all);
  selectRow(*f, "dir/b.txt");
  ui.answerMessage(kBtnYes);  // "Update zip archive?"
  f->Viewfile1Click();
  EXPECT_EQ(unzipP("dir/b.txt"), "bravo! external");
  EXPECT_EQ(unzipL(), "a.txt\ndir/b.txt\nc.txt\n");  // replaced in place
  EXPECT_TRUE(leftIn(temp).empty());

  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(ViewTest, AnEncryptedEntryGoesBackEncrypted) {
  ASSERT_EQ(testsupport::shell("cd '" + dir.path() +
                               "' && mkdir -p src/dir && printf secret > src/dir/s.txt && cd src && "
                               "zip -q -P pw ../t.zip dir/s.txt"),
            0);
  auto f = make();
  settings.ed_Temp = temp;
  archive = dir / "t.zip";
  ASSERT_TRUE(f->OpenArchive(archive));
  settings.rb_BuiltIn = false;
  settings.rb_External = true;
  settings.ed_Editor = dir.write("editor.sh", script("printf ' edited' >> \"$1\""));
  fs::permissions(settings.ed_Editor, fs::perms::owner_all);
  selectRow(*f, "dir/s.txt");
  f->ZipEngine1.Password = "pw";
  ui.answerMessage(kBtnYes);  // "Update zip archive?"
  f->Viewfile1Click();
  std::string out;
  EXPECT_EQ(testsupport::shell("unzip -P pw -p '" + archive + "' dir/s.txt", &out), 0);
  EXPECT_EQ(out, "secret edited");
  EXPECT_NE(testsupport::shell("unzip -P wrong -p '" + archive + "' dir/s.txt 2>/dev/null"), 0);
  // With the password gone by the time the edit goes back, the archive is left
  // alone rather than given the text in the clear.
  const std::string before = readFile(archive);
  settings.rb_BuiltIn = true;
  settings.rb_External = false;
  ui.onModal([&](platform::ModalWindow& w) {
    auto& e = dialogOf<TF_Editform>(w);
    e.FinishLoading();
    e.Memo1->insertPlainText(QStringLiteral("x"));
    f->ZipEngine1.Password.clear();
    e.Exit1Click();
    return 0;
  });
  ui.answerMessage(kBtnYes);  // "Update zipfile?"
  ui.answerMessage(kBtnOk);
  f->Viewfile1Click();
  EXPECT_EQ(readFile(archive), before);
  EXPECT_EQ(ui.boxTexts().back().rfind("The entry is encrypted and no password is known", 0), 0u);
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(ViewTest, AFailedWriteBackKeepsTheEditAndSaysWhere) {
  auto f = openWith(kThree);
  selectRow(*f, "a.txt");
  const std::string before = readFile(archive);
  const std::string libs = f->ZipEngine1.DLLDirectory();
  fs::create_directories(dir / "nolibs");
  ui.onModal([&](platform::ModalWindow& w) {
    auto& e = dialogOf<TF_Editform>(w);
    e.FinishLoading();
    e.Memo1->moveCursor(QTextCursor::End);
    e.Memo1->insertPlainText(QStringLiteral(" kept"));
    // The compressor cannot be found when the edit goes back.
    f->ZipEngine1.setDLLDirectory(dir / "nolibs");
    e.Exit1Click();
    return 0;
  });
  ui.answerMessage(kBtnYes);  // "Update zipfile?"
  ui.acceptInformationBoxes(true);
  f->Viewfile1Click();
  f->ZipEngine1.setDLLDirectory(libs);
  EXPECT_EQ(readFile(archive), before);
  const std::string last = ui.boxTexts().back();
  const std::string prefix = "The archive was not changed. The edited text is kept in ";
  ASSERT_EQ(last.rfind(prefix, 0), 0u) << last;
  EXPECT_EQ(readFile(last.substr(prefix.size())), "alpha kept");
  EXPECT_EQ(last.substr(prefix.size()).rfind(temp + "/", 0), 0u);
}

TEST_F(ViewTest, RunRemovesTheCopyWhenTheProgramEnds) {
  const std::string marker = dir / "ran";
  auto f = openWith({{"bin/tool.sh", script("pwd > '" + marker + "'")}});
  f->SelectAll2Click();
  ui.answerMessage(kBtnOk);  // the warning comes first, always
  f->Executefile1Click();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, platform::MsgKind::Warning);
  EXPECT_EQ(ui.boxes[0].text.rfind("Please note! If you try to run a setup/installation programit may not work", 0),
            0u);
  const std::string tmp = platform::ProgramPath(1) + "TMP";
  EXPECT_TRUE(platform::directoryExists(tmp));
  EXPECT_TRUE(leftIn(tmp).empty());
  // It ran in the folder made for it, which is gone now.
  const std::string ranIn = readFile(marker);
  EXPECT_EQ(ranIn.rfind(tmp + "/", 0), 0u) << ranIn;
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(ViewTest, InstallOffersAChoiceAndRunsTheInstaller) {
  const std::string marker = dir / "installed";
  auto f = openWith({{"docs/readme.txt", "read me"},
                     {"install.sh", script("echo install > '" + marker + "'")},
                     {"setup/setup.sh", script("ls > '" + marker + "'")}});
  // Answering No to the folder question extracts nothing.
  std::vector<std::string> offered;
  auto choose = [&](const char* name) {
    ui.onModal([&offered, name](platform::ModalWindow& w) {
      auto& d = dialogOf<TF_FileToInstall>(w);
      offered.clear();
      for (int r = 1; r < d.StringGrid1->RowCount(); ++r) offered.push_back(d.StringGrid1->Cells(0, r).toStdString());
      for (int r = 1; r < d.StringGrid1->RowCount(); ++r)
        if (d.StringGrid1->Cells(0, r) == QLatin1String(name)) d.StringGrid1->setRow(r);
      d.StringGrid1DblClick();
      return 1;
    });
  };
  std::string installedIn;
  auto install = [&](const std::string& folder, bool remove) {
    ui.onModal([&, folder, remove](platform::ModalWindow& w) {
      auto& d = dialogOf<TF_Install>(w);
      EXPECT_EQ(d.ed_Dir->text().toStdString(), temp);
      d.ed_Dir->setText(QString::fromStdString(folder));
      d.ch_Remove->setChecked(remove);
      d.BitBtn1Click();
      installedIn = d.InstallFolder();
      return 0;
    });
  };
  choose("setup.sh");
  install(temp, false);
  ui.answerMessage(kBtnNo);  // "Directory already exists!, use it anyway?"
  f->Install1Click();
  EXPECT_EQ(offered, (std::vector<std::string>{"install.sh", "setup.sh"}));
  EXPECT_TRUE(leftIn(temp).empty());
  EXPECT_FALSE(platform::fileExists(marker));

  // A new folder: no question; the files come out flat and the script runs there.
  choose("setup.sh");
  install(dir / "inst", false);
  f->Install1Click();
  EXPECT_EQ(readFile(marker), "install.sh\nreadme.txt\nsetup.sh\n");
  EXPECT_TRUE(platform::fileExists(installedIn + "/readme.txt"));
  EXPECT_EQ(installedIn.rfind(dir / "inst/", 0), 0u);

  // With removal asked for and agreed to, the install's folder goes.
  choose("install.sh");
  install(dir / "inst", true);
  ui.answerMessage(kBtnYes);  // "Directory already exists!, use it anyway?"
  ui.answerMessage(kBtnYes);  // "Delete temp directory?"
  f->Install1Click();
  EXPECT_EQ(readFile(marker), "install\n");
  EXPECT_FALSE(platform::directoryExists(installedIn));
  EXPECT_TRUE(platform::directoryExists(dir / "inst"));
  EXPECT_EQ(ui.boxTexts(),
            (std::vector<std::string>{"Directory already exists!, use it anyway?",
                                      "Directory already exists!, use it anyway?", "Delete temp directory?"}));
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(ViewTest, NothingToInstallAndRarArchives) {
  auto f = openWith(kThree);
  ui.answerMessage(kBtnOk);
  f->Install1Click();
  EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"Couldn't find any file to install!"});
  EXPECT_TRUE(ui.modalWindows.empty());
  f->RarMode = true;
  ui.answerMessage(kBtnOk);
  ui.answerMessage(kBtnOk);
  f->Viewfile1Click();
  f->Executefile1Click();
  EXPECT_EQ(ui.boxTexts().size(), 3u);
  EXPECT_EQ(ui.boxTexts()[1], "KELVORY don't support this action on RAR files!");
  EXPECT_TRUE(ui.unexpected.empty());
}
