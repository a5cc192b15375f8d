// Spanned sets: WriteSpan cuts archives into volume files or labelled disks with
// headers kept whole, and sets (ours and those of zip -s) are listed and joined
// back from any volume, a missing or cut-short volume being named.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <random>
#include <regex>

#include "platform/drives.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "zipcore/directory.h"
#include "zipcore/inputfile.h"
#include "zipengine/spannames.h"
#include "zipengine/zip_builder.h"
#include "zipengine/zipengine.h"

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::shell;

namespace {

std::string randomBytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen());
  return s;
}

// Stored entries of random data, large enough to run over several volumes.
std::vector<ziptest::Entry> bigEntries() {
  std::vector<ziptest::Entry> e;
  const std::size_t sizes[] = {150000, 3, 90000, 0, 210000, 40000};
  for (std::size_t i = 0; i < std::size(sizes); ++i)
    e.emplace_back("dir/file" + std::to_string(i) + ".bin", randomBytes(sizes[i], static_cast<unsigned>(i + 1)));
  return e;
}

// name -> data of every (stored) entry of an archive, read through the format core.
std::map<std::string, std::string> storedContents(const std::string& path) {
  std::map<std::string, std::string> out;
  zipcore::InputFile f;
  if (!f.open(path)) return out;
  zipcore::Directory dir;
  if (zipcore::ReadDirectory(f, dir) != zipcore::DirError::None) return out;
  for (const zipcore::ZipEntry& e : dir.entries) {
    std::string h;
    if (!f.readExact(e.localOffset, h, 30)) continue;
    const std::uint64_t at = e.localOffset + 30 + zipcore::get16(h, 26) + zipcore::get16(h, 28);
    std::string data;
    f.readExact(at, data, e.compressedSize);
    out[e.name] = data;
  }
  return out;
}

std::map<std::string, std::string> contentsOf(const std::vector<ziptest::Entry>& entries) {
  std::map<std::string, std::string> out;
  for (const auto& e : entries) out[e.name] = e.data;
  return out;
}

std::uint64_t sizeOf(const std::string& path) {
  std::error_code ec;
  auto n = fs::file_size(path, ec);
  return ec ? 0 : n;
}

// The local headers of a set, as its central directory places them: each must
// start with its signature and end (with name and extra field) inside its volume.
void expectHeadersWhole(const std::vector<std::string>& volumes) {
  zipcore::InputFile last;
  ASSERT_TRUE(last.open(volumes.back()));
  zipcore::EndRecords end;
  ASSERT_EQ(zipcore::FindEndRecords(last, end), zipcore::EndSearch::Found);
  EXPECT_EQ(end.thisDisk(), volumes.size() - 1);
  // The directory fits the last volume in these tests.
  ASSERT_EQ(end.centralDisk(), volumes.size() - 1);
  zipcore::Directory dir;
  ASSERT_EQ(zipcore::ReadCentralDirectory(last, end, cpAuto, dir), zipcore::DirError::None);
  for (const zipcore::ZipEntry& e : dir.entries) {
    ASSERT_LT(e.diskNumberStart, volumes.size());
    const std::string vol = readFile(volumes[e.diskNumberStart]);
    ASSERT_LE(e.storedOffset + 30, vol.size()) << e.name;
    EXPECT_EQ(zipcore::get32(vol, e.storedOffset), zipcore::kLocalHeaderSig) << e.name;
    EXPECT_LE(e.storedOffset + 30 + zipcore::get16(vol, e.storedOffset + 26) + zipcore::get16(vol, e.storedOffset + 28),
              vol.size())
        << e.name;
  }
  EXPECT_EQ(zipcore::get32(readFile(volumes.front()), 0), zipcore::kDescriptorSig);
}

class SpanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui.acceptInformationBoxes(true);
    engine.HowToDelete = htdFinal;
    engine.OnMessage = [this](TZipEngine&, int, const std::string& text) { messages.push_back(text); };
  }
  std::string writeInput(const std::vector<ziptest::Entry>& entries, const std::string& comment = {}) {
    return dir.write("in.zip", ziptest::build(entries, comment).all());
  }

  testsupport::TempDir dir;
  testsupport::ScriptedUi ui;
  TZipEngine engine;
  std::vector<std::string> messages;
};

}  // namespace

TEST(SpanNames, NumberedAndSplitNamings) {
  EXPECT_EQ(spanname::NumberedVolume("/d/backup.zip", 0), "/d/backup001.zip");
  EXPECT_EQ(spanname::NumberedVolume("/d/backup.zip", 11), "/d/backup012.zip");
  EXPECT_EQ(spanname::NumberedVolume("/d.x/backup", 1), "/d.x/backup002");

  auto n = spanname::NamingsOf("/d/set003.zip");
  ASSERT_EQ(n.size(), 2u);  // numbered, or the last volume of a split set
  EXPECT_EQ(n[0].volume(0, 2), "/d/set001.zip");
  EXPECT_EQ(n[1].volume(0, 2), "/d/set003.z01");
  EXPECT_EQ(n[1].volume(2, 2), "/d/set003.zip");

  auto s = spanname::NamingsOf("/d/SET.Z02");
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0].volume(0, 3), "/d/SET.Z01");
  EXPECT_EQ(s[0].volume(3, 3), "/d/SET.ZIP");
  EXPECT_TRUE(spanname::NamingsOf("/d/photos.tar").empty());
  EXPECT_EQ(spanname::JoinedName("/d/set003.zip"), "/d/set.zip");
  EXPECT_EQ(spanname::JoinedName("/d/set.z07"), "/d/set.zip");
}

TEST(SpanNames, VolumeSizesAsUsersWriteThem) {
  EXPECT_EQ(spanname::ParseVolumeSize("65536"), 65536u);
  EXPECT_EQ(spanname::ParseVolumeSize(" 640k "), 640u << 10);
  EXPECT_EQ(spanname::ParseVolumeSize("10M"), 10u << 20);
  EXPECT_EQ(spanname::ParseVolumeSize("2g"), 2ull << 30);
  EXPECT_EQ(spanname::ParseVolumeSize("0"), 0u);
  for (const char* bad : {"", " ", "10 MB", "1.5m", "-1", "k", "12kb", "99999999999999999999", "17179869184g"})
    EXPECT_FALSE(spanname::ParseVolumeSize(bad).has_value()) << bad;
}

// ---- fixed drive --------------------------------------------------------------------

TEST_F(SpanTest, MaxVolumeSizeGivesNumberedVolumesThatJoinBackToTheArchive) {
  const auto entries = bigEntries();
  const std::string in = writeInput(entries, "set comment");
  engine.MaxVolumeSize = 100000;
  engine.MinFreeVolumeSize = 1000;
  fs::create_directories(dir / "out");
  ASSERT_EQ(engine.WriteSpan(in, dir / "out/set.zip"), 0) << engine.LastMessage();

  std::vector<std::string> volumes;
  for (int n = 0; fs::exists(spanname::NumberedVolume(dir / "out/set.zip", n)); ++n)
    volumes.push_back(spanname::NumberedVolume(dir / "out/set.zip", n));
  ASSERT_EQ(volumes.size(), 5u);  // 490 kB of data in 100 kB volumes
  for (const auto& v : volumes) EXPECT_LE(sizeOf(v), 100000u) << v;
  for (std::size_t i = 0; i + 1 < volumes.size(); ++i) EXPECT_GT(sizeOf(volumes[i]), 99000u) << volumes[i];
  EXPECT_FALSE(fs::exists(dir / "out/set.zip"));
  for (const auto& e : fs::directory_iterator(dir / "out"))
    EXPECT_EQ(e.path().extension(), ".zip") << "no temporary volume left: " << e.path();
  expectHeadersWhole(volumes);

  // Listed from any volume.
  for (const auto& v : volumes) {
    engine.setZipFilename(v);
    EXPECT_EQ(engine.EntryCount(), static_cast<int>(entries.size())) << v << ": " << engine.LastMessage();
    EXPECT_EQ(engine.ZipFilename(), volumes.back());
    EXPECT_EQ(engine.LastDisk(), 4);
    EXPECT_EQ(engine.ArchiveComment(), "set comment");
  }

  // Joined from a middle volume into a folder: a new archive with every entry.
  std::string joined = dir / "out";
  ASSERT_EQ(engine.ReadSpan(volumes[2], joined), 0) << engine.LastMessage();
  EXPECT_EQ(joined.substr(0, (dir / "out/zip").size()), dir / "out/zip");
  EXPECT_EQ(fs::path(joined).extension(), ".zip");
  EXPECT_EQ(storedContents(joined), contentsOf(entries));
  if (testsupport::haveProgram("unzip")) { EXPECT_EQ(shell("unzip -tqq '" + joined + "'"), 0); }
}

TEST_F(SpanTest, EntriesOfManyMegabytesRunOverVolumesAndJoinByteForByte) {
  // Larger than the pieces the data are copied in, and than a volume.
  const std::vector<ziptest::Entry> entries = {
      {"small.txt", "before"}, {"big.bin", randomBytes((9 << 20) + 17, 3)}, {"after.bin", randomBytes(5 << 20, 4)}};
  const std::string in = writeInput(entries);
  engine.MaxVolumeSize = 3 << 20;
  ASSERT_EQ(engine.WriteSpan(in, dir / "m.zip"), 0) << engine.LastMessage();
  std::vector<std::string> volumes;
  for (int n = 0; fs::exists(spanname::NumberedVolume(dir / "m.zip", n)); ++n)
    volumes.push_back(spanname::NumberedVolume(dir / "m.zip", n));
  ASSERT_EQ(volumes.size(), 5u);
  for (std::size_t i = 0; i + 1 < volumes.size(); ++i) EXPECT_EQ(sizeOf(volumes[i]), 3u << 20) << volumes[i];
  expectHeadersWhole(volumes);

  // A direct join is the caller's archive: the same bytes as the input, with the
  // mode of any new file.
  std::string joined = dir / "joined.zip";
  ASSERT_EQ(engine.ReadSpan(volumes[1], joined), 0) << engine.LastMessage();
  EXPECT_TRUE(readFile(joined) == readFile(in));
  const mode_t mask = ::umask(022);
  ::umask(mask);
  struct stat st {};
  ASSERT_EQ(::stat(joined.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
}

TEST_F(SpanTest, KeepFreeOnDisk1ShortensOnlyTheFirstVolume) {
  const std::string in = writeInput(bigEntries());
  engine.MaxVolumeSize = 200000;
  engine.KeepFreeOnDisk1 = 100000;
  ASSERT_EQ(engine.WriteSpan(in, dir / "k.zip"), 0) << engine.LastMessage();
  EXPECT_EQ(sizeOf(dir / "k001.zip"), 100000u);
  EXPECT_EQ(sizeOf(dir / "k002.zip"), 200000u);
  EXPECT_TRUE(fs::exists(dir / "k003.zip"));
}

TEST_F(SpanTest, SetOfOneVolumeAndEmptyArchiveStillReadBack) {
  const std::string in = writeInput({{"only.txt", "hello"}});
  ASSERT_EQ(engine.WriteSpan(in, dir / "one.zip"), 0) << engine.LastMessage();
  engine.setZipFilename(dir / "one001.zip");
  EXPECT_EQ(engine.EntryCount(), 1);
  std::string out = dir / "joined.zip";
  ASSERT_EQ(engine.ReadSpan(dir / "one001.zip", out), 0) << engine.LastMessage();
  EXPECT_EQ(storedContents(out), (std::map<std::string, std::string>{{"only.txt", "hello"}}));

  const std::string empty = dir.write("empty.zip", ziptest::build({}).all());
  ASSERT_EQ(engine.WriteSpan(empty, dir / "e.zip"), 0) << engine.LastMessage();
  out = dir / "e-joined";
  ASSERT_EQ(engine.ReadSpan(dir / "e001.zip", out), 0) << engine.LastMessage();
  EXPECT_EQ(out, dir / "e-joined.zip");
  EXPECT_TRUE(storedContents(out).empty());
}

TEST_F(SpanTest, BadInputIsRefusedWithItsMessage) {
  engine.Unattended = true;
  EXPECT_EQ(engine.WriteSpan(dir / "missing.zip", dir / "s.zip"), -7);
  EXPECT_EQ(engine.LastMessage(), "Input file does not exist");
  const std::string junk = dir.write("junk.zip", "not an archive at all, not even close to one");
  EXPECT_EQ(engine.WriteSpan(junk, dir / "s.zip"), -7);
  EXPECT_EQ(engine.LastMessage(), "This archive is not a valid Zip archive");
  EXPECT_FALSE(fs::exists(dir / "s001.zip"));
  EXPECT_FALSE(fs::exists(dir / "s001.zip.kvpart"));
}

// ---- sets written by zip -s -------------------------------------------------------------

class ZipSplitTest : public SpanTest {
 protected:
  void SetUp() override {
    SpanTest::SetUp();
    if (!testsupport::haveProgram("zip") || !testsupport::haveProgram("unzip")) GTEST_SKIP() << "zip/unzip missing";
    dir.write("src/a.bin", randomBytes(70000, 7));
    dir.write("src/sub/b.txt", std::string(50000, 'b'));
    dir.write("src/c.bin", randomBytes(90000, 9));
    ASSERT_EQ(shell("cd '" + dir.path() + "' && zip -q -r -s 64k split.zip src"), 0);
    ASSERT_TRUE(fs::exists(dir / "split.z02"));
  }
  // Files the joined archive holds, by name, as unzip extracts them.
  void expectJoinedMatches(const std::string& joined) {
    EXPECT_EQ(shell("unzip -tqq '" + joined + "'"), 0);
    ASSERT_EQ(shell("cd '" + dir.path() + "' && mkdir -p x && cd x && unzip -qq '" + joined + "'"), 0);
    for (const char* f : {"src/a.bin", "src/sub/b.txt", "src/c.bin"})
      EXPECT_EQ(readFile(dir / ("x/" + std::string(f))), readFile(dir / f)) << f;
  }
};

TEST_F(ZipSplitTest, ListedAndJoinedFromAnyVolume) {
  for (const char* v : {"split.z01", "split.z02", "split.zip"}) {
    engine.setZipFilename(dir / v);
    EXPECT_EQ(engine.EntryCount(), 5) << v << ": " << engine.LastMessage();  // three files, two folders
    EXPECT_EQ(engine.ZipFilename(), dir / "split.zip");
  }
  std::string joined = dir / "joined.zip";
  ASSERT_EQ(engine.ReadSpan(dir / "split.z02", joined), 0) << engine.LastMessage();
  expectJoinedMatches(joined);
}

TEST_F(ZipSplitTest, MissingOrCutShortVolumeIsNamedAndNothingIsLeft) {
  fs::create_directories(dir / "out");
  fs::rename(dir / "split.z02", dir / "keep.z02");
  engine.Unattended = true;
  // The directory is on the last volume: the set still lists, but cannot be joined.
  engine.setZipFilename(dir / "split.zip");
  EXPECT_EQ(engine.EntryCount(), 5);
  std::string out = dir / "out";
  EXPECT_EQ(engine.ReadSpan(dir / "split.z01", out), -7);
  EXPECT_NE(engine.LastMessage().find(dir / "split.z02"), std::string::npos) << engine.LastMessage();
  EXPECT_TRUE(fs::is_empty(dir / "out"));

  // Cut short by a few kilobytes: the entry running over it is found.
  fs::copy_file(dir / "keep.z02", dir / "split.z02");
  fs::resize_file(dir / "split.z02", sizeOf(dir / "split.z02") - 3000);
  out = dir / "out";
  EXPECT_EQ(engine.ReadSpan(dir / "split.zip", out), -7);
  EXPECT_NE(engine.LastMessage().find(dir / "split.z02"), std::string::npos) << engine.LastMessage();
  EXPECT_TRUE(fs::is_empty(dir / "out"));
}

TEST_F(ZipSplitTest, OurSetsAreReadByThePeers) {
  const std::string in = dir / "whole.zip";
  ASSERT_EQ(shell("cd '" + dir.path() + "' && zip -q -r whole.zip src"), 0);
  engine.MaxVolumeSize = 65536;
  fs::create_directories(dir / "p");
  ASSERT_EQ(engine.WriteSpan(in, dir / "p/ours.zip"), 0) << engine.LastMessage();
  // The peers name the volumes ours.z01, ours.z02, ..., ours.zip.
  int last = 0;
  while (fs::exists(spanname::NumberedVolume(dir / "p/ours.zip", last + 1))) ++last;
  ASSERT_GE(last, 2);
  for (int n = 0; n <= last; ++n) {
    char ext[8];
    std::snprintf(ext, sizeof ext, n == last ? ".zip" : ".z%02d", n + 1);
    fs::rename(spanname::NumberedVolume(dir / "p/ours.zip", n), dir / ("p/ours" + std::string(ext)));
  }
  ASSERT_EQ(shell("cd '" + dir.path() + "/p' && zip -q -s 0 ours.zip --out joined.zip"), 0);
  expectJoinedMatches(dir / "p/joined.zip");
  if (testsupport::haveProgram("7zz")) { EXPECT_EQ(shell("7zz t '" + dir.path() + "/p/ours.zip' >/dev/null"), 0); }
}
