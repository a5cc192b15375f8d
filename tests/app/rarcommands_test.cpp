// A RAR archive in the main window: it lists into the grid with the same column
// rules as ZIP, extracts and tests through the RAR reader, asks for passwords and
// missing volumes, stops on Cancel without leaving partial files, and every
// command that would change it is refused without touching it.
#include <QAction>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <chrono>
#include <filesystem>

#include "app/app_fixture.h"
#include "app/toolbar.h"
#include "dialogs/extract.h"
#include "dialogs/settings.h"
#include "platform/paths.h"
#include "platform/pump.h"
#include "rarlib/rar_builder.h"
#include "widgets/qt_ui.h"
#include "widgets/sortgrid.h"

namespace fs = std::filesystem;

namespace {

const char* const kRefused = "KELVORY don't support this action on RAR files!";

std::string sample(const std::string& name) { return std::string(KV_RAR_SAMPLES) + "/" + name; }

}  // namespace

class RarWindowTest : public AppTest {
 protected:
  std::unique_ptr<TMainform> openRar(const std::vector<rartest::Entry>& entries, const std::string& name = "t.rar") {
    auto f = make();
    f->OpenArchive(dir.write(name, rartest::rar5(entries)));
    return f;
  }
  std::vector<QString> column(TMainform& f, const QString& title) {
    std::vector<QString> cells;
    int c = f.ColumnOf(title);
    for (int r = 1; r < f.StringGrid1->RowCount(); ++r) cells.push_back(f.StringGrid1->Cells(c, r));
    return cells;
  }
  const std::vector<rartest::Entry> three = {rartest::file("a.txt", "alpha"), rartest::folder("dir"),
                                             rartest::file("dir/b.txt", "bravo!"), rartest::file("c.txt", "charlie")};
};

TEST_F(RarWindowTest, ThreeFilesListThreeRowsAndTheTotalCountsThemAll) {
  auto f = make();
  const std::string path = dir.write("THREE.RAR", rartest::rar5(three));
  ASSERT_TRUE(f->OpenArchive(path));  // the extension is compared in lower case
  EXPECT_TRUE(f->RarMode);
  EXPECT_EQ(column(*f, "Filename"), (std::vector<QString>{"a.txt", "dir/b.txt", "c.txt"}));
  EXPECT_EQ(column(*f, "Size"), (std::vector<QString>{"5", "6", "7"}));
  EXPECT_EQ(column(*f, "Path"), (std::vector<QString>{"", "", ""}));
  EXPECT_EQ(f->Panel4->text(), QStringLiteral("Total 3 files,  18 Bytes"));
  EXPECT_EQ(f->windowTitle(), QString::fromStdString("Kelvory '99 - " + path));
  EXPECT_EQ(platform::ini::readString(ini(), "RECENT", "0", ""), path);
  // Read-only: the commands that change an archive are off, Extract and Test on.
  for (const char* name : {"Add1", "Delete1", "Viewfile1", "Executefile1", "Install1", "Splitarchive1",
                           "MakeSelfExtractedfile1", "Add2", "Delete3", "Run1", "Install2", "MakeEXEfile1"})
    EXPECT_FALSE(f->Action(name)->isEnabled()) << name;
  for (const char* name : {"Extract1", "Test1", "Closearchive1", "Extract2", "Test2"})
    EXPECT_TRUE(f->Action(name)->isEnabled()) << name;
  // A sample made by the real archiver: four files of 4096 bytes.
  ASSERT_TRUE(f->OpenArchive(sample("test_read_format_rar5_multiple_files.rar")));
  EXPECT_EQ(f->Panel4->text(), QStringLiteral("Total 4 files,  16 KB"));
  EXPECT_EQ(column(*f, "Packed").size(), 4u);
  // A ZIP archive afterwards is the engine's again, with every command back.
  ASSERT_TRUE(f->OpenArchive(writeZip("z.zip", kThree)));
  EXPECT_FALSE(f->RarMode);
  EXPECT_TRUE(f->Action("Add1")->isEnabled());
  EXPECT_TRUE(f->Action("MakeSelfExtractedfile1")->isEnabled());
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(RarWindowTest, CommandsThatWouldChangeTheArchiveAreRefused) {
  auto f = openRar(three);
  const std::string before = readFile(f->rar.ArchiveName);
  f->BU_AddClick();
  f->BU_DeleteFileClick();
  f->ToolPictures[2]->OnClick();  // Run
  f->ToolPictures[3]->OnClick();  // View
  f->ToolPictures[5]->OnClick();  // Add
  f->ToolPictures[6]->OnClick();  // Delete
  f->StringGrid1->OnDblClick(f->StringGrid1);
  EXPECT_EQ(ui.boxTexts(), std::vector<std::string>(7, kRefused));
  for (const auto& b : ui.boxes) EXPECT_EQ(b.kind, platform::MsgKind::Error);
  EXPECT_EQ(readFile(f->rar.ArchiveName), before);
  EXPECT_EQ(f->StringGrid1->RowCount(), 4);
  EXPECT_TRUE(ui.modalWindows.empty()) << "no dialog was opened";
}

TEST_F(RarWindowTest, ExtractSelectedThenAllFiles) {
  auto f = openRar(three);
  ui.acceptInformationBoxes(true);
  const std::string out = dir / "out";
  fs::create_directories(out);
  f->StringGrid1->setSelection(TGridRect{0, 2, 4, 2});  // dir/b.txt
  ui.onModal(extractTo(out, 1));
  f->BU_ExtractClick();
  EXPECT_EQ(readFile(out + "/dir/b.txt"), "bravo!");
  EXPECT_FALSE(fs::exists(out + "/a.txt"));
  ui.onModal(extractTo(out, 0));
  f->BU_ExtractClick();
  EXPECT_EQ(readFile(out + "/a.txt"), "alpha");
  EXPECT_EQ(readFile(out + "/c.txt"), "charlie");
  EXPECT_EQ(ui.boxTexts(), (std::vector<std::string>{"1 file(s) were extracted", "3 file(s) were extracted"}));
  EXPECT_EQ(platform::ini::readString(ini(), "FOLDERS", "LASTE", ""), out);
  EXPECT_TRUE(f->CancelBut->isHidden());
  EXPECT_EQ(f->Panel4->text(), QStringLiteral("Total 3 files,  18 Bytes"));
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(RarWindowTest, TestNamesEachDamagedFileAndGoesOn) {
  auto f = make();
  ui.acceptInformationBoxes(true);
  ASSERT_TRUE(f->OpenArchive(sample("derived_crcerror_rar4_stored.rar")));
  std::vector<QString> tested;
  f->rar.OnTested = [&, was = f->rar.OnTested](TRAR& r, const RARHeaderData& h, bool ok) {
    tested.push_back(QString::fromUtf8(h.FileName));
    was(r, h, ok);
  };
  f->Test1Click();
  EXPECT_EQ(ui.boxTexts(),
            (std::vector<std::string>{"test.txtHas CRC ERROR", "CRC error, data damaged", "Archive is corrupted"}));
  EXPECT_GT(tested.size(), 1u) << "the entries after the damaged one are tested too";
  EXPECT_EQ(ui.boxes[0].kind, platform::MsgKind::Warning);
  EXPECT_EQ(ui.boxes[1].kind, platform::MsgKind::Error);
  ui.boxes.clear();
  ASSERT_TRUE(f->OpenArchive(sample("test_read_format_rar5_solid.rar")));
  f->Test1Click();
  EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"Archive is OK"});
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(RarWindowTest, PasswordAnsweredWronglyOrCancelled) {
  rartest::Entry locked = rartest::file("locked.txt", "secret data");
  locked.password = "right";
  auto f = openRar({rartest::file("open.txt", "plain"), locked});
  const std::string out = dir / "out";
  fs::create_directories(out);
  ui.acceptInformationBoxes(true);
  // A wrong password is told as such; the plain entry is extracted all the same.
  // The prompt is the one of encrypted ZIP entries.
  ui.onModal(extractTo(out)).answerInput("wrong");
  f->BU_ExtractClick();
  EXPECT_EQ(ui.inputs, std::vector<std::string>{"Password required|Password:"});
  EXPECT_EQ(ui.boxTexts(), (std::vector<std::string>{"Wrong password", "1 file(s) were extracted"}));
  EXPECT_EQ(ui.boxes[0].kind, platform::MsgKind::Error);
  EXPECT_EQ(readFile(out + "/open.txt"), "plain");
  // Cancelled: no password, and the entry fails for want of one.
  ui.boxes.clear();
  ui.onModal(extractTo(out)).answerInput(std::nullopt);
  f->BU_ExtractClick();
  EXPECT_EQ(ui.boxTexts(),
            (std::vector<std::string>{"Encrypted file: a password is needed", "1 file(s) were extracted"}));
  EXPECT_FALSE(fs::exists(out + "/locked.txt")) << "nothing half-decrypted is ever written";
  // The right one decrypts it.
  ui.boxes.clear();
  ui.onModal(extractTo(out)).answerInput("right");
  f->BU_ExtractClick();
  EXPECT_EQ(ui.boxTexts(), (std::vector<std::string>{"2 file(s) were extracted"}));
  EXPECT_EQ(readFile(out + "/locked.txt"), "secret data");
  // A test of the encrypted entry reports the password, never damage.
  ui.boxes.clear();
  ui.answerInput("wrong");
  f->Test1Click();
  EXPECT_EQ(ui.boxTexts(), (std::vector<std::string>{"Wrong password", "Archive is corrupted"}));
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(RarWindowTest, EncryptedSamplesAskAndExtractTheirPlaintext) {
  auto f = make();
  const std::string out = dir / "out";
  fs::create_directories(out);
  ui.acceptInformationBoxes(true);
  // Each encrypted entry asks for its own password.
  ASSERT_TRUE(f->OpenArchive(sample("test_read_format_rar5_encrypted.rar")));
  ui.onModal(extractTo(out)).answerInput("password").answerInput("password2");
  f->BU_ExtractClick();
  EXPECT_EQ(ui.boxTexts(), (std::vector<std::string>{"4 file(s) were extracted"}));
  EXPECT_EQ(readFile(out + "/b.txt"), "This is from b.txt");
  EXPECT_EQ(readFile(out + "/d.txt"), "This is from d.txt");
  // Encrypted headers: asked once, when the archive is opened; later commands
  // use the same password.
  ui.boxes.clear();
  ui.inputs.clear();
  ui.answerInput("password");
  ASSERT_TRUE(f->OpenArchive(sample("test_read_format_rar5_encrypted_filenames.rar")));
  EXPECT_EQ(ui.inputs, std::vector<std::string>{"Password required|Password:"});
  EXPECT_EQ(column(*f, "Filename"), (std::vector<QString>{"a.txt", "b.txt", "c.txt", "d.txt"}));
  fs::remove_all(out);
  fs::create_directories(out);
  ui.onModal(extractTo(out));
  f->BU_ExtractClick();
  EXPECT_EQ(ui.boxTexts(), (std::vector<std::string>{"4 file(s) were extracted"}));
  EXPECT_EQ(readFile(out + "/a.txt"), "This is from a.txt");
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(RarWindowTest, CancelEndsALongExtractionAtOnceAndLeavesNoPartialFile) {
  auto f = openRar({rartest::file("big.bin", std::string(40 << 20, 'b')), rartest::file("after.txt", "x")});
  const std::string out = dir / "out";
  fs::create_directories(out);
  using Clock = std::chrono::steady_clock;
  Clock::time_point cancelledAt{};
  platform::setPumpHook([&] {
    if (cancelledAt == Clock::time_point{} && f->ProgressBar1->value() > 0 && !f->CancelBut->isHidden()) {
      f->CancelButClick();
      cancelledAt = Clock::now();
    }
  });
  ui.onModal(extractTo(out));
  f->BU_ExtractClick();
  const auto ended = Clock::now();
  platform::setPumpHook(nullptr);
  ASSERT_NE(cancelledAt, Clock::time_point{}) << "the extraction reported progress";
  EXPECT_LT(ended - cancelledAt, std::chrono::seconds(1));
  EXPECT_TRUE(fs::is_empty(out)) << "neither the big file nor a temporary of it is left";
  EXPECT_TRUE(ui.boxes.empty()) << "no count and no error after Cancel";
  EXPECT_EQ(f->Panel3->text(), QStringLiteral("Cancelled: not every file was extracted"));
  EXPECT_FALSE(f->rar.Stop);
  // A test stopped the same way gives no verdict on what it did not reach.
  cancelledAt = {};
  platform::setPumpHook([&] {
    if (cancelledAt == Clock::time_point{} && f->ProgressBar1->value() > 0 && !f->CancelBut->isHidden()) {
      f->CancelButClick();
      cancelledAt = Clock::now();
    }
  });
  f->Test1Click();
  platform::setPumpHook(nullptr);
  ASSERT_NE(cancelledAt, Clock::time_point{}) << "the test reported progress";
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(f->Panel3->text(), QStringLiteral("Cancelled: not every file was tested"));
}

TEST_F(RarWindowTest, MissingVolumeIsAskedFor) {
  std::vector<std::string> parts =
      rartest::rar5Volumes({rartest::file("one.bin", std::string(3000, '1')), rartest::file("two.txt", "2")}, 1000);
  ASSERT_GE(parts.size(), 3u);
  for (std::size_t i = 0; i < parts.size(); ++i)
    if (i != 1) dir.write("set.part" + std::to_string(i + 1) + ".rar", parts[i]);
  auto f = make();
  ui.answerMessage(kBtnOk).answerMessage(kBtnOk);
  ASSERT_TRUE(f->OpenArchive(dir / "set.part1.rar"));
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[0].text, "Please Insert disk with " + (dir / "set.part2.rar"));
  EXPECT_EQ(ui.boxes[0].kind, platform::MsgKind::Information);
  EXPECT_EQ(ui.boxes[1].text, "File open error");
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(RarWindowTest, FileCommandsActOnTheRarArchive) {
  auto f = openRar(three);
  const std::string path = f->rar.ArchiveName;
  // Save as: the RAR archive's extension is added to a bare name.
  ui.answerSaveFile(dir / "copy");
  f->Savearchiveas1Click();
  EXPECT_EQ(readFile(dir / "copy.RAR"), readFile(path));
  // A ZIP file that cannot be opened leaves the RAR archive listed.
  const std::string junk = dir.write("junk.zip", std::string(300, 'j'));
  ui.acceptInformationBoxes(true);
  f->OpenArchive(junk);
  EXPECT_TRUE(f->RarMode);
  EXPECT_EQ(f->StringGrid1->RowCount(), 4);
  // Copy takes the RAR file the window works on, since Save as the new one.
  ui.answerInput(dir / "copies").answerMessage(platform::kBtnYes);
  f->Copyarchive1Click();
  EXPECT_EQ(readFile(dir / "copies/copy.RAR"), readFile(path));
  // Close puts the RAR archive at the top of the recent list.
  f->OpenArchive(path);
  f->Closearchive1Click();
  EXPECT_FALSE(f->RarMode);
  EXPECT_EQ(platform::ini::readString(ini(), "RECENT", "0", ""), path);
  EXPECT_EQ(f->windowTitle(), QStringLiteral("Kelvory '99 - <none>"));
  // New settings list a RAR archive anew, in their date format.
  ASSERT_TRUE(f->OpenArchive(sample("test_read_format_rar5_multiarchive_solid.part01.rar")));
  EXPECT_EQ(f->StringGrid1->Cells(f->ColumnOf("Modified"), 1).left(5), QStringLiteral("2018/"));
  settings.co_DateFormat = "yy/mm/dd";
  f->F_Settings->BitBtn1Click();
  EXPECT_EQ(f->StringGrid1->Cells(f->ColumnOf("Modified"), 1).left(6), QStringLiteral("18/09/"));
  EXPECT_EQ(f->StringGrid1->RowCount(), 10);
  // Deleting the open RAR file leaves nothing open and no RAR restrictions behind.
  ASSERT_TRUE(f->OpenArchive(path));
  ui.answerMessage(platform::kBtnYes);
  f->Delete2Click();
  EXPECT_EQ(ui.boxes.back().text, "Are you sure you want to delete: " + path + "?");
  EXPECT_FALSE(fs::exists(path));
  EXPECT_FALSE(f->RarMode);
  EXPECT_TRUE(f->rar.ArchiveName.empty());
  EXPECT_FALSE(f->Action("Extract1")->isEnabled());
  EXPECT_TRUE(ui.unexpected.empty());
}
