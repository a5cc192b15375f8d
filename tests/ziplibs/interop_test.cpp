// Interoperability both ways: archives the compressor writes pass the peer tools'
// tests and extract byte for byte with them; archives the peers write (encrypted
// ones included) extract byte for byte with the extractor; the shared sample
// archives give the documented results.
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>

#include "ziplibs/ziplib_fixture.h"
#include "support/param_name.h"

namespace fs = std::filesystem;
using testsupport::haveProgram;
using testsupport::shell;

namespace ziptest {
namespace {

std::string q(const std::string& s) { return "'" + s + "'"; }

// Peers differ in what they do with folders that hold nothing; compare files,
// links and the folders that lead to them.
std::map<std::string, std::string> filesOf(const std::string& root) {
  auto tree = readTree(root);
  std::erase_if(tree, [](const auto& kv) { return kv.first.back() == '/'; });
  return tree;
}

class Interop : public ZipLibTest {
 protected:
  // The tree every interoperability test archives: makeSourceTree plus a name
  // outside ASCII, a link, and a file big enough to be compressed in chunks.
  void makeTree(bool big) {
    makeSourceTree();
    writeFile(path("src/Grüße/日本語.txt"), textData(5000, 11));
    fs::create_symlink("readme.txt", path("src/link_to_readme"));
    if (big) writeFile(path("src/big/large.txt"), textData(18u << 20, 12) + randomData(1u << 20, 13));
  }
  int addTree(const std::string& password, int level = 6) {
    AddRequest r;
    r.archive = path("ours.zip");
    r.specs = {"src/"};
    r.folder = tmp.path();
    r.recurse = r.hidden = r.separateDirs = true;
    r.level = level;
    r.password = password;
    r.encrypt = !password.empty();
    return lib.add(r);
  }
};

struct PeerReader {
  const char* program;
  const char* test;     // %A archive, %P password option
  const char* extract;  // %A archive, %D folder, %P password option
  const char* passwordOption;
};

class OursReadByPeers : public Interop, public ::testing::WithParamInterface<std::tuple<PeerReader, bool>> {};

TEST_P(OursReadByPeers, TestsCleanAndExtractsIdentical) {
  const auto& [peer, encrypted] = GetParam();
  if (!haveProgram(peer.program)) GTEST_SKIP() << peer.program << " not installed";
  makeTree(true);
  const std::string password = encrypted ? "pw with space" : "";
  ASSERT_GT(addTree(password), 0) << ::testing::PrintToString(lib.problems());
  auto fill = [&](std::string cmd) {
    auto sub = [&](const std::string& key, const std::string& value) {
      for (std::size_t at; (at = cmd.find(key)) != std::string::npos;) cmd.replace(at, key.size(), value);
    };
    sub("%P", encrypted ? std::string(peer.passwordOption) + q(password) : "");
    sub("%A", q(path("ours.zip")));
    sub("%D", q(path("out")));
    return cmd + " >/dev/null 2>&1";
  };
  EXPECT_EQ(shell(fill(peer.test)), 0) << fill(peer.test);
  fs::create_directories(path("out"));
  EXPECT_EQ(shell(fill(peer.extract)), 0) << fill(peer.extract);
  EXPECT_EQ(filesOf(path("out/src")), filesOf(path("src")));
}

INSTANTIATE_TEST_SUITE_P(
    Peers, OursReadByPeers,
    ::testing::Combine(::testing::Values(PeerReader{"unzip", "unzip -tq %P %A", "unzip -q %P %A -d %D", "-P "},
                                         PeerReader{"7zz", "7zz t %P %A", "7zz x -y %P -o%D %A", "-p"},
                                         PeerReader{"bsdtar", "bsdtar -tf %A %P", "bsdtar -xf %A -C %D %P",
                                                    "--passphrase "}),
                       ::testing::Bool()),
    testsupport::namedBy([](const std::tuple<PeerReader, bool>& p) {
      return std::string(std::get<0>(p).program) + (std::get<1>(p) ? "_encrypted" : "");
    }));

struct PeerWriter {
  const char* program;
  const char* command;  // run in the temporary folder; writes peer.zip from src
  const char* password;
};

class PeersReadByUs : public Interop, public ::testing::WithParamInterface<PeerWriter> {};

TEST_P(PeersReadByUs, ExtractsIdentical) {
  const PeerWriter& peer = GetParam();
  if (!haveProgram(peer.program)) GTEST_SKIP() << peer.program << " not installed";
  makeTree(false);
  ASSERT_EQ(shell("cd " + q(tmp.path()) + " && { " + peer.command + "; } >/dev/null 2>&1"), 0) << peer.command;
  fs::create_directories(path("out"));
  ExtractRequest x;
  x.archive = path("peer.zip");
  x.folder = path("out");
  x.password = peer.password;
  EXPECT_GT(lib.extract(x), 0);
  EXPECT_TRUE(lib.problems().empty()) << ::testing::PrintToString(lib.problems());
  EXPECT_EQ(filesOf(path("out/src")), filesOf(path("src")));
  x.test = true;
  EXPECT_GT(lib.extract(x), 0);
  EXPECT_TRUE(lib.problems().empty()) << ::testing::PrintToString(lib.problems());
}

INSTANTIATE_TEST_SUITE_P(
    Peers, PeersReadByUs,
    ::testing::Values(PeerWriter{"zip", "zip -q -r -y peer.zip src", ""},
                      PeerWriter{"zip", "zip -q -r -y -0 peer.zip src", ""},
                      PeerWriter{"zip", "zip -q -r -y -9 peer.zip src", ""},
                      PeerWriter{"zip", "zip -q -r -y -P 'zip secret' peer.zip src", "zip secret"},
                      PeerWriter{"zip", "rm src/link_to_readme && zip -q -r - src | cat > peer.zip", ""},
                      PeerWriter{"zip", "zip -q -r -y -fz peer.zip src", ""},
                      PeerWriter{"7zz", "7zz a -tzip -snl peer.zip src", ""},
                      PeerWriter{"7zz", "7zz a -tzip -snl -mx=9 -mem=ZipCrypto -p7secret peer.zip src", "7secret"},
                      PeerWriter{"bsdtar", "bsdtar --format zip -cf peer.zip src", ""},
                      PeerWriter{"bsdtar", "bsdtar --format zip --options zip:compression=store -cf peer.zip src", ""},
                      PeerWriter{"bsdtar", "bsdtar --format zip --options zip:zip64 -cf peer.zip src", ""}),
    testsupport::namedBy([](const PeerWriter& w) { return std::string(w.command); }));

// Update, freshen, delete and move change what the peers see as the options say.
TEST_F(Interop, ChangedArchivesStillPassPeerTests) {
  if (!haveProgram("unzip") || !haveProgram("7zz")) GTEST_SKIP() << "unzip or 7zz not installed";
  makeTree(false);
  ASSERT_GT(addTree(""), 0);
  writeFile(path("src/readme.txt"), "changed");
  struct timespec later[2] = {{0, UTIME_OMIT}, {4000000000LL, 0}};
  ::utimensat(AT_FDCWD, path("src/readme.txt").c_str(), later, 0);
  AddRequest r;
  r.archive = path("ours.zip");
  r.specs = {"src/"};
  r.folder = tmp.path();
  r.recurse = r.update = true;
  EXPECT_EQ(lib.add(r), 1);
  EXPECT_EQ(lib.remove(path("ours.zip"), {"src/docs/*"}), 3);
  EXPECT_EQ(shell("unzip -tq " + q(path("ours.zip")) + " >/dev/null 2>&1"), 0);
  EXPECT_EQ(shell("7zz t " + q(path("ours.zip")) + " >/dev/null 2>&1"), 0);
  std::string out;
  shell("unzip -p " + q(path("ours.zip")) + " src/readme.txt", &out);
  EXPECT_EQ(out, "changed");
  shell("unzip -Z1 " + q(path("ours.zip")), &out);
  EXPECT_EQ(out.find("src/docs/"), std::string::npos);
}

// The sample archives of tests/data/zip.
struct Sample {
  const char* file;
  const char* password;
  int ok;                 // entries extracted good
  const char* problem;    // a word every problem message holds ("" = none expected)
  const char* mustExist;  // a file that must be there afterwards ("" = none)
  int tested = -1;        // entries tested good when not ok (names do not matter to a test)
};

class Samples : public ZipLibTest, public ::testing::WithParamInterface<Sample> {};

TEST_P(Samples, ExtractAsDocumented) {
  std::string data = testsupport::testDataFolder();
  const Sample& s = GetParam();
  fs::create_directories(path("t/out"));
  ExtractRequest x;
  x.archive = data + "/zip/" + s.file;
  x.folder = path("t/out");
  x.password = s.password;
  EXPECT_EQ(lib.extract(x), s.ok) << ::testing::PrintToString(lib.problems());
  for (const std::string& p : lib.problems()) EXPECT_NE(p.find(s.problem), std::string::npos) << p;
  if (*s.problem) { EXPECT_FALSE(lib.problems().empty()); }
  if (*s.mustExist) { EXPECT_TRUE(exists(path("t/out/") + s.mustExist)) << s.mustExist; }
  // Nothing lands outside the target folder.
  EXPECT_EQ(readTree(path("t")).count("evil.txt"), 0u);
  for (const auto& [name, _] : readTree(path("t"))) EXPECT_EQ(name.rfind("out", 0), 0u) << name;
  EXPECT_TRUE(leftovers(tmp.path()).empty());
  x.test = true;
  EXPECT_EQ(lib.extract(x), s.tested < 0 ? s.ok : s.tested);
}

INSTANTIATE_TEST_SUITE_P(
    Zip, Samples,
    ::testing::Values(Sample{"infozip_store.zip", "", 12, "", "nested/a/b/c/deep.txt"},
                      Sample{"infozip_deflate_fast.zip", "", 12, "", "docs/lorem.txt"},
                      Sample{"infozip_deflate_best.zip", "", 12, "", "bin/random.bin"},
                      Sample{"infozip_bzip2.zip", "", 4, "bzip2", "docs/empty.txt"},
                      Sample{"infozip_zipcrypto_pw_test123.zip", "test123", 6, "", "docs/lorem.txt"},
                      Sample{"infozip_zipcrypto_pw_test123.zip", "wrong", 2, "password", ""},
                      Sample{"infozip_zip64_forced.zip", "", 7, "", "readme.txt"},
                      Sample{"infozip_streamed_stdin.zip", "", 1, "", "-"},
                      Sample{"infozip_streamed_stdout.zip", "", 4, "", "docs/lorem.txt"},
                      Sample{"infozip_comments.zip", "", 2, "", "readme.txt"},
                      Sample{"infozip_utf8_names_noflag.zip", "", 5, "", "Grüße.txt"},
                      Sample{"infozip_symlink.zip", "", 2, "", "link_to_target"},
                      Sample{"infozip_dirs_only.zip", "", 5, "", "top/sub1/subsub"},
                      Sample{"sfx_stub_adjusted.exe", "", 4, "", "docs/lorem.txt"},
                      Sample{"prefixed_4096_unadjusted.zip", "", 4, "", "docs/lorem.txt"},
                      Sample{"7z_deflate.zip", "", 7, "", "bin/random.bin"},
                      Sample{"7z_deflate64.zip", "", 4, "deflate64", "bin/random.bin"},
                      Sample{"7z_bzip2.zip", "", 4, "bzip2", "bin/random.bin"},
                      Sample{"7z_lzma.zip", "", 4, "LZMA", "bin/random.bin"}, Sample{"7z_ppmd.zip", "", 2, "PPMd", ""},
                      Sample{"7z_aes256_pw_aes-secret.zip", "aes-secret", 2, "AES", ""},
                      Sample{"7z_zipcrypto_pw_zc-7zip.zip", "zc-7zip", 6, "", "docs/lorem.txt"},
                      Sample{"bsdtar_deflate.zip", "", 7, "", "docs/lorem.txt"},
                      Sample{"bsdtar_store.zip", "", 7, "", "docs/lorem.txt"},
                      Sample{"bsdtar_zip64.zip", "", 4, "", "docs/lorem.txt"},
                      Sample{"bsdtar_aes256_pw_bsd-aes.zip", "bsd-aes", 2, "AES", "docs/empty.txt"},
                      Sample{"crafted_path_traversal.zip", "", 2, "name", "abs/path.txt", 3},
                      Sample{"crafted_dos_cp437_name.zip", "", 1, "", "München.txt"},
                      Sample{"crafted_utf8_flag_names.zip", "", 3, "", "emoji_😀.txt"},
                      Sample{"crafted_unicode_path_extra.zip", "", 2, "", "Café.txt"},
                      Sample{"empty_archive.zip", "", 0, "", ""}, Sample{"comment_65535.zip", "", 12, "", "readme.txt"},
                      Sample{"comment_fake_eocd.zip", "", 12, "", "readme.txt"},
                      Sample{"trailing_zero_padding_512.zip", "", 12, "", "readme.txt"},
                      Sample{"trailing_garbage.zip", "", 12, "", "readme.txt"},
                      Sample{"truncated.zip", "", 0, "ZIP archive", ""},
                      Sample{"truncated_in_central_dir.zip", "", 0, "ZIP archive", ""},
                      Sample{"crc_error_stored.zip", "", 11, "CRC error", "docs/lorem.txt"},
                      Sample{"crc_error_deflated_header.zip", "", 11, "CRC error", "readme.txt"}),
    testsupport::namedBy([](const Sample& s) {
      return std::string(s.file) + (*s.password ? std::string("_pw_") + s.password : "");
    }));

}  // namespace
}  // namespace ziptest
