// Spanned sets on a removable drive (the simulated one): one volume per disk, each
// disk labelled with its number, the user asked for every disk with the exact
// texts, and the space rules of the first disk, of small disks and of full ones.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <regex>

#include "platform/drives.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "zipcore/directory.h"
#include "zipengine/zip_builder.h"
#include "zipengine/zipengine.h"

namespace fs = std::filesystem;
using testsupport::readFile;

namespace {

std::string randomBytes(std::size_t n, unsigned seed) {
  std::string s(n, '\0');
  unsigned x = seed * 2654435761u + 1;
  for (char& c : s) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x);
  }
  return s;
}

// Answers the disk prompts by putting the disk asked for into the drive
// ("Please insert disk volume N ..." puts disk N - 1 in, "Please insert last
// disk" the last one); every other box goes to the scripted queue.
class DiskUi : public testsupport::ScriptedUi {
 public:
  platform::SimulatedDrives* drives = nullptr;
  std::string drive;
  std::vector<std::string> prompts;
  int lastDisk = -1;                   // put in for "Please insert last disk"
  std::function<int(int)> chooseDisk;  // disk put in for a wanted disk number (default: that one)

  platform::MsgButton message(platform::MsgKind kind, const std::string& caption, const std::string& text,
                              platform::MsgButtons buttons) override {
    if (text.rfind("Please insert", 0) != 0) return ScriptedUi::message(kind, caption, text, buttons);
    prompts.push_back(text);
    boxes.push_back({kind, caption, text, buttons, platform::kBtnOk});
    int want = lastDisk;
    std::smatch m;
    if (std::regex_search(text, m, std::regex("volume (\\d+)"))) want = std::stoi(m[1]) - 1;
    if (chooseDisk) want = chooseDisk(want);
    if (want < 0 || want >= drives->diskCount(drive)) return platform::kBtnCancel;  // no such disk: give up
    drives->insertDisk(drive, want);
    return platform::kBtnOk;
  }
};

class DiskSpanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drive = dir / "floppy";
    sim.addRemovableDrive(drive);
    platform::setDrives(&sim);
    ui.drives = &sim;
    ui.drive = drive;
    ui.acceptInformationBoxes(true);
    engine.HowToDelete = htdFinal;
    std::vector<ziptest::Entry> entries;
    for (int i = 0; i < 5; ++i)
      entries.emplace_back("data" + std::to_string(i) + ".bin", randomBytes(i == 2 ? 10 : 120000, i + 3));
    input = dir.write("in.zip", ziptest::build(entries).all());
  }
  void TearDown() override {
    platform::setDrives(nullptr);
    EXPECT_TRUE(ui.unexpected.empty());
  }
  void addDisks(int count, std::uint64_t capacity) {
    for (int i = 0; i < count; ++i) sim.addDisk(drive, "BLANK", capacity);
  }
  // The set's file on disk n.
  std::string volume(int n) {
    sim.insertDisk(drive, n);
    return readFile(drive + "/set.zip");
  }

  testsupport::TempDir dir;
  platform::RealDrives real;
  platform::SimulatedDrives sim{real};
  DiskUi ui;
  TZipEngine engine;
  std::string drive, input;
};

}  // namespace

TEST_F(DiskSpanTest, DisksAreFilledLabelledAndReadBackWithTheirPrompts) {
  addDisks(5, 200000);
  ASSERT_EQ(engine.WriteSpan(input, drive + "/set.zip"), 0) << engine.LastMessage();
  const std::string root = fs::weakly_canonical(drive).string() + "/";
  // 480 kB on 200 kB disks; the number of disks is known once a disk's size is.
  ASSERT_EQ(ui.prompts.size(), 3u);
  EXPECT_EQ(ui.prompts[0], "Please insert disk volume 1\nin drive: " + root);
  EXPECT_EQ(ui.prompts[1], "Please insert disk volume 2 of 3\nin drive: " + root);
  EXPECT_EQ(ui.prompts[2], "Please insert disk volume 3 of 3\nin drive: " + root);
  for (int n = 0; n < 3; ++n) {
    char label[16];
    std::snprintf(label, sizeof label, "PKBACK# %03d", n + 1);
    EXPECT_EQ(sim.diskLabel(drive, n), label);
  }
  EXPECT_EQ(sim.diskLabel(drive, 3), "BLANK");
  // Data fills every disk but the last; no local header lies across two disks.
  const std::string last = volume(2);
  zipcore::Directory cd;
  {
    zipcore::InputFile f;
    ASSERT_TRUE(f.open(drive + "/set.zip"));
    zipcore::EndRecords end;
    ASSERT_EQ(zipcore::FindEndRecords(f, end), zipcore::EndSearch::Found);
    EXPECT_EQ(end.thisDisk(), 2u);
    ASSERT_EQ(zipcore::ReadCentralDirectory(f, end, cpAuto, cd), zipcore::DirError::None);
  }
  std::vector<std::string> vols;
  for (int n = 0; n < 3; ++n) vols.push_back(volume(n));
  for (int n = 0; n < 2; ++n) EXPECT_GT(vols[n].size(), 200000u - 60) << n;
  for (const auto& e : cd.entries) {
    const std::string& v = vols[e.diskNumberStart];
    ASSERT_LE(e.storedOffset + 30 + e.rawName.size(), v.size()) << e.name;
    EXPECT_EQ(zipcore::get32(v, e.storedOffset), zipcore::kLocalHeaderSig) << e.name;
  }

  // Reading: the last disk first (asked for by its own text), then from the first.
  sim.insertDisk(drive, -1);
  ui.prompts.clear();
  ui.boxes.clear();
  ui.lastDisk = 2;
  std::string out = dir.path() + "/joined.zip";
  ASSERT_EQ(engine.ReadSpan(drive + "/set.zip", out), 0) << engine.LastMessage();
  ASSERT_GE(ui.prompts.size(), 2u);
  EXPECT_EQ(ui.prompts[0], "Please insert last disk\nin drive: " + root);
  EXPECT_EQ(ui.prompts[1], "Please insert disk volume 1 of 3\nin drive: " + root);
  EXPECT_EQ(ui.boxes.front().kind, platform::MsgKind::Error);
  zipcore::InputFile j;
  ASSERT_TRUE(j.open(out));
  zipcore::Directory joined;
  ASSERT_EQ(zipcore::ReadDirectory(j, joined), zipcore::DirError::None);
  EXPECT_EQ(joined.entries.size(), 5u);
  EXPECT_EQ(readFile(out).size(), readFile(input).size());
}

TEST_F(DiskSpanTest, KeepFreeOnDisk1ShortensTheFirstDiskOnly) {
  addDisks(5, 200000);
  engine.KeepFreeOnDisk1 = 100000;
  ASSERT_EQ(engine.WriteSpan(input, drive + "/set.zip"), 0) << engine.LastMessage();
  EXPECT_LE(volume(0).size(), 100000u);
  EXPECT_GT(volume(0).size(), 100000u - 60);
  EXPECT_GT(volume(1).size(), 200000u - 60);
}

TEST_F(DiskSpanTest, DiskBelowMinFreeVolumeSizeIsRefusedAndItsFileDeleted) {
  sim.addDisk(drive, "A", 200000);
  sim.addDisk(drive, "SMALL", 30000);
  addDisks(3, 200000);
  // Disk 2 is asked for: the small one goes in first, then the next one.
  int asked = 0;
  ui.chooseDisk = [&](int want) { return want == 1 && asked++ == 0 ? 1 : want >= 1 ? want + 1 : want; };
  ui.answerMessage(platform::kBtnRetry);
  ASSERT_EQ(engine.WriteSpan(input, drive + "/set.zip"), 0) << engine.LastMessage();
  bool refused = false;
  for (const auto& b : ui.boxes)
    if (b.text == "This disk has not enough free space available") {
      refused = true;
      EXPECT_EQ(b.buttons, platform::kBtnRetry | platform::kBtnCancel);
    }
  EXPECT_TRUE(refused);
  sim.insertDisk(drive, 1);
  EXPECT_FALSE(fs::exists(drive + "/set.zip"));
  EXPECT_EQ(sim.diskLabel(drive, 1), "SMALL");
}

TEST_F(DiskSpanTest, FirstDiskAndUnattendedAreRefusedWithTheirTexts) {
  addDisks(5, 200000);
  ASSERT_EQ(engine.WriteSpan(input, drive + "/set.zip"), 0) << engine.LastMessage();
  sim.insertDisk(drive, 0);
  ui.boxes.clear();
  std::string out = dir.path();
  EXPECT_EQ(engine.ReadSpan(drive + "/set.zip", out), -7);
  EXPECT_EQ(engine.LastMessage(), "This is the first disk in a backup set,\nplease insert the last disk of this set");
  ASSERT_FALSE(ui.boxes.empty());
  EXPECT_EQ(ui.boxes.back().text, engine.LastMessage());
  EXPECT_FALSE(fs::exists(out));

  engine.Unattended = true;
  EXPECT_EQ(engine.WriteSpan(input, dir.path() + "/floppy/other.zip"), -7);
  EXPECT_EQ(engine.LastMessage(), "Unattended disk spanning not implemented");
}

TEST_F(DiskSpanTest, CancelAtAPromptStopsWithoutABox) {
  addDisks(1, 200000);  // the second disk asked for does not exist: the prompt is cancelled
  EXPECT_EQ(engine.WriteSpan(input, drive + "/set.zip"), -7);
  EXPECT_EQ(engine.LastMessage(), "User canceled operation");
  for (const auto& b : ui.boxes) EXPECT_NE(b.text, "User canceled operation");
}
