// File operations copy, move, rename and delete as asked, never leave a partial or
// destroyed target behind on cancel or refusal, and ask the user the right questions.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <cstdlib>
#include <filesystem>

#include "platform/pump.h"
#include "platform/trash.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "widgets/copyprogress.h"
#include "widgets/fileoperation.h"

using namespace widgets;
using testsupport::readFile;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> namesIn(const std::string& folder) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(folder)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

bool exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

class FileOperationTest : public ::testing::Test {
 protected:
  FileOperationTest() {
    op.Flags = fofSilent;
    ui.acceptInformationBoxes(true);  // error boxes are still recorded and checked
  }
  void TearDown() override { EXPECT_TRUE(ui.unexpected.empty()) << ui.unexpected.front(); }

  testsupport::TempDir tmp;
  testsupport::ScriptedUi ui;
  TFileOperation op;
};

TEST_F(FileOperationTest, TwoSourcesAreCopiedInOneOperationKeepingTimesAndModes) {
  std::string a = tmp.write("src/a.txt", "alpha"), b = tmp.write("src/b.bin", std::string(3000, 'b'));
  ::chmod(a.c_str(), 0640);
  const struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
  ::utimensat(AT_FDCWD, b.c_str(), old, 0);
  fs::create_directory(tmp / "dest");
  op.Operation = foCopy;
  op.FilesFrom = a + ";" + b;
  op.FilesTo = tmp / "dest";
  op.setActive(true);
  EXPECT_TRUE(op.LastResult());
  EXPECT_FALSE(op.OperationAborted());
  EXPECT_EQ(readFile(tmp / "dest/a.txt"), "alpha");
  EXPECT_EQ(readFile(tmp / "dest/b.bin"), std::string(3000, 'b'));
  EXPECT_EQ(readFile(a), "alpha");  // a copy leaves the source
  struct stat st {};
  ::stat((tmp / "dest/a.txt").c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  ::stat((tmp / "dest/b.bin").c_str(), &st);
  EXPECT_EQ(st.st_mtime, 1000000000);
  EXPECT_EQ(namesIn(tmp / "dest"), (std::vector<std::string>{"a.txt", "b.bin"}));  // no temporary leftovers
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(FileOperationTest, WildcardsExpandAndFilesOnlyLeavesFoldersOut) {
  tmp.write("src/one.txt", "1");
  tmp.write("src/two.txt", "2");
  tmp.write("src/skip.dat", "x");
  tmp.write("src/sub.txt/inner", "in");  // a folder whose name matches too
  op.FilesFrom = tmp / "src/*.txt";
  op.FilesTo = tmp / "a";
  op.Flags = fofSilent | fofNoConfirmMkDir | fofFilesOnly;
  ASSERT_TRUE(op.Execute());
  EXPECT_EQ(namesIn(tmp / "a"), (std::vector<std::string>{"one.txt", "two.txt"}));

  op.FilesTo = tmp / "b";
  op.Flags = fofSilent | fofNoConfirmMkDir;
  ASSERT_TRUE(op.Execute());
  EXPECT_EQ(namesIn(tmp / "b"), (std::vector<std::string>{"one.txt", "sub.txt", "two.txt"}));
  EXPECT_EQ(readFile(tmp / "b/sub.txt/inner"), "in");
  EXPECT_TRUE(ui.boxes.empty());
}

// One row per way of meeting an existing target.
struct CollisionCase {
  const char* name;
  TFileOpFlags extraFlags;
  std::optional<platform::MsgButton> answer;  // the answer to the overwrite question, if asked
  bool result;
  bool aborted;
  const char* target;   // contents of dest/f.txt afterwards
  const char* renamed;  // contents of dest/f (2).txt afterwards ("" = absent)
  bool secondCopied;    // the second source, g.txt, was copied
};

class CollisionTest : public FileOperationTest, public ::testing::WithParamInterface<CollisionCase> {};

TEST_P(CollisionTest, ExistingTarget) {
  const CollisionCase& c = GetParam();
  std::string f = tmp.write("src/f.txt", "new"), g = tmp.write("src/g.txt", "g");
  tmp.write("dest/f.txt", "old");
  if (c.answer) ui.answerMessage(*c.answer);
  op.FilesFrom = f + ";" + g;
  op.FilesTo = tmp / "dest";
  op.Flags = fofSilent | c.extraFlags;
  EXPECT_EQ(op.Execute(), c.result);
  EXPECT_EQ(op.OperationAborted(), c.aborted);
  EXPECT_EQ(readFile(tmp / "dest/f.txt"), c.target);
  EXPECT_EQ(exists(tmp / "dest/f (2).txt"), *c.renamed != 0);
  if (*c.renamed) { EXPECT_EQ(readFile(tmp / "dest/f (2).txt"), c.renamed); }
  EXPECT_EQ(exists(tmp / "dest/g.txt"), c.secondCopied);
  if (c.answer) {
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Overwrite existing file " + (tmp / "dest/f.txt") + "?");
    EXPECT_EQ(ui.boxes[0].kind, platform::MsgKind::Confirmation);
    EXPECT_EQ(ui.boxes[0].buttons, platform::kYesNoCancel);
  } else {
    EXPECT_TRUE(ui.boxes.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    FileOperation, CollisionTest,
    ::testing::Values(
        CollisionCase{"NoKeepsTarget", {}, platform::kBtnNo, false, true, "old", "", true},
        CollisionCase{"YesReplaces", {}, platform::kBtnYes, true, false, "new", "", true},
        CollisionCase{"CancelStops", {}, platform::kBtnCancel, false, true, "old", "", false},
        CollisionCase{"RenameOnCollision", fofRenameOnCollision, std::nullopt, true, false, "old", "new", true},
        CollisionCase{"NoConfirmationReplaces", fofNoConfirmation, std::nullopt, true, false, "new", "", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FileOperationTest, CancelledCopyLeavesNoTargetAndKeepsAnExistingOne) {
  std::string big = tmp.write("src/big.bin", std::string(256 * 1024, 'z'));
  fs::create_directory(tmp / "dest");
  op.BlockSize = 4096;
  int reports = 0;
  op.OnProgress = [&](TFileOperation*, const TFileOpProgress& p, bool& cancel) {
    ++reports;
    if (p.BytesDone >= 3 * 4096) cancel = true;  // midway through the file
  };
  op.FilesFrom = big;
  op.FilesTo = tmp / "dest";
  EXPECT_FALSE(op.Execute());
  EXPECT_TRUE(op.OperationAborted());
  EXPECT_GT(reports, 2);
  EXPECT_TRUE(namesIn(tmp / "dest").empty());  // neither the target nor a temporary file

  // Cancelling the replacement of an existing file leaves the old file whole.
  tmp.write("dest/big.bin", "previous");
  op.Flags = fofSilent | fofNoConfirmation;
  EXPECT_FALSE(op.Execute());
  EXPECT_EQ(readFile(tmp / "dest/big.bin"), "previous");
  EXPECT_EQ(namesIn(tmp / "dest"), std::vector<std::string>{"big.bin"});
  EXPECT_EQ(readFile(big).size(), 256u * 1024);
}

TEST_F(FileOperationTest, ProgressWindowCancelButtonStopsTheCopy) {
  std::string big = tmp.write("src/big.bin", std::string(64 * 1024, 'q'));
  fs::create_directory(tmp / "dest");
  op.Flags = fofSimpleProgress;
  op.ProgressTitle = "Copying files";
  op.ProgressDelayMs = 0;
  op.BlockSize = 4096;
  QString title;
  bool namesShown = true;
  op.OnProgress = [&](TFileOperation* sender, const TFileOpProgress& p, bool&) {
    TCopyProgress* w = sender->progressWindow();
    ASSERT_NE(w, nullptr);
    title = w->windowTitle();
    namesShown = !w->la_File->isHidden();
    if (p.BytesDone > 0) w->bu_Cancel->click();
  };
  int pumps = 0;
  platform::setPumpHook([&] { ++pumps; });
  op.FilesFrom = big;
  op.FilesTo = tmp / "dest";
  EXPECT_FALSE(op.Execute());
  platform::setPumpHook(nullptr);
  EXPECT_GT(pumps, 0);  // the window was kept alive through the hook
  EXPECT_TRUE(op.OperationAborted());
  EXPECT_EQ(title, QStringLiteral("Copying files"));
  EXPECT_FALSE(namesShown);
  EXPECT_EQ(op.progressWindow(), nullptr);  // gone with the run
  EXPECT_TRUE(namesIn(tmp / "dest").empty());
}

TEST_F(FileOperationTest, MissingTargetFolderIsCreatedOnlyWhenConfirmed) {
  std::string f = tmp.write("f.txt", "x");
  std::string folder = tmp / "new/deeper";
  op.FilesFrom = f;
  op.FilesTo = folder + "/";
  ui.answerMessage(platform::kBtnNo);
  EXPECT_FALSE(op.Execute());
  EXPECT_TRUE(op.OperationAborted());
  EXPECT_FALSE(exists(folder));
  ASSERT_EQ(ui.boxTexts(), std::vector<std::string>{"The folder " + folder + " does not exist. Create it?"});

  ui.answerMessage(platform::kBtnYes);
  EXPECT_TRUE(op.Execute());
  EXPECT_EQ(readFile(folder + "/f.txt"), "x");

  op.Flags = fofSilent | fofNoConfirmMkDir;
  op.FilesTo = tmp / "other/";
  EXPECT_TRUE(op.Execute());
  EXPECT_EQ(readFile(tmp / "other/f.txt"), "x");
  EXPECT_EQ(ui.boxes.size(), 2u);
}

TEST_F(FileOperationTest, SingleSourceToAFileNameAndMultipleDestinations) {
  std::string a = tmp.write("a.txt", "A"), b = tmp.write("b.txt", "B");
  fs::create_directory(tmp / "d");
  op.FilesFrom = a;
  op.FilesTo = tmp / "d/renamed.txt";
  EXPECT_TRUE(op.Execute());
  EXPECT_EQ(readFile(tmp / "d/renamed.txt"), "A");

  op.Flags = fofSilent | fofMultiDestFiles;
  op.FilesFrom = a + ";" + b;
  op.FilesTo = (tmp / "d/x1") + ";" + (tmp / "d/x2");
  EXPECT_TRUE(op.Execute());
  EXPECT_EQ(readFile(tmp / "d/x1"), "A");
  EXPECT_EQ(readFile(tmp / "d/x2"), "B");

  op.FilesTo = tmp / "d/only-one";
  EXPECT_FALSE(op.Execute());
  EXPECT_EQ(ui.boxTexts(),
            std::vector<std::string>{"The number of targets (1) does not match the number of sources (2)."});
}

TEST_F(FileOperationTest, FoldersCopyRecursivelyAndLinksStayLinks) {
  tmp.write("outside/secret.txt", "s");
  tmp.write("tree/sub/file.txt", "f");
  ASSERT_EQ(::symlink((tmp / "outside").c_str(), (tmp / "tree/link").c_str()), 0);
  fs::create_directory(tmp / "dest");
  op.FilesFrom = tmp / "tree";
  op.FilesTo = tmp / "dest";
  ASSERT_TRUE(op.Execute());
  EXPECT_EQ(readFile(tmp / "dest/tree/sub/file.txt"), "f");
  ASSERT_TRUE(fs::is_symlink(tmp / "dest/tree/link"));
  EXPECT_EQ(fs::read_symlink(tmp / "dest/tree/link").string(), tmp / "outside");
  EXPECT_EQ(namesIn(tmp / "outside"), std::vector<std::string>{"secret.txt"});
}

TEST_F(FileOperationTest, CopyOrMoveOntoItselfIsRefused) {
  std::string f = tmp.write("d/f.txt", "keep");
  op.FilesFrom = f;
  op.FilesTo = tmp / "d";
  EXPECT_FALSE(op.Execute());
  EXPECT_EQ(readFile(f), "keep");

  op.Operation = foMove;
  EXPECT_FALSE(op.Execute());
  EXPECT_EQ(readFile(f), "keep");

  op.FilesFrom = tmp / "d";
  op.FilesTo = tmp / "d/inner";
  EXPECT_FALSE(op.Execute());
  EXPECT_EQ(namesIn(tmp / "d"), std::vector<std::string>{"f.txt"});
  EXPECT_EQ(ui.boxTexts(),
            (std::vector<std::string>{"Cannot copy " + f + " onto itself.", "Cannot move " + f + " onto itself.",
                                      "Cannot move the folder " + (tmp / "d") + " into itself."}));

  // With a new name on collision the copy lands beside the original.
  op.Operation = foCopy;
  op.Flags = fofSilent | fofRenameOnCollision;
  op.FilesFrom = f;
  op.FilesTo = tmp / "d";
  EXPECT_TRUE(op.Execute());
  EXPECT_EQ(readFile(tmp / "d/f (2).txt"), "keep");
}

TEST_F(FileOperationTest, MoveWithinAFileSystemAndIntoAnExistingFolder) {
  tmp.write("src/dir/a.txt", "a");
  tmp.write("src/dir/b.txt", "b");
  tmp.write("dest/dir/a.txt", "old a");
  tmp.write("dest/dir/c.txt", "c");
  op.Operation = foMove;
  op.FilesFrom = tmp / "src/dir";
  op.FilesTo = tmp / "dest";
  ui.answerMessage(platform::kBtnYes);  // replace dest/dir/a.txt
  ASSERT_TRUE(op.Execute());
  EXPECT_EQ(readFile(tmp / "dest/dir/a.txt"), "a");
  EXPECT_EQ(readFile(tmp / "dest/dir/b.txt"), "b");
  EXPECT_EQ(readFile(tmp / "dest/dir/c.txt"), "c");
  EXPECT_FALSE(exists(tmp / "src/dir"));
}

TEST_F(FileOperationTest, MoveToAnotherFileSystemDeletesSourcesAfterCopying) {
  std::string other = "/dev/shm/kvtest.XXXXXX";
  if (!::mkdtemp(other.data())) GTEST_SKIP() << "no writable /dev/shm";
  struct stat a {
  }, b{};
  ::stat(tmp.path().c_str(), &a);
  ::stat(other.c_str(), &b);
  if (a.st_dev == b.st_dev) {
    fs::remove_all(other);
    GTEST_SKIP() << "/dev/shm is on the same file system as the temporary folder";
  }
  tmp.write("src/dir/a.txt", std::string(10000, 'a'));
  tmp.write("src/dir/deep/b.txt", "b");
  ASSERT_EQ(::symlink("a.txt", (tmp / "src/dir/link").c_str()), 0);
  op.Operation = foMove;
  op.FilesFrom = tmp / "src/dir";
  op.FilesTo = other;
  bool ok = op.Execute();
  EXPECT_TRUE(ok);
  EXPECT_EQ(readFile(other + "/dir/a.txt"), std::string(10000, 'a'));
  EXPECT_EQ(readFile(other + "/dir/deep/b.txt"), "b");
  EXPECT_TRUE(fs::is_symlink(other + "/dir/link"));
  EXPECT_FALSE(exists(tmp / "src/dir"));
  fs::remove_all(other);
}

TEST_F(FileOperationTest, RenameInPlaceRefusesToClobber) {
  std::string f = tmp.write("d/old.txt", "1");
  tmp.write("d/taken.txt", "2");
  op.Operation = foRename;
  op.FilesFrom = f;
  op.FilesTo = "new.txt";  // a bare name stays in the source's folder
  ASSERT_TRUE(op.Execute());
  EXPECT_EQ(namesIn(tmp / "d"), (std::vector<std::string>{"new.txt", "taken.txt"}));

  op.FilesFrom = tmp / "d/new.txt";
  op.FilesTo = "taken.txt";
  EXPECT_FALSE(op.Execute());
  EXPECT_EQ(readFile(tmp / "d/taken.txt"), "2");
  EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"Cannot rename " + (tmp / "d/new.txt") + ": " +
                                                    (tmp / "d/taken.txt") + " exists already."});
  op.Flags = fofSilent | fofRenameOnCollision;
  EXPECT_TRUE(op.Execute());
  EXPECT_EQ(readFile(tmp / "d/taken (2).txt"), "1");
}

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_)
      ::setenv(name_, old_->c_str(), 1);
    else
      ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST_F(FileOperationTest, DeleteWithUndoUsesTheTrashAndCanBeRestored) {
  ScopedEnv xdg("XDG_DATA_HOME", tmp / "xdg");
  std::string f = tmp.write("docs/report.txt", "important");
  op.Operation = foDelete;
  op.Flags = fofSilent | fofAllowUndo;
  op.FilesFrom = f;
  ui.answerMessage(platform::kBtnYes);
  ASSERT_TRUE(op.Execute());
  EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"Are you sure you want to move " + f + " to the trash?"});
  EXPECT_FALSE(exists(f));
  std::string trashed = platform::homeTrashFolder() + "/files/report.txt";
  EXPECT_EQ(readFile(trashed), "important");
  ASSERT_TRUE(platform::restoreFromTrash(trashed));
  EXPECT_EQ(readFile(f), "important");
}

TEST_F(FileOperationTest, DeleteAsksAndNeverFollowsLinks) {
  tmp.write("outside/keep.txt", "k");
  tmp.write("victim/a.txt", "a");
  tmp.write("victim/sub/b.txt", "b");
  ASSERT_EQ(::symlink((tmp / "outside").c_str(), (tmp / "victim/sub/link").c_str()), 0);
  ::chmod((tmp / "victim/sub").c_str(), 0555);
  op.Operation = foDelete;
  op.FilesFrom = (tmp / "victim") + ";" + (tmp / "outside/keep.txt");
  ui.answerMessage(platform::kBtnNo);
  EXPECT_FALSE(op.Execute());
  EXPECT_TRUE(op.OperationAborted());
  EXPECT_TRUE(exists(tmp / "victim/a.txt"));

  op.FilesFrom = tmp / "victim";
  ui.answerMessage(platform::kBtnYes);
  EXPECT_TRUE(op.Execute());
  EXPECT_FALSE(exists(tmp / "victim"));
  EXPECT_EQ(readFile(tmp / "outside/keep.txt"), "k");
  EXPECT_EQ(ui.boxTexts(), (std::vector<std::string>{"Are you sure you want to delete these 2 items?",
                                                     "Are you sure you want to delete " + (tmp / "victim") + "?"}));
}

TEST_F(FileOperationTest, MissingSourceIsReported) {
  op.FilesFrom = tmp / "nope.txt";
  op.FilesTo = tmp.path();
  EXPECT_FALSE(op.Execute());
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, platform::MsgKind::Error);
  EXPECT_EQ(ui.boxes[0].text, "Cannot find " + (tmp / "nope.txt") + ": No such file or directory");
}

}  // namespace
