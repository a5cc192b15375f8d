// Loading the libraries: where they are looked for, the texts for a missing
// library or entry point (boxes through the Ui and OnMessage), the trace
// announcement, and the version queries that load and unload.
#include <dlfcn.h>

#include "zipengine/ops_fixture.h"

using namespace opstest;

namespace {

struct LoadCase {
  const char* what;
  const char* folder;  // under testlibs/, or "" for an empty folder
  bool zip;            // Add (compressor) or Extract (extractor)
  const char* text;
};

const LoadCase kLoadCases[] = {
    {"compressor missing", "", true, "libkvzip.so not found!"},
    {"extractor missing", "", false, "libkvunzip.so not found!"},
    {"compressor without exec", "noexec", true, "ZipLibExec function not found in libkvzip.so!"},
    {"compressor without version", "noversion", true, "GetZipLibVersion function not found in libkvzip.so!"},
    {"extractor without exec", "noexec", false, "UnzLibExec function not found in libkvunzip.so!"},
    {"extractor without version", "noversion", false, "GetUnzLibVersion function not found in libkvunzip.so!"},
};

class LoadFailure : public OpsTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LoadFailure, ShowsItsTextAndCallsNothing) {
  const LoadCase& c = GetParam();
  nameArchive();
  engine.setDLLDirectory(*c.folder ? testLibs(c.folder) : dir.path());
  engine.Unattended = false;
  engine.FSpecArgs = {"x"};
  if (c.zip)
    engine.Add();
  else
    engine.Extract();
  EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{c.text});
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, platform::MsgKind::Warning);
  EXPECT_EQ(messages(), std::vector<std::string>{std::string("message 0 ") + c.text});
  EXPECT_EQ(engine.LastMessage(), c.text);
  EXPECT_EQ(engine.SuccessCount(), 0);
  EXPECT_FALSE(engine.ZipBusy() || engine.UnzipBusy());
  EXPECT_EQ(engine.FSpecArgs.size(), 1u) << "no library was reached";
  EXPECT_EQ(c.zip ? engine.ZipVersion() : engine.UnzipVersion(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, LoadFailure, ::testing::ValuesIn(kLoadCases),
                         [](const auto& info) { return paramName(info.param.what); });

TEST_F(OpsTest, TraceAnnouncesEachLoad) {
  nameArchive();
  engine.Unattended = false;
  engine.Trace = true;
  engine.FSpecArgs = {"x"};
  engine.Add();
  engine.FSpecArgs = {"x"};
  engine.Extract();
  EXPECT_EQ(ui.boxTexts(), (std::vector<std::string>{"KVZIP Loaded", "KVUNZIP Loaded!"}));
  EXPECT_EQ(records().size(), 2u);
}

// Is the library file at path loaded in this process now?
bool isLoaded(const std::string& path) {
  void* h = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (h) ::dlclose(h);
  return h != nullptr;
}

TEST_F(OpsTest, VersionQueriesLoadAndUnloadAgain) {
  ::setenv("KV_RECORD_ZIP_VERSION", "150", 1);
  ::setenv("KV_RECORD_UNZ_VERSION", "199", 1);
  engine.setDLLDirectory(testLibs("record") + "/");
  EXPECT_EQ(engine.DLLDirectory(), testLibs("record"));
  EXPECT_EQ(engine.ZipVersion(), 150);
  EXPECT_EQ(engine.UnzipVersion(), 199);
  EXPECT_FALSE(isLoaded(testLibs("record") + "/libkvzip.so"));
  EXPECT_FALSE(isLoaded(testLibs("record") + "/libkvunzip.so"));
}

// Without DLLDirectory the libraries are taken from the program's own folder,
// where the build puts them beside this test.
TEST_F(OpsTest, WithoutAFolderTheProgramsOwnFolderComesFirst) {
  engine.setDLLDirectory("");
  EXPECT_EQ(engine.ZipVersion(), ZIPLIB_VERSION);
  EXPECT_EQ(engine.UnzipVersion(), ZIPLIB_VERSION);
  EXPECT_TRUE(messages().empty());
}

// A folder without the library falls back to the system's search, which does not
// look in the program's folder.
TEST_F(OpsTest, AFolderWithoutTheLibraryFallsBackToTheSystemSearch) {
  engine.setDLLDirectory(dir.path());
  EXPECT_EQ(engine.ZipVersion(), 0);
  EXPECT_EQ(messages(), std::vector<std::string>{"message 0 libkvzip.so not found!"});
}

}  // namespace
