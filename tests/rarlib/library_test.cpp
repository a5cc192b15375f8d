// Extraction by the built library: nothing is written outside the target
// folder, links never lead out of it, a file appears under its name only when
// its data checked out (not after a CRC error, not after a cancel), existing
// files are kept when asked, and passwords are told apart from damage.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "rarlib/rar_builder.h"
#include "rarlib/rarlib_client.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using rartest::Entry;
using rartest::RarLib;
using rartest::Request;

namespace {

class Extraction : public ::testing::Test {
 protected:
  rartest::Run extract(const std::string& archiveBytes, std::uint32_t options = 0) {
    Request r;
    r.archive = dir.write("a.rar", archiveBytes);
    r.operation = RAR_EXTRACT;
    r.folder = dir / "out";
    r.options = options;
    r.password = password;
    r.onData = onData;
    return lib.run(r);
  }
  // Names below dir, except the archive.
  std::vector<std::string> tree() {
    std::vector<std::string> out;
    for (auto it = fs::recursive_directory_iterator(dir.path()); it != fs::recursive_directory_iterator(); ++it) {
      std::string rel = it->path().lexically_relative(dir.path()).string();
      if (rel != "a.rar") out.push_back(rel);
    }
    std::sort(out.begin(), out.end());
    return out;
  }
  RarLib lib;
  testsupport::TempDir dir;
  std::string password;
  std::function<int(const std::string&, int)> onData;
};

TEST_F(Extraction, UnsafeNamesAndLinksAreRefused) {
  Entry up = rartest::file("../up.txt", "x");
  Entry abs = rartest::file("/tmp/kv-abs-test.txt", "x");
  Entry climb = rartest::file("a/../../b.txt", "x");
  Entry outLink = rartest::symlink("evil", "/etc");
  Entry upLink = rartest::symlink("d/evil2", "../../outside");
  Entry dirLink = rartest::symlink("into", "d");
  Entry through = rartest::file("into/x.txt", "through the link");  // must not follow "into"
  auto run = extract(rartest::rar5({rartest::folder("d"), up, abs, climb, outLink, upLink, dirLink, through}));
  ASSERT_EQ(run.items.size(), 8u);
  EXPECT_EQ(run.items[1].result, RAR_UNSAFE_NAME);
  EXPECT_EQ(run.items[2].result, RAR_SUCCESS) << "an absolute name lands inside, made relative";
  EXPECT_EQ(run.items[3].result, RAR_UNSAFE_NAME);
  EXPECT_EQ(run.items[4].result, RAR_UNSAFE_NAME);
  EXPECT_EQ(run.items[5].result, RAR_UNSAFE_NAME);
  EXPECT_EQ(run.items[6].result, RAR_SUCCESS) << "a link inside the target is made";
  EXPECT_EQ(run.items[7].result, RAR_UNSAFE_NAME) << "a link in the way is never followed";
  EXPECT_EQ(tree(), (std::vector<std::string>{"out", "out/d", "out/into", "out/tmp", "out/tmp/kv-abs-test.txt"}));
  EXPECT_FALSE(fs::exists("/tmp/kv-abs-test.txt"));
}

TEST_F(Extraction, DamagedEntryLeavesNoFileAndTheOthersGoOn) {
  Entry bad = rartest::file("bad.txt", "damaged");
  bad.crc = 0x12345678;
  Entry shortOne = rartest::file("short.txt", "abc");
  shortOne.unpSize = 10;
  auto run = extract(rartest::rar5({rartest::file("a.txt", "A"), bad, shortOne, rartest::file("z.txt", "Z")}));
  ASSERT_EQ(run.items.size(), 4u);
  EXPECT_EQ(run.items[1].result, RAR_BAD_DATA);
  EXPECT_EQ(run.items[2].result, RAR_BAD_DATA);
  EXPECT_EQ(tree(), (std::vector<std::string>{"out", "out/a.txt", "out/z.txt"}));
}

TEST_F(Extraction, CancelStopsTheEntryAndLeavesNothing) {
  std::string big(3 * 1024 * 1024, 'b');
  int calls = 0;
  onData = [&](const std::string&, int) { return ++calls == 2 ? -1 : 1; };
  auto run = extract(rartest::rar5({rartest::file("big.bin", big)}));
  ASSERT_EQ(run.items.size(), 1u);
  EXPECT_EQ(run.items[0].result, RAR_ABORTED);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(tree(), (std::vector<std::string>{"out"})) << "no file under its name, no temporary left";
}

TEST_F(Extraction, ExistingFilesAreReplacedOrKeptAsAsked) {
  dir.write("out/f.txt", "old");
  std::string archive = rartest::rar5({rartest::file("f.txt", "new")});
  auto kept = extract(archive, RAR_OPT_KEEP_EXISTING);
  EXPECT_EQ(kept.items[0].result, RAR_EXISTS);
  EXPECT_EQ(testsupport::readFile(dir / "out/f.txt"), "old");
  auto replaced = extract(archive);
  EXPECT_EQ(replaced.items[0].result, RAR_SUCCESS);
  EXPECT_EQ(testsupport::readFile(dir / "out/f.txt"), "new");
}

TEST_F(Extraction, WithoutPathsEverythingLandsInTheTarget) {
  auto run = extract(rartest::rar5({rartest::folder("d"), rartest::file("d/e/f.txt", "F")}), RAR_OPT_NO_PATHS);
  EXPECT_EQ(run.items[0].result, RAR_SUCCESS);
  EXPECT_EQ(run.items[1].result, RAR_SUCCESS);
  EXPECT_EQ(tree(), (std::vector<std::string>{"out", "out/f.txt"}));
}

TEST_F(Extraction, HardLinkIsACopyOfAnEntryExtractedBefore) {
  auto run = extract(rartest::rar5({rartest::hardlink("early.txt", "src.txt"), rartest::file("src.txt", "data"),
                                    rartest::hardlink("copy.txt", "src.txt")}));
  EXPECT_EQ(run.items[0].result, RAR_EOPEN) << "its source was not extracted yet";
  EXPECT_EQ(run.items[2].result, RAR_SUCCESS);
  EXPECT_EQ(testsupport::readFile(dir / "out/copy.txt"), "data");
  EXPECT_FALSE(fs::is_symlink(dir / "out/copy.txt"));
}

TEST_F(Extraction, PasswordsAreToldApartFromDamage) {
  Entry locked = rartest::file("locked.txt", "0123456789abcdef and a padded tail");
  locked.password = "secret";
  std::string archive = rartest::rar5({locked});
  EXPECT_EQ(extract(archive).items[0].result, RAR_MISSING_PASSWORD);
  password = "wrong";
  EXPECT_EQ(extract(archive).items[0].result, RAR_BAD_PASSWORD);
  EXPECT_EQ(tree(), (std::vector<std::string>{"out"})) << "no garbage files";
  // The right password, but the last encrypted block damaged: the password
  // passed its check, so this is damage.
  password = "secret";
  std::string damaged = archive;
  damaged[damaged.size() - rartest::rar5End().size() - 1] ^= 0x40;
  EXPECT_EQ(extract(damaged).items[0].result, RAR_BAD_DATA);
  EXPECT_EQ(tree(), (std::vector<std::string>{"out"}));
  auto run = extract(archive);
  EXPECT_EQ(run.items[0].result, RAR_SUCCESS);
  EXPECT_EQ(run.items[0].dataSize, locked.data.size()) << "the padding is not part of the file";
  EXPECT_EQ(testsupport::readFile(dir / "out/locked.txt"), locked.data);
}

TEST_F(Extraction, EncryptedHeadersOpenWithThePassword) {
  Entry locked = rartest::file("inner/locked.txt", "locked data");
  locked.password = "pw";
  const std::string archive =
      rartest::rar5EncryptedHeaders({rartest::folder("inner"), locked, rartest::file("plain.txt", "plain")}, "pw");
  password = "bad";
  auto refused = extract(archive);
  EXPECT_EQ(refused.end, RAR_BAD_PASSWORD);
  EXPECT_TRUE(refused.items.empty());
  password = "pw";
  auto run = extract(archive);
  EXPECT_EQ(run.end, RAR_END_ARCHIVE);
  ASSERT_EQ(run.items.size(), 3u);
  for (const auto& it : run.items) EXPECT_EQ(it.result, RAR_SUCCESS) << it.name;
  EXPECT_EQ(testsupport::readFile(dir / "out/inner/locked.txt"), "locked data");
  EXPECT_EQ(testsupport::readFile(dir / "out/plain.txt"), "plain");
}

TEST_F(Extraction, VolumeSetAcrossFilesAndAMissingVolume) {
  std::string data(100000, 'v');
  for (std::size_t i = 0; i < data.size(); i += 7) data[i] = static_cast<char>('a' + i % 26);
  auto vols = rartest::rar5Volumes({rartest::file("one.bin", data), rartest::file("two.txt", "2")}, 40000);
  ASSERT_EQ(vols.size(), 4u);
  for (std::size_t i = 0; i < vols.size(); ++i) dir.write("v.part" + std::to_string(i + 1) + ".rar", vols[i]);
  Request r;
  r.archive = dir / "v.part2.rar";  // any volume names the set
  r.operation = RAR_EXTRACT;
  r.folder = dir / "out";
  auto run = lib.run(r);
  ASSERT_EQ(run.items.size(), 2u);
  EXPECT_EQ(run.items[0].result, RAR_SUCCESS);
  EXPECT_EQ(run.items[0].packed, data.size());
  EXPECT_EQ(testsupport::readFile(dir / "out/one.bin"), data);
  EXPECT_EQ(testsupport::readFile(dir / "out/two.txt"), "2");

  fs::remove(dir / "v.part3.rar");
  int asked = 0;
  r.onVolume = [&](char*, int mode) { return mode == RAR_VOL_ASK ? (++asked, 0) : 1; };
  r.folder = dir / "out2";
  run = lib.run(r);
  ASSERT_EQ(run.items.size(), 1u);
  EXPECT_EQ(run.items[0].result, RAR_EOPEN);
  EXPECT_EQ(run.end, RAR_EOPEN);
  EXPECT_EQ(asked, 1);
  EXPECT_FALSE(fs::exists(dir / "out2/one.bin"));
}

TEST_F(Extraction, Rar4StoredWithBackslashNames) {
  auto run = extract(rartest::rar4({rartest::folder("d"), rartest::file("d/f.txt", "four")}, true));
  ASSERT_EQ(run.items.size(), 2u);
  EXPECT_EQ(run.items[1].name, "d/f.txt");
  EXPECT_EQ(testsupport::readFile(dir / "out/d/f.txt"), "four");
}

}  // namespace
