// The File-menu commands: new, open, close, save as, copy, delete and properties of
// an archive file, and the rebuild of a changed self-extracting archive, which never
// harms the archive when it is cancelled.
#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <filesystem>

#include "app/app_fixture.h"
#include "dialogs/addform.h"
#include "dialogs/info.h"
#include "platform/drives.h"
#include "platform/paths.h"
#include "platform/pump.h"
#include "widgets/qt_ui.h"
#include "widgets/sortgrid.h"

TEST_F(AppTest, NewAppendsZipUnlessTheNameHasIt) {
  auto f = make();
  ui.answerOpenFile(dir / "backup");
  ui.onModal([](platform::ModalWindow& w) {  // New goes on to the Add dialog
    dialogOf<TAddForm>(w).BitBtn2Click();
    return 0;
  });
  f->BU_NewClick();
  EXPECT_EQ(ui.modalWindows, std::vector<std::string>{"TAddForm"});
  f->AfterNewArchive = nullptr;
  EXPECT_EQ(f->ZipEngine1.ZipFilename(), dir / "backup.zip");
  EXPECT_EQ(f->windowTitle(), QString::fromStdString("Kelvory '99 - " + dir / "backup.zip"));
  EXPECT_TRUE(f->Action("Add1")->isEnabled());
  ui.answerOpenFile(dir / "BACKUP.ZIP");
  f->BU_NewClick();
  EXPECT_EQ(f->ZipEngine1.ZipFilename(), dir / "BACKUP.ZIP");
  EXPECT_EQ(ui.fileDialogs.back().title, "Create New ZIP File");
  EXPECT_EQ(ui.fileDialogs.back().filter, "ZIP Files (*.ZIP)|*.zip");
  EXPECT_EQ(f->ZipEngine1.Tag, 0) << "a fixed drive never spans";
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(AppTest, NewOverAnExistingFileAsksFirst) {
  std::string zip = writeZip("old.zip", kThree);
  std::string before = readFile(zip);
  auto f = make();
  f->AfterNewArchive = nullptr;  // the Add dialog that follows New is tested elsewhere
  ui.answerOpenFile(zip).answerMessage(kBtnNo);
  f->BU_NewClick();
  EXPECT_EQ(ui.boxes.back().text, "Overwrite Existing File: " + zip + "?");
  EXPECT_EQ(readFile(zip), before);
  EXPECT_TRUE(f->ZipEngine1.ZipFilename().empty());
  ui.answerOpenFile(zip).answerMessage(kBtnYes);
  f->BU_NewClick();
  EXPECT_FALSE(platform::fileExists(zip));
  EXPECT_EQ(f->ZipEngine1.ZipFilename(), zip);
  EXPECT_EQ(f->ZipEngine1.EntryCount(), 0);
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(AppTest, NewOnARemovableDriveChoosesSpanning) {
  platform::SimulatedDrives sim(platform::drives());
  std::string floppy = dir / "floppy";
  sim.addRemovableDrive(floppy);
  sim.insertDisk(floppy, sim.addDisk(floppy, "DISK1", 1440 * 1024));
  platform::setDrives(&sim);
  auto f = make();
  f->AfterNewArchive = nullptr;  // the Add dialog that follows New is tested elsewhere
  ui.answerOpenFile(floppy + "/set.zip");
  f->BU_NewClick();
  EXPECT_EQ(f->ZipEngine1.Tag, 1);
  settings.FormatCB = false;
  ui.answerOpenFile(floppy + "/set2.zip");
  f->BU_NewClick();
  EXPECT_EQ(f->ZipEngine1.Tag, 2);
  settings.CheckBox1 = false;
  ui.answerOpenFile(floppy + "/set3.zip");
  f->BU_NewClick();
  EXPECT_EQ(f->ZipEngine1.Tag, 0);
  platform::setDrives(nullptr);
}

TEST_F(AppTest, OpenChoosesTheKindByExtension) {
  std::string sfx = writeZip("SETUP.EXE", kThree, std::string(4096, 'M'));
  auto f = make();
  ui.answerOpenFile(sfx);
  f->BU_OpenClick();
  EXPECT_EQ(ui.fileDialogs.back().title, "Open archive");
  EXPECT_EQ(f->ZipEngine1.EntryCount(), 3);
  EXPECT_EQ(f->ZipEngine1.ContentStart(), 4096u);
  EXPECT_EQ(f->Action("MakeSelfExtractedfile1")->text(), QStringLiteral("Create &ZIP file"));
  EXPECT_EQ(f->Action("MakeEXEfile1")->text(), QStringLiteral("Create &ZIP file"));
  EXPECT_EQ(platform::ini::readString(ini(), "RECENT", "0", ""), sfx);
  EXPECT_EQ(f->Action("Fil0")->data().toString(), QString::fromStdString("0=" + sfx));
  // Closing puts the captions back and empties the listing.
  f->Closearchive1Click();
  EXPECT_EQ(f->Action("MakeSelfExtractedfile1")->text(), QStringLiteral("&Make Self Extracting file"));
  EXPECT_EQ(f->windowTitle(), QStringLiteral("Kelvory '99 - <none>"));
  EXPECT_FALSE(f->Action("Extract1")->isEnabled());
  EXPECT_EQ(f->StringGrid1->RowCount(), 2);
  EXPECT_EQ(f->StringGrid1->Cells(0, 0), QStringLiteral("Filename"));
  EXPECT_TRUE(f->StringGrid1->Cells(0, 1).isEmpty());
}

TEST_F(AppTest, OpenOfAFileThatIsNoArchiveOpensNothing) {
  std::string junk = dir.write("junk.zip", std::string(500, 'j'));
  auto f = make();
  ui.answerOpenFile(junk).answerMessage(kBtnOk);
  f->BU_OpenClick();
  EXPECT_EQ(ui.boxes.back().text, "This archive is not a valid Zip archive");
  EXPECT_EQ(f->windowTitle(), QStringLiteral("Kelvory '99 - <none>"));
  EXPECT_FALSE(f->Action("Extract1")->isEnabled());
  EXPECT_TRUE(platform::ini::readSection(ini(), "RECENT").empty());
}

TEST_F(AppTest, SaveAsAddsTheExtensionOfTheOpenArchive) {
  std::string sfx = writeZip("A.EXE", kThree, std::string(100, 'M'));
  auto f = make();
  f->ZipEngine1.setZipFilename(sfx);
  ui.answerSaveFile(dir / "copy");
  f->Savearchiveas1Click();
  EXPECT_EQ(readFile(dir / "copy.EXE"), readFile(sfx));
  EXPECT_EQ(f->windowTitle(), QString::fromStdString("Kelvory '99 - " + dir / "copy.EXE"));
  EXPECT_EQ(ui.fileDialogs.back().fileName, sfx);
  // With no archive named, and with a named archive that is gone.
  f->ZipEngine1.setZipFilename("");
  ui.answerMessage(kBtnOk);
  f->Savearchiveas1Click();
  EXPECT_EQ(ui.boxes.back().text, "Error :No file selected");
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(AppTest, CopyArchiveChecksTheFreeSpace) {
  std::string zip = writeZip("big.zip", {{"data.bin", std::string(5000, 'x')}});
  platform::SimulatedDrives sim(platform::drives());
  std::string stick = dir / "stick";
  sim.addRemovableDrive(stick);
  sim.insertDisk(stick, sim.addDisk(stick, "STICK", 1000));
  platform::setDrives(&sim);
  auto f = make();
  f->ZipEngine1.setZipFilename(zip);
  ui.answerInput(stick).answerMessage(kBtnOk);
  f->Copyarchive1Click();
  EXPECT_EQ(ui.inputs.back(), "Copy archive|Copy to:");
  EXPECT_EQ(ui.boxes.back().text, "Not enough space on destination drive!");
  EXPECT_FALSE(platform::fileExists(stick + "/big.zip"));
  platform::setDrives(nullptr);
  // A folder that does not exist is made on Yes, then the copy goes in.
  ui.answerInput(dir / "new/sub").answerMessage(kBtnYes).answerMessage(kBtnOk);
  f->Copyarchive1Click();
  EXPECT_EQ(ui.boxes[ui.boxes.size() - 2].text, "Can't find destination drive/directory, Create it?");
  EXPECT_EQ(ui.boxes.back().text, "Copy successful");
  EXPECT_EQ(readFile(dir / "new/sub/big.zip"), readFile(zip));
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(AppTest, CopyToARelativeFolderGoesBesideTheArchive) {
  const std::string zip = writeZip("keep/a.zip", kThree);
  dir.write("started/here.txt", "");
  const auto before = std::filesystem::current_path();
  std::filesystem::current_path(dir / "started");  // where the program was started from
  auto f = make();
  ASSERT_TRUE(f->OpenArchive(zip));
  ui.answerInput("backup/today").answerMessage(kBtnYes).answerMessage(kBtnOk);
  f->Copyarchive1Click();
  EXPECT_EQ(readFile(dir / "keep/backup/today/a.zip"), readFile(zip));
  EXPECT_FALSE(std::filesystem::exists(dir / "started/backup"));
  // "~" is the home folder, as in a shell.
  const char* home = std::getenv("HOME");
  const std::string savedHome = home ? home : "";
  ::setenv("HOME", (dir / "home").c_str(), 1);
  std::filesystem::create_directories(dir / "home/copies");
  ui.answerInput("~/copies").answerMessage(kBtnOk);
  f->Copyarchive1Click();
  ::setenv("HOME", savedHome.c_str(), 1);
  std::filesystem::current_path(before);
  EXPECT_EQ(readFile(dir / "home/copies/a.zip"), readFile(zip));
  // "." is the archive's own folder: the copy would be the archive itself, and is refused.
  ui.answerInput(".").answerMessage(kBtnOk);
  f->Copyarchive1Click();
  EXPECT_EQ(readFile(zip), readFile(dir / "keep/backup/today/a.zip")) << "the archive is intact";
  EXPECT_NE(ui.boxes.back().text.find("onto itself"), std::string::npos) << ui.boxes.back().text;
  EXPECT_TRUE(ui.unexpected.empty()) << ui.unexpected.front();
}

TEST_F(AppTest, DeleteArchiveAsksAndClears) {
  std::string zip = writeZip("gone.zip", kThree);
  auto f = make();
  f->ZipEngine1.setZipFilename(zip);
  f->SetCaption(zip);
  ui.answerMessage(kBtnNo);
  f->Delete2Click();
  EXPECT_TRUE(platform::fileExists(zip));
  ui.answerMessage(kBtnYes);
  f->Delete2Click();
  EXPECT_EQ(ui.boxes.back().text, "Are you sure you want to delete: " + zip + "?");
  EXPECT_FALSE(platform::fileExists(zip));
  EXPECT_EQ(f->windowTitle(), QStringLiteral("Kelvory '99 - <none>"));
  EXPECT_EQ(f->StringGrid1->RowCount(), 1);
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(AppTest, PropertiesSumTheSizeCells) {
  std::string zip = writeZip("p.zip", kThree);
  auto f = make();
  f->ZipEngine1.setZipFilename(zip);
  ui.onModal([&](platform::ModalWindow& w) {
    auto& info = dialogOf<TF_Info>(w);
    EXPECT_EQ(info.la_Archive->text(), QStringLiteral("p.zip"));
    EXPECT_EQ(info.la_Size->text().toULongLong(), std::filesystem::file_size(zip));
    EXPECT_EQ(info.la_Unc->text(), QStringLiteral("18"));
    EXPECT_FALSE(info.la_Date->text().isEmpty());
    return 1;
  });
  f->Archiveinformation1Click();
  EXPECT_EQ(ui.modalWindows, std::vector<std::string>{"TF_Info"});
  // Without a listed file there is nothing to show.
  f->Closearchive1Click();
  ui.answerMessage(kBtnOk);
  f->Archiveinformation1Click();
  EXPECT_EQ(ui.boxes.back().text, "You must create a new zipfile or open a zipfile first!");
}

TEST_F(AppTest, RebuildSfxPutsTheNewStubInFront) {
  std::string sfx = writeZip("app.exe", kThree, std::string(3000, 'O'));
  dir.write("kelvory.dat", std::string(5000, 'N'));
  auto f = make();
  f->ZipEngine1.setZipFilename(sfx);
  f->ArchiveChanged = true;
  f->RebuildSfx();
  std::string data = readFile(sfx);
  EXPECT_EQ(data.substr(0, 5000), std::string(5000, 'N'));
  f->ZipEngine1.setZipFilename(sfx);
  EXPECT_EQ(f->ZipEngine1.EntryCount(), 3);
  EXPECT_EQ(f->ZipEngine1.ContentStart(), 5000u);
  EXPECT_FALSE(f->ZipEngine1.StructureError()) << "the stored offsets follow the new stub";
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(AppTest, CancelledRebuildLeavesTheArchiveAsItWas) {
  std::string sfx = writeZip("app.exe", {{"big.bin", std::string(2 << 20, 'z')}}, std::string(3000, 'O'));
  dir.write("kelvory.dat", std::string(5000, 'N'));
  std::string before = readFile(sfx);
  auto f = make();
  f->ZipEngine1.setZipFilename(sfx);
  f->ArchiveChanged = true;
  int pumps = 0;
  platform::setPumpHook([&] {
    // The user presses Cancel while the copy runs.
    if (++pumps == 3) f->CancelBut->setProperty("Tag", 0);
  });
  ui.answerMessage(kBtnOk);
  f->RebuildSfx();
  platform::setPumpHook(nullptr);
  EXPECT_EQ(ui.boxes.back().text, "Update EXE file aborted by user");
  EXPECT_EQ(readFile(sfx), before);
  int files = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) files += e.is_regular_file();
  EXPECT_EQ(files, 4) << "no half-written file is left (archive, stub, settings, favourites)";
}

TEST_F(AppTest, RebuildWithoutStubWarnsAndKeepsTheArchive) {
  std::string sfx = writeZip("app.exe", kThree, std::string(300, 'O'));
  std::string before = readFile(sfx);
  auto f = make();
  f->ZipEngine1.setZipFilename(sfx);
  f->RebuildSfx();  // unchanged archive: nothing to do
  EXPECT_TRUE(ui.boxes.empty());
  f->ArchiveChanged = true;
  ui.answerMessage(kBtnOk);
  f->RebuildSfx();
  EXPECT_EQ(ui.boxes.back().text, "Couldn't read KELVORY 98 SelfExtract Information!\rPlease reinstall KELVORY 98!");
  EXPECT_EQ(readFile(sfx), before);
}
