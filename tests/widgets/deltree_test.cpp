// Deleting a folder tree removes everything inside it (read-only entries included),
// touches nothing outside it, and reports at most once per run.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>

#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "widgets/deltree.h"

using namespace widgets;
using testsupport::readFile;
namespace fs = std::filesystem;

namespace {

bool exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

mode_t modeOf(const std::string& path) {
  struct stat st {};
  ::lstat(path.c_str(), &st);
  return st.st_mode & 07777;
}

// Execute() moves the process's current folder; every test gets it back.
class DelTreeTest : public ::testing::Test {
 protected:
  DelTreeTest() {
    char buf[PATH_MAX];
    if (::getcwd(buf, sizeof buf)) cwd_ = buf;
    ui.acceptInformationBoxes(true);  // the reports are still recorded and checked
  }
  ~DelTreeTest() override {
    if (!cwd_.empty() && ::chdir(cwd_.c_str()) != 0) ADD_FAILURE() << "cannot go back to " << cwd_;
  }
  void TearDown() override { EXPECT_TRUE(ui.unexpected.empty()) << ui.unexpected.front(); }

  // A tree with a read-only file and a read-only folder holding a file.
  void makeTree(const std::string& root) {
    tmp.write(root + "/a.txt", "a");
    tmp.write(root + "/sub/b.txt", "b");
    tmp.write(root + "/ro/c.txt", "c");
    tmp.write(root + "/sub/deeper/.hidden", "h");
    ::chmod((tmp / (root + "/a.txt")).c_str(), 0444);
    ::chmod((tmp / (root + "/ro/c.txt")).c_str(), 0400);
    ::chmod((tmp / (root + "/ro")).c_str(), 0500);
  }

  testsupport::TempDir tmp;
  testsupport::ScriptedUi ui;
  std::string cwd_;
};

TEST_F(DelTreeTest, DeletesTheWholeTreeIncludingReadOnlyEntries) {
  makeTree("victim");
  TMPDelTree t;
  t.Path = tmp / "victim";
  EXPECT_TRUE(t.Execute());
  EXPECT_FALSE(exists(tmp / "victim"));
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(DelTreeTest, DeleteRootOffEmptiesTheFolderAndKeepsIt) {
  makeTree("keep");
  ::chmod((tmp / "keep").c_str(), 0555);  // a read-only root keeps its mode
  TMPDelTree t;
  t.Path = (tmp / "keep") + "/";
  t.DeleteRoot = false;
  t.Verbose = true;
  EXPECT_TRUE(t.Execute());
  EXPECT_EQ(t.Path, tmp / "keep");  // the trailing separator is removed and stored
  ASSERT_TRUE(fs::is_directory(tmp / "keep"));
  EXPECT_TRUE(fs::is_empty(tmp / "keep"));
  EXPECT_EQ(modeOf(tmp / "keep"), 0555u);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(DelTreeTest, MissingFolderGivesTrueAndTheMessageOnce) {
  TMPDelTree t;
  t.Verbose = true;
  t.Path = (tmp / "missing") + "/";
  EXPECT_TRUE(t.Execute());
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "The directory " + (tmp / "missing") + " doesn't exist");
  EXPECT_EQ(ui.boxes[0].kind, platform::MsgKind::Plain);
  EXPECT_EQ(ui.boxes[0].buttons, platform::kOk);

  t.Verbose = false;  // quiet: no message at all
  EXPECT_TRUE(t.Execute());
  EXPECT_EQ(ui.boxes.size(), 1u);
}

TEST_F(DelTreeTest, LinksToTheOutsideAreRemovedNotFollowed) {
  tmp.write("outside/dir/keep.txt", "keep");
  tmp.write("outside/file.txt", "file");
  ::chmod((tmp / "outside/dir").c_str(), 0555);
  tmp.write("victim/x.txt", "x");
  fs::create_directory(tmp / "victim/sub");
  ASSERT_EQ(::symlink((tmp / "outside/dir").c_str(), (tmp / "victim/sub/dirlink").c_str()), 0);
  ASSERT_EQ(::symlink((tmp / "outside/file.txt").c_str(), (tmp / "victim/filelink").c_str()), 0);
  TMPDelTree t;
  t.Path = tmp / "victim";
  EXPECT_TRUE(t.Execute());
  EXPECT_FALSE(exists(tmp / "victim"));
  EXPECT_EQ(readFile(tmp / "outside/dir/keep.txt"), "keep");
  EXPECT_EQ(readFile(tmp / "outside/file.txt"), "file");
  EXPECT_EQ(modeOf(tmp / "outside/dir"), 0555u);  // not even its permissions changed
}

TEST_F(DelTreeTest, PathThatIsALinkRemovesOnlyTheLink) {
  tmp.write("real/keep.txt", "keep");
  ASSERT_EQ(::symlink((tmp / "real").c_str(), (tmp / "alias").c_str()), 0);
  TMPDelTree t;
  t.Path = tmp / "alias";
  EXPECT_TRUE(t.Execute());
  EXPECT_FALSE(exists(tmp / "alias"));
  EXPECT_EQ(readFile(tmp / "real/keep.txt"), "keep");
}

TEST_F(DelTreeTest, ProcessFileSeesEachFileAndCanCancel) {
  tmp.write("t/a.txt", "12345");
  tmp.write("t/b.txt", "b");
  tmp.write("t/c.txt", "c");
  std::vector<std::string> seen;
  TMPDelTree t;
  t.Path = tmp / "t";
  t.Verbose = true;
  t.OnProcessFile = [&](TMPDelTree* sender, const std::string& file, const TSearchRec& rec, bool& cancel) {
    EXPECT_EQ(sender, &t);
    seen.push_back(file);
    if (rec.Name == "a.txt") { EXPECT_EQ(rec.Size, 5u); }
    EXPECT_TRUE(S_ISREG(rec.Attr));
    cancel = rec.Name == "b.txt";
  };
  EXPECT_FALSE(t.Execute());
  EXPECT_EQ(seen, (std::vector<std::string>{tmp / "t/a.txt", tmp / "t/b.txt"}));
  EXPECT_FALSE(exists(tmp / "t/a.txt"));
  EXPECT_TRUE(exists(tmp / "t/b.txt"));  // the file being asked about stays
  EXPECT_TRUE(exists(tmp / "t/c.txt"));
  EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"DelTree aborted by user !"});
}

TEST_F(DelTreeTest, AFileThatCannotBeDeletedEndsTheRunWithOneMessage) {
  tmp.write("t/a.txt", "a");
  tmp.write("t/z.txt", "z");
  TMPDelTree t;
  t.Path = tmp / "t";
  t.Verbose = true;
  // Root may delete anything, so the fault is made by hand: the file turns into a
  // folder with contents just before it is unlinked, which unlink refuses.
  t.OnProcessFile = [&](TMPDelTree*, const std::string& file, const TSearchRec& rec, bool&) {
    if (rec.Name != "a.txt") return;
    fs::remove(file);
    tmp.write("t/a.txt/inside", "i");
  };
  EXPECT_FALSE(t.Execute());
  EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"Cannot delete file " + (tmp / "t/a.txt")});
  EXPECT_TRUE(exists(tmp / "t/z.txt"));  // the run stopped there
}

TEST_F(DelTreeTest, RelativePathMeansTheFolderBeforeMovingUp) {
  tmp.write("work/victim/x.txt", "x");
  tmp.write("victim/decoy.txt", "decoy");  // what "victim" would name one level up
  ASSERT_EQ(::chdir((tmp / "work").c_str()), 0);
  TMPDelTree t;
  t.Path = "victim";
  EXPECT_TRUE(t.Execute());
  EXPECT_FALSE(exists(tmp / "work/victim"));
  EXPECT_EQ(readFile(tmp / "victim/decoy.txt"), "decoy");
  char buf[PATH_MAX];
  ASSERT_NE(::getcwd(buf, sizeof buf), nullptr);
  EXPECT_EQ(fs::canonical(buf), fs::canonical(tmp.path()));  // moved one level up
}

}  // namespace
