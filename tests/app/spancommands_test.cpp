// The window's spanning commands: a set picked by any volume is joined into the
// chosen folder and opened, a name that shows no volume number is refused, and
// the open archive is written as volume files that join back to it. The volume
// sizes come from the settings, for the span command and a spanning Add alike.
#include <QCheckBox>
#include <filesystem>
#include <random>

#include "app/app_fixture.h"
#include "dialogs/addform.h"
#include "platform/paths.h"
#include "widgets/qt_ui.h"
#include "zipengine/spannames.h"

namespace fs = std::filesystem;
using testsupport::readFile;

using SpanCommandsTest = AppTest;

namespace {

std::string randomBytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen());
  return s;
}

// The numbered volumes written for archive, in order.
std::vector<std::string> volumesOf(const std::string& archive) {
  std::vector<std::string> v;
  for (int n = 0; fs::exists(spanname::NumberedVolume(archive, n)); ++n)
    v.push_back(spanname::NumberedVolume(archive, n));
  return v;
}

}  // namespace

TEST_F(SpanCommandsTest, SpannAndOpenSpannedRoundTrip) {
  std::vector<ziptest::Entry> big;
  for (int i = 0; i < 3; ++i) big.emplace_back("part" + std::to_string(i) + ".bin", std::string(90000, char('a' + i)));
  const std::string archive = writeZip("big.zip", big);
  fs::create_directories(dir / "vols");
  fs::create_directories(dir / "joined");
  auto f = make();
  ASSERT_TRUE(f->OpenArchive(archive));

  settings.MaxVolSizeEdit = "100000";
  ui.answerFolder(dir / "vols");
  f->Splitarchive1Click();
  EXPECT_EQ(ui.folderPickers, std::vector<std::string>{"Please specify a directory"});
  ASSERT_TRUE(fs::exists(dir / "vols/big001.zip"));
  ASSERT_TRUE(fs::exists(dir / "vols/big003.zip"));
  EXPECT_FALSE(fs::exists(dir / "vols/big004.zip"));
  EXPECT_LE(fs::file_size(dir / "vols/big001.zip"), 100000u);
  EXPECT_TRUE(f->ZipEngine1.AddOptions.contains(AddDiskSpan));
  EXPECT_EQ(f->ZipEngine1.ZipFilename(), archive) << "the open archive stays open";

  // Opened from its first volume: joined as big.zip in the chosen folder.
  ui.answerOpenFile(dir / "vols/big001.zip");
  ui.answerFolder(dir / "joined");
  f->Openspannedarchive1Click();
  ASSERT_EQ(ui.fileDialogs.size(), 1u);
  EXPECT_EQ(ui.fileDialogs[0].title, "Open spanned ZIP archive on last disk");
  EXPECT_EQ(ui.fileDialogs[0].filter, "ZIP Files (*.ZIP)|*.zip");
  EXPECT_EQ(readFile(dir / "joined/big.zip"), readFile(archive));
  EXPECT_EQ(f->ZipEngine1.ZipFilename(), dir / "joined/big.zip");
  EXPECT_EQ(f->ZipEngine1.EntryCount(), 3);
  EXPECT_EQ(f->windowTitle(), QStringLiteral("Kelvory '99 - big.zip"));
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(SpanCommandsTest, ANameWithoutVolumeNumberIsRefused) {
  const std::string plain = writeZip("plain.zip", kThree);
  auto f = make();
  ui.answerOpenFile(plain);
  ui.answerMessage(platform::kBtnOk);
  f->Openspannedarchive1Click();
  EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"This is not a valid (last)part of a spanned archive"});
  EXPECT_TRUE(ui.folderPickers.empty());
  EXPECT_TRUE(f->ZipEngine1.ZipFilename().empty());
}

TEST_F(SpanCommandsTest, SpannTakesTheVolumeSizesOfTheSettings) {
  const std::string archive =
      writeZip("r.zip", {{"r1.bin", randomBytes(150000, 1)}, {"r2.bin", randomBytes(120000, 2)}});
  fs::create_directories(dir / "vols");
  auto f = make();
  ASSERT_TRUE(f->OpenArchive(archive));
  settings.MaxVolSizeEdit = "64k";
  settings.FreeDisk1Edit = "10000";
  settings.MinFreeVolEdit = "100000";  // above the volume size: no volume could be written
  ui.answerFolder(dir / "vols");
  f->Splitarchive1Click();
  const std::vector<std::string> volumes = volumesOf(dir / "vols/r.zip");
  ASSERT_EQ(volumes.size(), 5u) << ui.boxTexts().size();
  EXPECT_EQ(fs::file_size(volumes[0]), 65536u - 10000u);
  for (const std::string& v : volumes) EXPECT_LE(fs::file_size(v), 65536u) << v;
  EXPECT_EQ(f->ZipEngine1.MinFreeVolumeSize, 65536 - 10000);

  std::string joined = dir / "joined.zip";
  ASSERT_EQ(f->ZipEngine1.ReadSpan(volumes[2], joined), 0) << f->ZipEngine1.LastMessage();
  EXPECT_TRUE(readFile(joined) == readFile(archive));
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(SpanCommandsTest, ASpanningSettingThatIsNoSizeIsNamedAndNothingIsWritten) {
  const std::string archive = writeZip("big.zip", kThree);
  fs::create_directories(dir / "vols");
  auto f = make();
  ASSERT_TRUE(f->OpenArchive(archive));
  settings.MaxVolSizeEdit = "10 MB";
  ui.answerFolder(dir / "vols");
  ui.answerMessage(platform::kBtnOk);
  f->Splitarchive1Click();
  ASSERT_EQ(ui.boxTexts().size(), 1u);
  EXPECT_NE(ui.boxTexts()[0].find("\"Max. volume size\" is not a size in bytes: \"10 MB\""), std::string::npos)
      << ui.boxTexts()[0];
  EXPECT_TRUE(fs::is_empty(dir / "vols"));
}

TEST_F(SpanCommandsTest, SpanningAddWritesVolumesNoLargerThanTheSetting) {
  dir.write("src/one.bin", randomBytes(90000, 3));
  dir.write("src/two.bin", randomBytes(90000, 4));
  auto f = make();
  ui.answerOpenFile(dir / "new.zip");
  f->AfterNewArchive = nullptr;
  f->BU_NewClick();
  // As for a new archive on a drive that is not fixed: the Add dialog offers spanning.
  f->ZipEngine1.Tag = 2;
  settings.MaxVolSizeEdit = "50000";
  ui.onModal([&](platform::ModalWindow& w) {
    auto& d = static_cast<TAddForm&>(static_cast<widgets::DialogWindow&>(w).dialog());
    d.SetFolder(dir / "src");
    d.BU_SelectallClick();
    d.BitBtn6Click();
    EXPECT_TRUE(d.CheckBox1->isEnabled());
    d.CheckBox1->setChecked(true);
    d.BitBtn1Click();
    return 1;
  });
  f->BU_AddClick();
  const std::vector<std::string> volumes = volumesOf(dir / "new.zip");
  ASSERT_EQ(volumes.size(), 4u);
  for (const std::string& v : volumes) EXPECT_LE(fs::file_size(v), 50000u) << v;
  EXPECT_FALSE(fs::exists(dir / "new.zip"));
  // The set is listed from its last volume.
  EXPECT_EQ(f->ZipEngine1.ZipFilename(), volumes.back());
  EXPECT_EQ(f->ZipEngine1.EntryCount(), 2);
  EXPECT_TRUE(ui.unexpected.empty());
}
