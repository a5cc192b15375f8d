// kelvory-cli t, x, a and d, run as a program: archives it writes pass the peer
// tools' tests, what it extracts matches the sources, and failures give a
// message on standard error with a non-zero exit status.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "support/temp_dir.h"
#include "zipengine/zip_builder.h"

using testsupport::readFile;
using testsupport::shell;

namespace {

std::string cli() {
  const char* bin = std::getenv("KV_BIN");
  if (bin && *bin) return std::string(bin) + "/kelvory-cli";
  return std::filesystem::read_symlink("/proc/self/exe").parent_path().string() + "/kelvory-cli";
}

class CliOps : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.write("src/a.txt", "alpha\n");
    dir.write("src/sub/b.txt", std::string(50000, 'b'));
    dir.write("src/.hidden", "h");
  }
  // Runs kelvory-cli with args in the test folder; stdout and stderr kept apart.
  int run(const std::string& args) {
    int status = shell("cd '" + dir.path() + "' && '" + cli() + "' " + args + " 2>err.txt", &out);
    err = readFile(dir / "err.txt");
    return status;
  }
  bool peer(const char* tool) {
    if (testsupport::haveProgram(tool)) return true;
    ADD_FAILURE() << tool << " is not installed (./test.sh installs the peers)";
    return false;
  }

  testsupport::TempDir dir;
  std::string out, err;
};

TEST_F(CliOps, AddTestExtractRoundTrip) {
  ASSERT_EQ(run("a t.zip -r src"), 0) << err;
  EXPECT_EQ(out, "5 files added, 5 entries in t.zip\n");
  EXPECT_EQ(err, "") << "no progress line when standard error is not a terminal";
  if (peer("unzip")) { EXPECT_EQ(shell("unzip -tqq '" + dir / "t.zip" + "'"), 0); }
  ASSERT_EQ(run("t t.zip"), 0) << err;
  EXPECT_EQ(out, "All 5 files tested OK\n");
  ASSERT_EQ(run("x t.zip -d out/deeper"), 0) << err;
  EXPECT_EQ(out, "5 of 5 files extracted\n");
  EXPECT_EQ(shell("diff -r '" + dir / "src" + "' '" + dir / "out/deeper/src" + "'"), 0);
}

TEST_F(CliOps, ExtractNamesJunkPathsAndOverwrite) {
  ASSERT_EQ(run("a t.zip -r src"), 0) << err;
  ASSERT_EQ(run("x t.zip -j -d flat 'src/sub/*'"), 0) << err;
  EXPECT_EQ(readFile(dir / "flat/b.txt"), std::string(50000, 'b'));
  EXPECT_FALSE(std::filesystem::exists(dir / "flat/a.txt"));

  dir.write("flat/b.txt", "mine");
  EXPECT_EQ(run("x t.zip -j -d flat src/sub/b.txt"), 1) << "nothing extracted: the file exists";
  EXPECT_NE(err.find("nothing was extracted"), std::string::npos) << err;
  EXPECT_EQ(readFile(dir / "flat/b.txt"), "mine");
  EXPECT_EQ(run("x t.zip -o -j -d flat src/sub/b.txt"), 0) << err;
  EXPECT_EQ(readFile(dir / "flat/b.txt"), std::string(50000, 'b'));
}

// Entries that cannot all be written under their names: the last copy of a
// duplicate is written, every entry left out is named with its reason, and the
// exit status says that not everything was written.
TEST_F(CliOps, ExtractDuplicatesAndClashesFailsNamingTheEntriesLeftOut) {
  dir.write("dup.zip",
            ziptest::build({{"d.txt", "first"}, {"f", "in the way"}, {"d.txt", "last"}, {"f/g.txt", "g"}}).all());
  EXPECT_EQ(run("x dup.zip -d out"), 1) << err;
  EXPECT_EQ(out, "2 of 4 files extracted\n");
  EXPECT_EQ(err,
            "kelvory-cli: d.txt: not written: a later entry of the same name is written instead\n"
            "kelvory-cli: f: not written: f must be a folder for other entries of the archive\n");
  EXPECT_EQ(readFile(dir / "out/d.txt"), "last");
  EXPECT_EQ(readFile(dir / "out/f/g.txt"), "g");
}

// A disk filling up during an extraction, on a small file system of its own (in
// a private mount namespace, so no privileges are needed where user namespaces
// are allowed): the same files get in on every run, the rest are named as not
// written, and there is no word about -o.
TEST_F(CliOps, ExtractOntoAFullDiskGivesTheSameResultEveryRun) {
  std::string noise;
  for (std::uint32_t seed = 7; noise.size() < 8 * 150000;) {
    seed = seed * 1664525u + 1013904223u;
    noise.push_back(static_cast<char>(seed >> 24));
  }
  for (int i = 0; i < 8; ++i) dir.write("big/f" + std::to_string(i) + ".bin", noise.substr(i * 150000, 150000));
  ASSERT_EQ(run("a big.zip -0 -r big"), 0) << err;
  // One run: a fresh 640 KiB file system; the exit status, the outputs and the
  // files that got in (with their sizes), as one text.
  auto extractOnce = [&]() -> std::string {
    const std::string script =
        "mkdir -p mnt && unshare -rm sh -c 'mount -t tmpfs -o size=640k kvtest mnt || exit 99; \"$0\" x big.zip -d "
        "mnt; "
        "echo \"status $?\"; cd mnt && find . | sort && find . -type f -exec stat -c \"%n %s\" {} + | sort' '" +
        cli() + "'";
    std::string outcome;
    const int status = shell("cd '" + dir.path() + "' && " + script + " 2>err.txt", &outcome);
    err = readFile(dir / "err.txt");
    return status == 0 ? outcome + err : std::string();
  };
  const std::string first = extractOnce();
  if (first.empty() || first.find("status 99") != std::string::npos)
    GTEST_SKIP() << "no private mount namespace with a small tmpfs here: " << err;
  EXPECT_NE(first.find("status 1\n"), std::string::npos) << first;
  EXPECT_NE(first.find("kelvory-cli: big/f7.bin: not written: the disk is full\n"), std::string::npos) << first;
  EXPECT_NE(first.find("entries were not written\n"), std::string::npos) << first;
  EXPECT_EQ(first.find("-o"), std::string::npos) << first;
  EXPECT_NE(first.find("./big/f0.bin 150000\n"), std::string::npos) << first;
  for (int run = 0; run < 4; ++run) EXPECT_EQ(extractOnce(), first);
}

// Nothing to extract is not a failure; naming an entry that is not there is.
TEST_F(CliOps, ExtractFromAnEmptyArchiveSucceeds) {
  dir.write("empty.zip", std::string("PK\x05\x06", 4) + std::string(18, '\0'));
  EXPECT_EQ(run("x empty.zip -d out"), 0) << err;
  EXPECT_EQ(out, "0 of 0 files extracted\n");
  EXPECT_EQ(err, "");
  EXPECT_EQ(run("x empty.zip -d out a.txt"), 1);
  EXPECT_EQ(err, "kelvory-cli: a.txt: no such entry in " + dir / "empty.zip" + "\n");
}

TEST_F(CliOps, DeleteAndUpdate) {
  ASSERT_EQ(run("a t.zip -r src"), 0) << err;
  ASSERT_EQ(run("d t.zip src/a.txt"), 0) << err;
  EXPECT_EQ(out, "1 entries deleted, 4 left\n");
  EXPECT_EQ(run("d t.zip src/none.txt"), 1);
  EXPECT_NE(err.find("src/none.txt"), std::string::npos) << err;
  EXPECT_EQ(run("a t.zip -u -r src"), 0) << err;
  EXPECT_EQ(out, "1 files added, 5 entries in t.zip\n") << "only the deleted file comes back";
}

// Names holding wildcards: patterns by default, each only itself after --literal.
TEST_F(CliOps, LiteralNamesDeleteExtractAndAddOnlyThemselves) {
  dir.write("w/a?b.txt", "question");
  dir.write("w/axb.txt", "x");
  dir.write("w/a*.txt", "star");
  ASSERT_EQ(run("a w.zip --literal 'w/a?b.txt' w/axb.txt"), 0) << err;
  ASSERT_EQ(run("d w.zip --literal 'w/a?b.txt'"), 0) << err;
  EXPECT_EQ(out, "1 entries deleted, 1 left\n");
  ASSERT_EQ(run("x w.zip -d out"), 0) << err;
  EXPECT_EQ(readFile(dir / "out/w/axb.txt"), "x");

  ASSERT_EQ(run("a --literal w2.zip 'w/a*.txt'"), 0) << err;
  EXPECT_EQ(out, "1 files added, 1 entries in w2.zip\n");
  ASSERT_EQ(run("a w2.zip --literal w/axb.txt 'w/a?b.txt'"), 0) << err;
  ASSERT_EQ(run("x w2.zip --literal -d lit 'w/a*.txt'"), 0) << err;
  EXPECT_EQ(out, "1 of 1 files extracted\n");
  EXPECT_EQ(readFile(dir / "lit/w/a*.txt"), "star");
  EXPECT_FALSE(std::filesystem::exists(dir / "lit/w/axb.txt"));
  ASSERT_EQ(run("d w2.zip 'w/a?b.txt'"), 0) << err;
  EXPECT_EQ(out, "2 entries deleted, 1 left\n") << "without --literal a name is a pattern";
  EXPECT_EQ(run("t w2.zip --literal"), 2) << "t takes no names";
}

// An archive of more than 65535 entries whose end record keeps the count modulo
// 65536 (and has no ZIP64 records): every entry is listed, tested, extracted,
// and kept by a delete, which writes the count in full.
TEST_F(CliOps, WrappedEntryCountKeepsEveryEntry) {
  std::vector<ziptest::Entry> entries;
  for (int i = 0; i < 70000; ++i) entries.push_back({"d" + std::to_string(i % 50) + "/f" + std::to_string(i), ""});
  dir.write("big.zip", ziptest::build(entries).all());
  const std::string warning =
      "kelvory-cli: Warning - The entry count of the end record does not match the central directory: "
      "70000 entries found, 4464 counted\n";
  ASSERT_EQ(run("l big.zip"), 0) << err;
  EXPECT_NE(out.find("\n70000 entries\t0\t0\n"), std::string::npos);
  EXPECT_EQ(err, warning);
  ASSERT_EQ(run("t big.zip"), 0) << err;
  EXPECT_EQ(out, "All 70000 files tested OK\n");
  ASSERT_EQ(run("x big.zip -d out"), 0) << err;
  EXPECT_EQ(out, "70000 of 70000 files extracted\n");
  EXPECT_TRUE(std::filesystem::exists(dir / "out/d49/f69999"));
  ASSERT_EQ(run("d big.zip d0/f0"), 0) << err;
  EXPECT_EQ(out, "1 entries deleted, 69999 left\n");
  ASSERT_EQ(run("l big.zip"), 0) << err;
  EXPECT_NE(out.find("\n69999 entries\t0\t0\n"), std::string::npos);
  EXPECT_EQ(err, "") << "the rewritten archive counts all its entries";
}

TEST_F(CliOps, PasswordsWorkBothWaysWithThePeers) {
  ASSERT_EQ(run("a s.zip -P secret src/a.txt"), 0) << err;
  if (peer("unzip")) { EXPECT_EQ(shell("unzip -P secret -tqq '" + dir / "s.zip" + "'"), 0); }
  EXPECT_EQ(run("x s.zip -d nopw"), 1);
  EXPECT_NE(err, "");
  EXPECT_EQ(run("t s.zip -P secret"), 0) << err;
  if (!peer("zip")) return;
  ASSERT_EQ(shell("cd '" + dir.path() + "' && zip -qr -P other p.zip src"), 0);
  ASSERT_EQ(run("x p.zip -P other -d fromzip"), 0) << err;
  EXPECT_EQ(shell("diff -r '" + dir / "src" + "' '" + dir / "fromzip/src" + "'"), 0);
}

// -P "" gives the empty password, which is a password: the entry is written
// encrypted with it, and opens with it only. Without -P nothing is decrypted.
TEST_F(CliOps, TheEmptyPasswordIsAPassword) {
  ASSERT_EQ(run("a e.zip -P '' src/a.txt"), 0) << err;
  const std::string bytes = readFile(dir / "e.zip");
  ASSERT_GT(bytes.size(), 8u);
  EXPECT_EQ(bytes[6] & 1, 1) << "the entry is flagged encrypted";
  if (peer("unzip")) {
    EXPECT_EQ(shell("unzip -P '' -tqq '" + dir / "e.zip" + "'"), 0);
    EXPECT_NE(shell("unzip -P x -tqq '" + dir / "e.zip" + "' </dev/null"), 0) << "not readable without it";
  }
  EXPECT_EQ(run("t e.zip -P ''"), 0) << err;
  EXPECT_EQ(out, "All 1 files tested OK\n");
  EXPECT_EQ(run("t e.zip -P x"), 1);
  EXPECT_NE(err.find("wrong password"), std::string::npos) << err;
  EXPECT_EQ(run("x e.zip -d nopw"), 1);
  EXPECT_NE(err.find("password required"), std::string::npos) << err;
  EXPECT_FALSE(std::filesystem::exists(dir / "nopw/src/a.txt"));
  ASSERT_EQ(run("x e.zip -P '' -d withpw"), 0) << err;
  EXPECT_EQ(readFile(dir / "withpw/src/a.txt"), "alpha\n");
}

TEST_F(CliOps, ADamagedEntryFailsTheTest) {
  ASSERT_EQ(run("a -0 t.zip src/sub/b.txt"), 0) << err;
  std::string bytes = readFile(dir / "t.zip");
  bytes[30 + 13 + 100] = 'X';  // inside the stored data of the only entry
  dir.write("t.zip", bytes);
  EXPECT_EQ(run("t t.zip"), 1);
  EXPECT_EQ(out, "ERROR: 1 files tested BAD, or skipped!\n");
  EXPECT_NE(err, "") << "the library's message";
}

struct ErrorCase {
  const char* args;
  int status;
  const char* stderrText;
};

class CliOpsErrors : public CliOps, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(CliOpsErrors, ExitWithStatusAndMessage) {
  EXPECT_EQ(run(GetParam().args), GetParam().status);
  EXPECT_NE(err.find(GetParam().stderrText), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(Cases, CliOpsErrors,
                         ::testing::Values(ErrorCase{"t missing.zip", 1, "kelvory-cli: missing.zip: no such file\n"},
                                           ErrorCase{"x missing.zip", 1, "kelvory-cli: missing.zip: no such file\n"},
                                           ErrorCase{"a t.zip", 2,
                                                     "kelvory-cli a: no files given\nusage: kelvory-cli a ARCHIVE"},
                                           ErrorCase{"a t.zip src/nothing.txt", 1, "nothing was added"},
                                           ErrorCase{"x t.zip -q", 2, "kelvory-cli x: unknown option -q\n"},
                                           ErrorCase{"x t.zip -d", 2, "kelvory-cli x: option -d needs a value\n"},
                                           ErrorCase{"d t.zip", 2, "kelvory-cli d: no entry names given\n"},
                                           ErrorCase{"t", 2, "kelvory-cli t: no archive given\n"}),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(CliHelp, ExplainsTheCommands) {
  std::string out;
  ASSERT_EQ(shell("'" + cli() + "' --help", &out), 0);
  for (const char* part :
       {"  t ARCHIVE [-P PASSWORD]\n", "  x ARCHIVE [-d FOLDER] [-o] [-j] [-P PASSWORD] [--literal] [NAMES...]\n",
        "  a ARCHIVE [-0..-9] [-r] [-u] [-f] [-m] [-P PASSWORD] [-s SIZE] [--literal] FILES...\n",
        "  d ARCHIVE [--literal] NAMES...\n", "-j           junk paths", "-o           overwrite",
        "--literal    every NAME matches only the entry of exactly that name"})
    EXPECT_NE(out.find(part), std::string::npos) << part;
}

}  // namespace
