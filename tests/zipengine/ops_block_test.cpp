// The parameter blocks the engine hands to the libraries: every word of both
// layouts of both libraries, the layout each library version gets, and what the
// engine keeps of FSpecArgs afterwards.
#include "zipengine/ops_fixture.h"
#include "support/param_name.h"

using namespace opstest;

namespace {

constexpr std::uint32_t ON = ZIPLIB_ON;

// The flag words the options decide, as a block must carry them.
struct ZipFlags {
  std::uint32_t trace, encrypt, hidden, noDirEntries, verbose, strip;
  std::uint16_t recurse;
  std::uint32_t forceDos, move, update, freshen, zipTime;
};

struct ZipCase {
  const char* what;
  AddOpts options;
  bool verbose, trace, unattended, literal;
  int level;
  std::string password, tempDir;
  ZipFlags expect;
};

const AddOpts kAllAddOptions{AddDirNames, AddRecurseDirs, AddMove,        AddFreshen, AddUpdate,
                             AddZipTime,  AddForceDOS,    AddHiddenFiles, AddEncrypt, AddSeparateDirs};

const ZipCase kZipCases[] = {
    // Update wins over freshen; trace alone turns verbose on; 100 password bytes are cut to 80.
    {"every option, trace, literal names",
     kAllAddOptions,
     false,
     true,
     false,
     true,
     3,
     std::string(100, 'p'),
     "/tmp/kv-temp",
     {ON, ON, ON, 0, ON, 0, 0xFFFF, ON, ON, ON, 0, ON}},
    {"freshen alone, verbose, unattended",
     {AddFreshen},
     true,
     false,
     true,
     false,
     0,
     "pw",
     "",
     {0, 0, 0, ON, ON, ON, 0, 0, 0, 0, ON, 0}},
    {"no option", {}, false, false, false, false, 9, "", "", {0, 0, 0, ON, 0, ON, 0, 0, 0, 0, 0, 0}},
};

class ZipBlock : public OpsTest, public ::testing::WithParamInterface<std::tuple<int, ZipCase>> {
 protected:
  template <typename Block>
  void checkCommon(const Block& b, const ZipCase& c, const std::string& archive) {
    EXPECT_EQ(b.Handle == nullptr, c.unattended);
    EXPECT_EQ(b.Caller, &engine);
    EXPECT_EQ(b.Version, 152u);
    EXPECT_NE(b.Callback, nullptr);
    EXPECT_NE(b.Password, nullptr);
    EXPECT_EQ(b.Always56, ON);
    EXPECT_EQ(b.Level, static_cast<std::uint32_t>(c.level));
    EXPECT_EQ(b.AddMode, ON);
    EXPECT_EQ(b.DeleteEntries, 0u);
    EXPECT_EQ(b.SpecCount, 2u);
    EXPECT_NE(b.ArchiveName, nullptr);
    const ZipFlags& e = c.expect;
    EXPECT_EQ(b.Trace, e.trace);
    EXPECT_EQ(b.Encrypt, e.encrypt);
    EXPECT_EQ(b.HiddenFiles, e.hidden);
    EXPECT_EQ(b.NoDirEntries, e.noDirEntries);
    EXPECT_EQ(b.Verbose, e.verbose);
    EXPECT_EQ(b.StripDirNames, e.strip);
    EXPECT_EQ(b.Recurse, e.recurse);
    EXPECT_EQ(b.Reserved78, 0u) << "the recurse flag is 16 bits wide";
    EXPECT_EQ(b.ForceDos, e.forceDos);
    EXPECT_EQ(b.Move, e.move);
    EXPECT_EQ(b.Update, e.update);
    EXPECT_EQ(b.Freshen, e.freshen);
    EXPECT_EQ(b.ZipTime, e.zipTime);
    EXPECT_EQ(b.LiteralNames, c.literal ? ON : 0u);
    EXPECT_EQ(b.PasswordGiven, c.password.empty() ? 0u : ON);
    for (std::uint32_t w :
         {b.Reserved36, b.Reserved40, b.Reserved48, b.Reserved64, b.Reserved68, b.Reserved112, b.Reserved116})
      EXPECT_EQ(w, 0u);
    LibRecord r = onlyRecord();
    EXPECT_EQ(r.archive, archive);
    EXPECT_EQ(r.password, passwordBuffer(c.password));
    EXPECT_EQ(r.specs, (std::vector<std::string>{"one.txt", "folder/"}));
  }
};

TEST_P(ZipBlock, EveryWordOfTheLayoutTheVersionAsksFor) {
  auto [version, c] = GetParam();
  ::setenv("KV_RECORD_ZIP_VERSION", std::to_string(version).c_str(), 1);
  const std::string archive = nameArchive();
  engine.AddOptions = c.options;
  engine.Verbose = c.verbose;
  engine.Trace = c.trace;
  engine.Unattended = c.unattended;
  engine.AddCompLevel = c.level;
  engine.Password = c.password;
  engine.TempDir = c.tempDir;
  engine.FSpecArgs = {"one.txt", "folder/"};
  engine.FSpecArgsLiteral = c.literal;
  engine.Add();
  EXPECT_EQ(engine.SuccessCount(), 2);
  EXPECT_FALSE(engine.FSpecArgsLiteral) << "cleared with FSpecArgs";
  LibRecord r = onlyRecord();
  ASSERT_EQ(r.version, version);
  if (version >= 151) {
    auto b = r.as<ZipExecParams>();
    checkCommon(b, c, archive);
    EXPECT_EQ(b.Mark, 7u);
    EXPECT_EQ(b.TempDir == nullptr, c.tempDir.empty());
    EXPECT_EQ(r.tempDir, c.tempDir.empty() ? "-" : c.tempDir);
    EXPECT_NE(b.FileRecords, nullptr);
    EXPECT_TRUE(r.recordTails);
    EXPECT_EQ(b.Reserved132 | b.Reserved136, 0u);
    for (std::uint32_t w : b.Reserved144) EXPECT_EQ(w, 0u);
  } else {
    auto b = r.as<ZipExecParamsOld>();
    checkCommon(b, c, archive);
    EXPECT_EQ(b.Mark, 7u);
    EXPECT_EQ(r.oldSlots, 2) << "slots after the last specification stay 0";
  }
}

INSTANTIATE_TEST_SUITE_P(Versions, ZipBlock,
                         ::testing::Combine(::testing::Values(150, 151), ::testing::ValuesIn(kZipCases)),
                         [](const auto& info) {
                           return std::to_string(std::get<0>(info.param)) + "_" +
                                  paramName(std::get<1>(info.param).what);
                         });

struct UnzCase {
  const char* what;
  ExtrOpts options;
  bool verbose, trace, unattended, literal;
  std::uint32_t test, update, freshen, dirNames, overwrite, verboseWord;
};

const UnzCase kUnzCases[] = {
    {"every option, trace, literal names",
     {ExtrDirNames, ExtrOverWrite, ExtrFreshen, ExtrUpdate, ExtrTest},
     false,
     true,
     false,
     true,
     ON,
     ON,
     0,
     ON,
     ON,
     ON},
    {"freshen alone, verbose, unattended", {ExtrFreshen}, true, false, true, false, 0, 0, ON, 0, 0, ON},
    {"no option", {}, false, false, false, false, 0, 0, 0, 0, 0, 0},
};

class UnzBlock : public OpsTest, public ::testing::WithParamInterface<std::tuple<int, UnzCase>> {
 protected:
  template <typename Block>
  void checkCommon(const Block& b, const UnzCase& c) {
    EXPECT_EQ(b.Handle == nullptr, c.unattended);
    EXPECT_EQ(b.Caller, &engine);
    EXPECT_EQ(b.Version, 152u);
    EXPECT_NE(b.Callback, nullptr);
    EXPECT_EQ(b.Trace, c.trace ? ON : 0u);
    EXPECT_NE(b.Password, nullptr);
    EXPECT_EQ(b.Test, c.test);
    EXPECT_EQ(b.Always40, ON);
    EXPECT_EQ(b.Verbose, c.verboseWord);
    EXPECT_EQ(b.Update, c.update);
    EXPECT_EQ(b.Freshen, c.freshen);
    EXPECT_EQ(b.DirNames, c.dirNames);
    EXPECT_EQ(b.Overwrite, c.overwrite);
    EXPECT_EQ(b.SpecCount, 1u);
    EXPECT_EQ(b.LiteralNames, c.literal ? ON : 0u);
    EXPECT_EQ(b.PasswordGiven, ON);
    EXPECT_EQ(b.Reserved36, 0u);
    EXPECT_EQ(b.Mark, 7u);
  }
};

TEST_P(UnzBlock, EveryWordOfTheLayoutTheVersionAsksFor) {
  auto [version, c] = GetParam();
  ::setenv("KV_RECORD_UNZ_VERSION", std::to_string(version).c_str(), 1);
  const std::string archive = nameArchive();
  engine.ExtrOptions = c.options;
  engine.Verbose = c.verbose;
  engine.Trace = c.trace;
  engine.Unattended = c.unattended;
  engine.Password = std::string(81, 'q');
  engine.FSpecArgs = {"docs/*.txt"};
  engine.FSpecArgsLiteral = c.literal;
  engine.Extract();
  EXPECT_FALSE(engine.FSpecArgsLiteral);
  LibRecord r = onlyRecord();
  ASSERT_EQ(r.version, version);
  EXPECT_EQ(r.archive, archive);
  EXPECT_EQ(r.password, passwordBuffer(std::string(80, 'q')));
  EXPECT_EQ(r.specs, std::vector<std::string>{"docs/*.txt"});
  if (version >= 152) {
    auto b = r.as<UnzExecParams>();
    checkCommon(b, c);
    EXPECT_TRUE(r.recordTails);
    for (std::uint32_t w : b.Reserved76) EXPECT_EQ(w, 0u);
  } else {
    checkCommon(r.as<UnzExecParamsOld>(), c);
    EXPECT_EQ(r.oldSlots, 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Versions, UnzBlock,
                         ::testing::Combine(::testing::Values(151, 152), ::testing::ValuesIn(kUnzCases)),
                         [](const auto& info) {
                           return std::to_string(std::get<0>(info.param)) + "_" +
                                  paramName(std::get<1>(info.param).what);
                         });

class DeleteBlock : public OpsTest, public ::testing::WithParamInterface<int> {};

// Deleting clears every adding word whatever AddOptions holds and sets the delete word.
TEST_P(DeleteBlock, ClearsTheAddingWords) {
  ::setenv("KV_RECORD_ZIP_VERSION", std::to_string(GetParam()).c_str(), 1);
  nameArchive();
  engine.AddOptions = kAllAddOptions;
  engine.FSpecArgs = {"old.txt"};
  engine.Delete();
  LibRecord r = onlyRecord();
  auto check = [](const auto& b) {
    EXPECT_EQ(b.DeleteEntries, ON);
    EXPECT_EQ(b.Encrypt | b.StripDirNames | b.AddMode | b.Move | b.Update | b.Freshen, 0u);
    EXPECT_EQ(b.Recurse, 0u);
    EXPECT_EQ(b.HiddenFiles & b.ForceDos & b.ZipTime, ON) << "the other words still follow the options";
    EXPECT_EQ(b.SpecCount, 1u);
  };
  if (GetParam() >= 151)
    check(r.as<ZipExecParams>());
  else
    check(r.as<ZipExecParamsOld>());
  EXPECT_EQ(r.specs, std::vector<std::string>{"old.txt"});
}

INSTANTIATE_TEST_SUITE_P(Versions, DeleteBlock, ::testing::Values(150, 151),
                         testsupport::namedBy([](int version) { return "version" + std::to_string(version); }));

enum class Op { Add, Delete, Extract };

class SpecsAfterCall : public OpsTest, public ::testing::WithParamInterface<std::tuple<Op, int>> {};

// FSpecArgs is emptied by every call that reached the library, whatever its result.
TEST_P(SpecsAfterCall, AreEmptied) {
  auto [op, result] = GetParam();
  ::setenv("KV_RECORD_RESULT", std::to_string(result).c_str(), 1);
  nameArchive();
  engine.FSpecArgs = {"a", "b"};
  if (op == Op::Add)
    engine.Add();
  else if (op == Op::Delete)
    engine.Delete();
  else
    engine.Extract();
  EXPECT_EQ(records().size(), 1u);
  EXPECT_TRUE(engine.FSpecArgs.empty());
  EXPECT_EQ(engine.SuccessCount(), result);
  EXPECT_FALSE(engine.ZipBusy() || engine.UnzipBusy());
}

INSTANTIATE_TEST_SUITE_P(Results, SpecsAfterCall,
                         ::testing::Combine(::testing::Values(Op::Add, Op::Delete, Op::Extract),
                                            ::testing::Values(2, 0)),
                         testsupport::namedBy([](const std::tuple<Op, int>& p) {
                           static const char* const ops[] = {"add", "delete", "extract"};
                           return std::string(ops[static_cast<int>(std::get<0>(p))]) + "_result" +
                                  std::to_string(std::get<1>(p));
                         }));

// An empty password the caller gave is one: the blocks say so beside the empty
// text; without the flag an empty password stays "none" (the word 0, as in the
// blocks of callers that do not know it).
TEST_F(OpsTest, TheEmptyPasswordGivenIsMarkedInBothLibrariesBlocks) {
  ::setenv("KV_RECORD_ZIP_VERSION", "151", 1);
  ::setenv("KV_RECORD_UNZ_VERSION", "152", 1);
  nameArchive();
  for (bool given : {true, false}) {
    engine.Password.clear();
    engine.PasswordGiven = given;
    engine.FSpecArgs = {"a"};
    engine.Add();
    engine.Extract();
    const std::vector<LibRecord> all = records();
    ASSERT_EQ(all.size(), given ? 2u : 4u);
    const LibRecord& zip = all[all.size() - 2];
    const LibRecord& unz = all.back();
    EXPECT_EQ(zip.as<ZipExecParams>().PasswordGiven, given ? ON : 0u);
    EXPECT_EQ(unz.as<UnzExecParams>().PasswordGiven, given ? ON : 0u);
    EXPECT_EQ(unz.password, passwordBuffer(""));
  }
}

// The old layouts hold 4097 specification addresses: more are refused rather than
// dropped without a word.
TEST_F(OpsTest, OldLayoutTakesAtMost4097Specifications) {
  ::setenv("KV_RECORD_ZIP_VERSION", "150", 1);
  nameArchive();
  engine.FSpecArgs.assign(4098, "f");
  engine.Add();
  EXPECT_TRUE(records().empty());
  EXPECT_EQ(messages(),
            std::vector<std::string>{"message 0 Error - the library takes at most 4097 file specifications"});
  EXPECT_EQ(engine.FSpecArgs.size(), 4098u);
  engine.FSpecArgs.pop_back();
  engine.Add();
  EXPECT_EQ(onlyRecord().oldSlots, 4097);
}

}  // namespace
