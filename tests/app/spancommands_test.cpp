// The window's spanning commands: a set picked by any volume is joined into the
// chosen folder and opened, a name that shows no volume number is refused, and
// the open archive is written as volume files that join back to it.
#include <filesystem>

#include "app/app_fixture.h"
#include "platform/paths.h"

namespace fs = std::filesystem;
using testsupport::readFile;

using SpanCommandsTest = AppTest;

TEST_F(SpanCommandsTest, SpannAndOpenSpannedRoundTrip) {
  std::vector<ziptest::Entry> big;
  for (int i = 0; i < 3; ++i) big.emplace_back("part" + std::to_string(i) + ".bin", std::string(90000, char('a' + i)));
  const std::string archive = writeZip("big.zip", big);
  fs::create_directories(dir / "vols");
  fs::create_directories(dir / "joined");
  auto f = make();
  ASSERT_TRUE(f->OpenArchive(archive));

  f->ZipEngine1.MaxVolumeSize = 100000;
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
