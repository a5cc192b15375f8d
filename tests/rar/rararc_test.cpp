// TRAR over the built library: its events in order, Stop, the per-entry rules
// for damaged and uncreatable entries, passwords, the missing library and the
// one-operation-at-a-time rule.
#include "rar/rararc.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "rarlib/rar_builder.h"
#include "rarlib/rarlib_client.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using rartest::Entry;

namespace {

std::string binFolder() {
  const char* bin = std::getenv("KV_BIN");
  return bin && *bin ? bin : fs::read_symlink("/proc/self/exe").parent_path().string();
}

class RarArc : public ::testing::Test {
 protected:
  RarArc() : rar(binFolder()) {
    rar.OnError = [this](TRAR&, int code) { log.push_back("error " + std::to_string(code)); };
    rar.OnListFile = [this](TRAR&, const RARHeaderData& h) { log.push_back(std::string("list ") + h.FileName); };
    rar.OnTesting = [this](TRAR&, const RARHeaderData& h) { log.push_back(std::string("testing ") + h.FileName); };
    rar.OnTested = [this](TRAR&, const RARHeaderData& h, bool ok) {
      log.push_back(std::string("tested ") + h.FileName + (ok ? " ok" : " bad"));
    };
    rar.OnExtract = [this](TRAR&, const RARHeaderData& h, bool ok) {
      log.push_back(std::string("extracted ") + h.FileName + (ok ? " ok" : " bad"));
    };
  }
  void archive(const std::vector<Entry>& entries) { rar.ArchiveName = dir.write("a.rar", rartest::rar5(entries)); }

  testsupport::TempDir dir;
  TRAR rar;
  std::vector<std::string> log;
};

using Log = std::vector<std::string>;

TEST_F(RarArc, ListsEveryEntryAndANormalEndIsNoError) {
  archive({rartest::file("a", "1"), rartest::file("b", "2"), rartest::file("c", "3")});
  ASSERT_TRUE(rar.LoadedDLL());
  rar.List();
  EXPECT_EQ(log, (Log{"list a", "list b", "list c"}));
}

TEST_F(RarArc, StopInListFileEndsAfterThatEntry) {
  archive({rartest::file("a", "1"), rartest::file("b", "2"), rartest::file("c", "3")});
  rar.OnListFile = [this](TRAR& r, const RARHeaderData& h) {
    log.push_back(std::string("list ") + h.FileName);
    if (std::string(h.FileName) == "b") r.Stop = true;
  };
  rar.List();
  EXPECT_EQ(log, (Log{"list a", "list b"}));
  EXPECT_FALSE(rar.Stop);
  EXPECT_TRUE(rar.Stopped());
}

TEST_F(RarArc, DamagedAndUncreatableEntriesFailAloneInExtract) {
  Entry bad = rartest::file("bad", "x");
  bad.crc = 1;
  archive({rartest::file("a", "1"), bad, rartest::file("blocked", "2"), rartest::file("z", "3")});
  fs::create_directories(dir / "out/blocked");  // a folder where a file should go
  rar.TargetDir = dir / "out";
  EXPECT_FALSE(rar.Extract());
  EXPECT_EQ(log, (Log{"extracted a ok", "extracted bad bad", "error 12", "extracted blocked bad", "error 16",
                      "extracted z ok"}));
  EXPECT_EQ(testsupport::readFile(dir / "out/z"), "3");
}

TEST_F(RarArc, TestAllOrTheNamedEntries) {
  Entry bad = rartest::file("bad", "x");
  bad.crc = 1;
  archive({rartest::file("a", "1"), bad});
  EXPECT_FALSE(rar.Test());
  EXPECT_EQ(log, (Log{"testing a", "tested a ok", "testing bad", "tested bad bad", "error 12"}));
  log.clear();
  rar.FilesToTest = {"a"};
  EXPECT_TRUE(rar.Test());
  EXPECT_EQ(log, (Log{"testing a", "tested a ok"}));
}

TEST_F(RarArc, PasswordIsAskedForEncryptedEntriesOnly) {
  Entry locked = rartest::file("locked", "0123456789abcdef");
  locked.password = "secret";
  archive({rartest::file("open", "o"), locked});
  std::vector<std::string> answers = {"", "wrong", "secret"};
  std::size_t asked = 0;
  rar.OnReqPassword = [&](TRAR&, const RARHeaderData& h, std::string& pw) {
    log.push_back(std::string("password for ") + h.FileName);
    pw = answers[asked++];
  };
  for (int i = 0; i < 3; ++i) EXPECT_EQ(rar.Test(), i == 2);
  EXPECT_EQ(log, (Log{"testing open", "tested open ok", "testing locked", "password for locked", "tested locked bad",
                      "error 22", "testing open", "tested open ok", "testing locked", "password for locked",
                      "tested locked bad", "error 24", "testing open", "tested open ok", "testing locked",
                      "password for locked", "tested locked ok"}));
  EXPECT_EQ(TRAR::ErrorText(22), "Encrypted file: a password is needed");
  EXPECT_EQ(TRAR::ErrorText(24), "Wrong password");
}

TEST_F(RarArc, EncryptedHeadersAskOncePerArchiveAndTheAnswerIsKept) {
  rar.ArchiveName = rartest::samples() + "/test_read_format_rar5_encrypted_filenames.rar";
  std::vector<std::string> answers = {"", "wrong", "password"};
  std::size_t asked = 0;
  rar.OnReqPassword = [&](TRAR&, const RARHeaderData& h, std::string& pw) {
    log.push_back(std::string("password for ") + h.FileName);
    pw = asked < answers.size() ? answers[asked++] : "";
  };
  rar.List();  // cancelled: nothing listed, told as a missing password
  rar.List();  // wrong
  EXPECT_EQ(log, (Log{"password for test_read_format_rar5_encrypted_filenames.rar", "error 22",
                      "password for test_read_format_rar5_encrypted_filenames.rar", "error 24"}));
  log.clear();
  rar.List();
  EXPECT_EQ(log, (Log{"password for test_read_format_rar5_encrypted_filenames.rar", "list a.txt", "list b.txt",
                      "list c.txt", "list d.txt"}));
  // The password that opened the headers serves the entries and later
  // operations on the same archive: no more questions.
  log.clear();
  rar.TargetDir = dir / "out";
  EXPECT_TRUE(rar.Extract());
  EXPECT_EQ(log, (Log{"extracted a.txt ok", "extracted b.txt ok", "extracted c.txt ok", "extracted d.txt ok"}));
  EXPECT_EQ(testsupport::readFile(dir / "out/c.txt"), "This is from c.txt");
}

TEST_F(RarArc, StopWhileUnpackingEndsTheEntryQuietly) {
  archive({rartest::file("big", std::string(4 << 20, 'b')), rartest::file("next", "n")});
  rar.TargetDir = dir / "out";
  rar.OnProcessData = [](TRAR& r, const unsigned char*, int, std::int64_t position) {
    if (position > 0) r.Stop = true;
    return 1;
  };
  EXPECT_FALSE(rar.Extract());
  EXPECT_EQ(log, (Log{"extracted big bad"})) << "no error for a stop the owner asked for";
  EXPECT_FALSE(rar.Stop);
  EXPECT_TRUE(rar.Stopped());
  EXPECT_FALSE(fs::exists(dir / "out/big"));
}

TEST_F(RarArc, TestReportsProgressAndStopEndsItQuietly) {
  archive({rartest::file("big", std::string(4 << 20, 'b')), rartest::file("next", "n")});
  std::int64_t seen = 0;
  rar.OnProcessData = [&](TRAR& r, const unsigned char*, int, std::int64_t position) {
    seen = position;
    if (position > 0) r.Stop = true;
    return 1;
  };
  EXPECT_FALSE(rar.Test());
  EXPECT_GT(seen, 0) << "the owner hears of the work while testing";
  EXPECT_EQ(log, (Log{"testing big", "tested big bad"})) << "no error, and no later entry";
  EXPECT_TRUE(rar.Stopped());
  EXPECT_FALSE(rar.Stop);
}

TEST_F(RarArc, OneOperationAtATime) {
  archive({rartest::file("a", "1")});
  TRAR other(binFolder());
  other.ArchiveName = rar.ArchiveName;
  bool nested = true;
  rar.OnListFile = [&](TRAR&, const RARHeaderData&) { nested = other.Test(); };
  rar.List();
  EXPECT_FALSE(nested) << "an operation started inside another does nothing";
  EXPECT_TRUE(other.Test()) << "and works once the first one ended";
}

// Checked in a fresh process: once this process has the library loaded, its
// bare name would find it again.
void missingLibrary(const std::string& folder, const std::string& archive) {
  TRAR missing(folder);
  std::vector<int> errors;
  missing.OnError = [&](TRAR&, int code) { errors.push_back(code); };
  missing.OnListFile = [&](TRAR&, const RARHeaderData&) { errors.push_back(-1); };
  missing.ArchiveName = archive;
  missing.List();
  bool extracted = missing.Extract(), tested = missing.Test();
  bool ok = !missing.LoadedDLL() && !extracted && !tested && errors == std::vector<int>{50, 50, 50};
  std::exit(ok ? 0 : 1);
}

TEST(RarArcLibrary, MissingLibraryReportsFiftyAndDoesNothingElse) {
  testsupport::TempDir dir;
  std::string archive = dir.write("a.rar", rartest::rar5({rartest::file("a", "1")}));
  ::testing::GTEST_FLAG(death_test_style) = "threadsafe";
  EXPECT_EXIT(missingLibrary(dir / "no-such-folder", archive), ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(TRAR::ErrorText(50), "libkvrar.so not found");
  EXPECT_EQ(TRAR::ErrorText(99), "Unknown error");
}

TEST_F(RarArc, CommentAndVolumeEvents) {
  rar.ArchiveName = rartest::samples() + "/test_read_format_rar_subblock.rar";
  std::string comment;
  rar.OnComment = [&](TRAR&, const TComment& c) { comment.assign(c.Text, c.Size ? c.Size - 1 : 0); };
  rar.List();
  EXPECT_EQ(comment, "test rar with archive comment");

  rar.ArchiveName = rartest::samples() + "/oldnaming_single.rar";
  std::vector<std::string> volumes;
  rar.OnVolumeChange = [&](TRAR&, char* name, int mode) {
    volumes.push_back(std::to_string(mode) + " " + fs::path(name).filename().string());
    return 1;
  };
  log.clear();
  EXPECT_TRUE(rar.Test());
  EXPECT_EQ(volumes, (std::vector<std::string>{"1 oldnaming_single.r00", "1 oldnaming_single.r01"}));
  EXPECT_EQ(log, (Log{"testing LibarchiveAddingTest.html", "tested LibarchiveAddingTest.html ok"}));
}

}  // namespace
