// The checks in front of each operation, with their texts, and what the engine
// does in their place where this build lacks a step (spanning, new
// self-extracting programs): a clear message and no library call.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/paths.h"
#include "support/without_permission_override.h"
#include "zipengine/ops_fixture.h"

using namespace opstest;

namespace {

enum class Op { Add, Delete, Extract };

struct CheckCase {
  const char* what;
  Op op;
  std::function<void(TZipEngine&, testsupport::TempDir&)> setup;
  const char* text;
};

void archiveNamed(TZipEngine& e, testsupport::TempDir& d, const std::string& name) {
  e.setZipFilename(d.write(name, emptyZip()));
}

const CheckCase kCheckCases[] = {
    {"add without files", Op::Add, [](TZipEngine& e, auto& d) { archiveNamed(e, d, "a.zip"); },
     "Error - no files to zip!"},
    {"add without archive", Op::Add, [](TZipEngine& e, auto&) { e.FSpecArgs = {"f"}; },
     "Error - no zip file specified!"},
    {"add encrypted unattended without password", Op::Add,
     [](TZipEngine& e, auto& d) {
       archiveNamed(e, d, "a.zip");
       e.FSpecArgs = {"f"};
       e.AddOptions = {AddEncrypt};
       e.Unattended = true;
     },
     "Unattended action not possible without a password"},
    {"span with update", Op::Add,
     [](TZipEngine& e, auto& d) {
       archiveNamed(e, d, "a.zip");
       e.FSpecArgs = {"f"};
       e.AddOptions = {AddDiskSpan, AddUpdate};
     },
     "AddFreshen or AddUpdate not possible on a spanned archive"},
    {"span erase with freshen", Op::Add,
     [](TZipEngine& e, auto& d) {
       archiveNamed(e, d, "a.zip");
       e.FSpecArgs = {"f"};
       e.AddOptions = {AddDiskSpanErase, AddFreshen};
     },
     "AddFreshen or AddUpdate not possible on a spanned archive"},
    {"span a program", Op::Add,
     [](TZipEngine& e, auto& d) {
       archiveNamed(e, d, "a.Exe");
       e.FSpecArgs = {"f"};
       e.AddOptions = {AddDiskSpan};
     },
     "Error - Self extracting archives(.exe) can not be spanned"},
    {"new program with texts too long", Op::Add,
     [](TZipEngine& e, auto& d) {
       e.setZipFilename(d / "new.exe");
       e.FSpecArgs = {"f"};
       e.SFXCaption = std::string(200, 'c');
       e.SFXCommandLine = std::string(50, 'x');
     },
     "Error - The total size of the 3 text properties exceeds 245!\r\nSFXCaption + SFXDefaultDir + "
     "SFXCommandLine = 250"},
    {"delete without names", Op::Delete, [](TZipEngine& e, auto& d) { archiveNamed(e, d, "a.zip"); },
     "Error - no files selected for deletion"},
    {"delete from a missing archive", Op::Delete,
     [](TZipEngine& e, auto& d) {
       e.setZipFilename(d / "missing.zip");
       e.FSpecArgs = {"f"};
     },
     "Error - no zip file specified!"},
    {"extract from a missing archive", Op::Extract, [](TZipEngine& e, auto& d) { e.setZipFilename(d / "missing.zip"); },
     "Error - no zip file specified!"},
};

class Checks : public OpsTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(Checks, RefuseWithTheirTextAndCallNoLibrary) {
  const CheckCase& c = GetParam();
  engine.Unattended = false;
  c.setup(engine, dir);
  log.clear();
  if (c.op == Op::Add)
    engine.Add();
  else if (c.op == Op::Delete)
    engine.Delete();
  else
    engine.Extract();
  EXPECT_EQ(ui.boxTexts(), engine.Unattended ? std::vector<std::string>{} : std::vector<std::string>{c.text});
  EXPECT_EQ(messages(), std::vector<std::string>{std::string("message 0 ") + c.text});
  EXPECT_TRUE(records().empty());
  EXPECT_EQ(engine.SuccessCount(), 0);
  EXPECT_FALSE(engine.ZipBusy() || engine.UnzipBusy());
}

INSTANTIATE_TEST_SUITE_P(Cases, Checks, ::testing::ValuesIn(kCheckCases),
                         [](const auto& info) { return paramName(info.param.what); });

// An unattended extraction of encrypted entries without a password hands the
// library a wrong password for this call only: Password stays empty, so a later
// unattended Add with encryption is still refused.
TEST_F(OpsTest, UnattendedExtractWithoutPasswordUsesAFillerForThisCallOnly) {
  nameArchive();
  engine.AddOptions = {AddEncrypt};
  engine.Extract();
  EXPECT_EQ(messages(),
            std::vector<std::string>{"message 0 Warning - Unattended Extract: possible not all files extracted"});
  const std::string sent = onlyRecord().password;
  EXPECT_EQ(sent.substr(0, 79), std::string(79, sent[0]));
  EXPECT_NE(sent[0], '\0');
  EXPECT_EQ(sent.substr(79), std::string(2, '\0'));
  EXPECT_TRUE(engine.Password.empty());
}

// The current folder is ExtrBaseDir during the extraction, and the previous one
// afterwards; a folder that does not exist yet is made first.
TEST_F(OpsTest, ExtractRunsInTheBaseFolderAndComesBack) {
  const std::string before = std::filesystem::current_path().string();
  nameArchive();
  engine.ExtrBaseDir = dir / "new/deeper";
  std::string during;
  onProgress = [&](ProgressType, const std::string&, std::int64_t) {
    during = std::filesystem::current_path().string();
  };
  ::setenv("KV_RECORD_SCRIPT", "3,0,0,", 1);
  engine.Extract();
  EXPECT_EQ(during, std::filesystem::canonical(dir / "new/deeper").string());
  EXPECT_EQ(std::filesystem::current_path().string(), before);
  EXPECT_EQ(onlyRecord().archive, dir / "a.zip") << "an absolute name, whatever the current folder";
}

TEST_F(OpsTest, ExtractRefusesABaseFolderItCannotMake) {
  nameArchive();
  engine.ExtrBaseDir = dir.write("file", "x") + "/sub";
  engine.Extract();
  EXPECT_EQ(messages(), std::vector<std::string>{"message 0 Error - the folder to extract to could not be created: " +
                                                 engine.ExtrBaseDir});
  EXPECT_TRUE(records().empty());
}

// A base folder that exists but cannot be entered: nothing is extracted (above
// all not into the current folder) and the message says why.
TEST_F(OpsTest, ExtractRefusesABaseFolderItCannotEnter) {
  nameArchive();
  const std::string locked = dir / "locked";
  std::filesystem::create_directory(locked);
  ::chmod(locked.c_str(), 0);
  testsupport::WithoutPermissionOverride unprivileged;
  if (::faccessat(AT_FDCWD, locked.c_str(), X_OK, AT_EACCESS) == 0) {
    ::chmod(locked.c_str(), 0700);
    GTEST_SKIP() << "this process may enter a folder without search permission";
  }
  engine.ExtrBaseDir = locked;
  engine.Extract();
  ::chmod(locked.c_str(), 0700);
  EXPECT_EQ(messages(), std::vector<std::string>{"message 0 Error - the folder to extract to cannot be entered; "
                                                 "nothing was extracted: " +
                                                 locked + ": Permission denied"});
  EXPECT_TRUE(records().empty()) << "the library was called";
  EXPECT_EQ(engine.SuccessCount(), 0);

  // A test writes nothing: it runs wherever the current folder is.
  engine.ExtrOptions = {ExtrTest};
  ::chmod(locked.c_str(), 0);
  engine.Extract();
  ::chmod(locked.c_str(), 0700);
  EXPECT_EQ(records().size(), 1u);
}

TEST_F(OpsTest, TempZipNameInTempDirOrTheSystemsFolder) {
  engine.Verbose = true;
  engine.TempDir = dir.path();
  std::string name = engine.TempZipName();
  EXPECT_EQ(engine.TempDir, dir.path() + "/") << "TempDir keeps the slash it was given";
  EXPECT_EQ(name.rfind(dir.path() + "/zip", 0), 0u) << name;
  EXPECT_FALSE(platform::fileExists(name));
  EXPECT_EQ(messages(), std::vector<std::string>{"message 0 Temporary zipfile: " + name});
  engine.TempDir.clear();
  engine.Verbose = false;
  name = engine.TempZipName();
  EXPECT_EQ(name.rfind(platform::tempFolder() + "/zip", 0), 0u) << name;
  EXPECT_EQ(messages().size(), 1u);
}

TEST(ZipOptions, SetsHoldTheirMembersAsBits) {
  AddOpts add{AddDirNames, AddUpdate};
  EXPECT_EQ(add.bits(), 17u);
  add += AddDiskSpanErase;
  add -= AddDirNames;
  EXPECT_EQ(add, AddOpts::fromBits(16 | 2048));
  EXPECT_EQ(AddOpts::fromBits(0xFFFFFFFF).bits(), 0xFFFu) << "bits beyond the last member are dropped";
  EXPECT_TRUE(TZipEngine().SFXOptions == SFXOpts{SFXCheckSize});
}

}  // namespace
