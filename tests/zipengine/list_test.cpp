// Reading an archive's directory: the end record is found where the format allows
// it, stubs and trailing bytes are handled as the engine promises, and every
// failure gives its exact text, an emptied ZipFilename and still a directory update.
#include <filesystem>

#include "platform/drives.h"
#include "zipengine/engine_fixture.h"
#include "zipengine/zip_builder.h"
#include "support/param_name.h"

using namespace ziptest;

namespace {
const std::vector<std::string> kSampleNames = {"readme.txt", "docs/", "docs/notes.txt"};
}

class CommentLengthTest : public EngineTest, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(CommentLengthTest, EndRecordIsFoundWithItsComment) {
  const std::string comment(GetParam(), 'c');
  Parts p = build(sampleEntries(), comment);
  open(p.all());
  EXPECT_EQ(names(), kSampleNames);
  EXPECT_EQ(engine.ArchiveComment(), comment);
  EXPECT_EQ(engine.DirEndOffset(), p.body.size() + p.central.size());
  EXPECT_EQ(engine.ContentStart(), 0u);
  EXPECT_FALSE(engine.StructureError());
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(dirUpdates, 1);
}
INSTANTIATE_TEST_SUITE_P(Lengths, CommentLengthTest, ::testing::Values(0u, 1u, 22u, 4096u, 65535u),
                         testsupport::namedBy([](unsigned length) { return "comment" + std::to_string(length); }));

TEST_F(EngineTest, EndRecordFurtherBackThanTheLongestCommentIsNotFound) {
  // 65535 comment bytes plus one more byte puts the record 65558 bytes from the end.
  open(build(sampleEntries(), std::string(65535, 'c')).all() + "x");
  EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"This archive is not a valid Zip archive"});
  EXPECT_EQ(engine.ZipFilename(), "");
  EXPECT_EQ(engine.EntryCount(), 0);
}

TEST_F(EngineTest, CommentEndsAtItsFirstNul) {
  open(build(sampleEntries(), std::string("first\0second", 12)).all());
  EXPECT_EQ(engine.ArchiveComment(), "first");
  EXPECT_EQ(engine.EntryCount(), 3);
}

TEST_F(EngineTest, CommentInCodePage437IsShownAsUtf8) {
  open(build(sampleEntries(), "M\x81nchen").all());
  EXPECT_EQ(engine.ArchiveComment(), "M\xC3\xBCnchen");
}

TEST_F(EngineTest, StubInFrontWithAdjustedOffsets) {
  const std::string stub = "MZ" + std::string(998, 's');
  open(stub + build(sampleEntries(), {}, static_cast<std::uint32_t>(stub.size())).all(), "prog.exe");
  EXPECT_EQ(names(), kSampleNames);
  EXPECT_EQ(engine.ContentStart(), stub.size());
  EXPECT_FALSE(engine.StructureError());
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(EngineTest, StubInFrontWithoutAdjustedOffsetsWarnsAndLists) {
  const std::string stub(4096, 's');
  Parts p = build(sampleEntries());
  open(stub + p.all());
  EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"Warning - Error in zip structure!"});
  EXPECT_EQ(messages, ui.boxTexts());
  EXPECT_TRUE(engine.StructureError());
  EXPECT_EQ(names(), kSampleNames);
  EXPECT_EQ(engine.ContentStart(), stub.size());
  EXPECT_EQ(engine.CentralDirOffset(), stub.size() + p.body.size());
  EXPECT_EQ(engine.LastErrorCode(), zipmsg::kStructureWarning);
  EXPECT_FALSE(engine.ZipFilename().empty());
}

struct TrailingCase {
  const char* what;
  bool zeros;
  int roundTo;  // pad to the next multiple of this many bytes ...
  int extra;    // ... plus this many bytes
  bool warned;
};

class TrailingBytesTest : public EngineTest, public ::testing::WithParamInterface<TrailingCase> {};

TEST_P(TrailingBytesTest, OnlyShortZeroPaddingToABlockIsTolerated) {
  const TrailingCase& c = GetParam();
  std::string bytes = build(sampleEntries()).all();
  std::size_t target = (bytes.size() + c.roundTo - 1) / c.roundTo * c.roundTo + c.extra;
  if (target == bytes.size()) target += c.roundTo;
  bytes.append(target - bytes.size(), c.zeros ? '\0' : 'g');
  open(bytes);
  EXPECT_EQ(engine.EntryCount(), 3);
  if (c.warned)
    EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"Warning - Garbage at the end of the zipfile!"}) << c.what;
  else
    EXPECT_TRUE(ui.boxes.empty()) << c.what;
}
INSTANTIATE_TEST_SUITE_P(Cases, TrailingBytesTest,
                         ::testing::Values(TrailingCase{"zeros to a 512-byte block", true, 512, 0, false},
                                           TrailingCase{"zeros past a block", true, 512, 512, true},
                                           TrailingCase{"zeros not to a block", true, 512, 7, true},
                                           TrailingCase{"text to a block", false, 512, 0, true}),
                         [](const ::testing::TestParamInfo<TrailingCase>& info) { return paramName(info.param.what); });

TEST_F(EngineTest, NotAnArchiveEmptiesTheName) {
  open("This is plain text, not an archive at all.\n");
  EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"This archive is not a valid Zip archive"});
  EXPECT_EQ(ui.boxes.at(0).kind, platform::MsgKind::Warning);
  EXPECT_EQ(ui.boxes.at(0).buttons, platform::kOk);
  EXPECT_EQ(messages, ui.boxTexts());
  EXPECT_EQ(engine.ZipFilename(), "");
  EXPECT_EQ(engine.EntryCount(), 0);
  EXPECT_EQ(engine.ContentStart(), 0u);
  EXPECT_EQ(engine.LastErrorCode(), zipmsg::kNotValidZip);
  EXPECT_EQ(engine.LastMessage(), "This archive is not a valid Zip archive");
  EXPECT_EQ(dirUpdates, 1);
}

TEST_F(EngineTest, FirstFileOfASetOnAFixedDrive) {
  std::string first = "PK\x07\x08PK\x03\x04" + std::string(200, 'd');
  open(first, "set.z01");
  // The set is read from any volume: the last one, which holds the directory, is
  // missing here and named.
  EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"A volume of this spanned set is missing: " + dir / "set.zip"});
  EXPECT_TRUE(engine.SpannedSet());
  EXPECT_EQ(engine.ZipFilename(), "");
}

TEST_F(EngineTest, MissingFileEmptiesEntriesWithoutAMessage) {
  open(build(sampleEntries()).all());
  ASSERT_EQ(engine.EntryCount(), 3);
  engine.setZipFilename(dir / "gone.zip");
  EXPECT_TRUE(engine.Entries().empty());
  EXPECT_EQ(engine.EntryCount(), 0);
  EXPECT_EQ(engine.ZipFilename(), dir / "gone.zip");
  EXPECT_EQ(dirUpdates, 2);
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_TRUE(messages.empty());
}

TEST_F(EngineTest, NamesKeepTheirSlashes) {
  open(build({{"a/b/c.txt", "x"}, {"a/b/", ""}, {"top.txt", "t"}}).all());
  EXPECT_EQ(names(), (std::vector<std::string>{"a/b/c.txt", "a/b/", "top.txt"}));
  EXPECT_TRUE(engine.Entries()[1]->IsFolder());
  EXPECT_FALSE(engine.Entries()[0]->IsFolder());
}

TEST_F(EngineTest, EntryKeepsTheCentralHeaderBytes) {
  Entry e{"data.bin", std::string(1234, 'q')};
  e.comment = "a file comment";
  e.flags = 0x0001;
  Parts p = build({e}, "archive");
  open(p.all());
  ASSERT_EQ(engine.EntryCount(), 1);
  const ZipDirEntry& d = *engine.Entries()[0];
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(static_cast<const ZipCentralFields*>(&d)), 42),
            p.central.substr(4, 42));
  EXPECT_EQ(d.FileComment, "a file comment");
  EXPECT_TRUE(d.Encrypted());
  EXPECT_EQ(d.Crc32, crcOf(e.data));
  EXPECT_EQ(d.UncompressedSize64, 1234u);
  EXPECT_EQ(d.DosDateTime(), 0x586F5291u);
  EXPECT_EQ(d.HostSystem(), 3);
}

TEST_F(EngineTest, UnattendedShowsNoBoxButReports) {
  engine.Unattended = true;
  open("not a zip");
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(messages, std::vector<std::string>{"This archive is not a valid Zip archive"});
}

TEST_F(EngineTest, ArchivesWithoutEntries) {
  open(build({}).all());
  EXPECT_EQ(engine.EntryCount(), 0);
  EXPECT_FALSE(engine.ZipFilename().empty());
  EXPECT_EQ(engine.ContentStart(), 0u) << "an empty archive has no stub";
  // An empty self-extracting program: stub, then an end record pointing behind it.
  const std::string stub(600, 's');
  open(stub + build({}, {}, 600).all(), "empty.exe");
  EXPECT_EQ(engine.EntryCount(), 0);
  EXPECT_EQ(engine.ContentStart(), 600u);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(EngineTest, FakeEndRecordInsideTheCommentLosesToTheRealOne) {
  // A plausible-looking record (no entries) inside the comment; the real record's
  // comment reaches the end of the file.
  std::string fake = build({}).eocd;
  open(build(sampleEntries(), "see: " + fake + " (fake)").all());
  EXPECT_EQ(names(), kSampleNames);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(EngineTest, CommentRunningPastTheEndIsCutWithAWarning) {
  std::string bytes = build(sampleEntries(), "abcdef").all();
  bytes.resize(bytes.size() - 3);
  open(bytes);
  EXPECT_EQ(engine.EntryCount(), 3);
  EXPECT_EQ(engine.ArchiveComment(), "abc");
  EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"Warning - Garbage at the end of the zipfile!"});
}

TEST_F(EngineTest, Zip64SizesAndOffsetsComeFromTheExtraField) {
  std::vector<Entry> entries = sampleEntries();
  for (auto& e : entries) e.zip64 = true;
  Parts p = build(entries, "z", 0, true);
  open(p.all());
  ASSERT_EQ(names(), kSampleNames);
  EXPECT_FALSE(engine.StructureError());
  EXPECT_TRUE(ui.boxes.empty());
  const ZipDirEntry& notes = *engine.Entries()[2];
  EXPECT_EQ(notes.CompressedSize, 0xFFFFFFFFu);
  EXPECT_EQ(notes.CompressedSize64, 300u);
  EXPECT_EQ(notes.UncompressedSize64, 300u);
  EXPECT_EQ(notes.LocalHeaderOffset64, 30u + 10 + 15 + 30 + 5);
  ASSERT_TRUE(engine.Zip64End());
  EXPECT_EQ(engine.Zip64End()->TotalEntries, 3u);
}

TEST_F(EngineTest, Zip64RecordsAfterAStubAreFoundAndWarned) {
  std::vector<Entry> entries = sampleEntries();
  open(std::string(512, 's') + build(entries, {}, 0, true).all());
  EXPECT_EQ(names(), kSampleNames);
  EXPECT_TRUE(engine.StructureError());
  EXPECT_EQ(engine.ContentStart(), 512u);
}

TEST_F(EngineTest, MoreThan65535EntriesThroughZip64) {
  std::vector<Entry> entries;
  for (int i = 0; i < 70000; ++i) entries.push_back({"f" + std::to_string(i), ""});
  open(build(entries, {}, 0, true).all());
  ASSERT_EQ(engine.EntryCount(), 70000);
  EXPECT_EQ(engine.Entries()[69999]->FileName, "f69999");
  EXPECT_TRUE(ui.boxes.empty());
}

// ---- backup sets and drives on a simulated removable drive ----------------------

class RemovableDriveTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    platform::setDrives(&sim);
    root = dir / "floppy";
    sim.addRemovableDrive(root);
  }
  void TearDown() override { platform::setDrives(nullptr); }
  // Inserts a new disk with label holding one file with these bytes; returns its path.
  std::string diskWith(const std::string& label, const std::string& bytes) {
    sim.insertDisk(root, sim.addDisk(root, label, 1 << 20));
    return dir.write("floppy/set.zip", bytes);
  }

  platform::SimulatedDrives sim{platform::drives()};
  std::string root;
};

TEST_F(RemovableDriveTest, FirstDiskOfABackupSet) {
  engine.setZipFilename(diskWith("PKBACK# 001", "PK\x07\x08PK\x03\x04" + std::string(100, 'd')));
  EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{
                               "This is the first disk in a backup set,\nplease insert the last disk of this set"});
  EXPECT_EQ(engine.LabelDiskNumber(), 1);
  EXPECT_EQ(engine.ZipFilename(), "");
}

TEST_F(RemovableDriveTest, MiddleDiskOfABackupSet) {
  engine.setZipFilename(diskWith("PKBACK# 003", std::string(100, 'd')));
  EXPECT_EQ(ui.boxTexts(),
            std::vector<std::string>{"This is the 3th disk in a backup set,\nplease insert the last disk of this set"});
}

TEST_F(RemovableDriveTest, FirstFileWhenTheLabelNamesAnotherDisk) {
  engine.setZipFilename(diskWith("PKBACK# 002", "PK\x07\x08PK\x03\x04" + std::string(100, 'd')));
  EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{
                               "This is the first file in a backup set,\nplease choose the last file of this set"});
}

TEST_F(RemovableDriveTest, ArchiveOnALabelledDiskLists) {
  engine.setZipFilename(diskWith("PKBACK# 002", build(sampleEntries()).all()));
  EXPECT_EQ(engine.EntryCount(), 3);
  EXPECT_EQ(engine.VolumeLabel(), "PKBACK# 002");
  EXPECT_EQ(engine.LabelDiskNumber(), 2);
  EXPECT_EQ(engine.DriveRoot(), std::filesystem::canonical(root).string() + "/");
  EXPECT_FALSE(engine.SpannedSet());
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(RemovableDriveTest, UnreadableVolumeIsAnUndefinedDrive) {
  diskWith("DATA", "");
  sim.insertDisk(root, -1);  // the medium is gone, a file is still reachable
  engine.setZipFilename(dir.write("floppy/left.zip", build(sampleEntries()).all()));
  EXPECT_EQ(ui.boxTexts(),
            std::vector<std::string>{"Drive is NOT defined: " + std::filesystem::canonical(root).string() + "/"});
  EXPECT_EQ(engine.ZipFilename(), "");
}

TEST_F(EngineTest, DirectoryOnAnotherDiskCannotBeReadFromThisOne) {
  Parts p = build(sampleEntries());
  set16(p.eocd, 4, 2);  // this is disk 2 ...
  set16(p.eocd, 6, 1);  // ... the directory starts on disk 1
  open(p.all());
  EXPECT_TRUE(engine.SpannedSet());
  EXPECT_EQ(engine.LastDisk(), 2);
  EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"Error while reading a central header"});
  EXPECT_EQ(engine.ZipFilename(), "");
}

TEST_F(EngineTest, LastDiskOfASetWithItsDirectoryLists) {
  Parts p = build(sampleEntries());
  set16(p.eocd, 4, 2);
  set16(p.eocd, 6, 2);
  open(p.all());
  EXPECT_TRUE(engine.SpannedSet());
  EXPECT_EQ(engine.LastDisk(), 2);
  EXPECT_EQ(engine.EntryCount(), 3);
}
