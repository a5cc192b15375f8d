// The folder walk behind the search windows: what it finds, what it leaves alone
// (links to folders, hidden folders, the working folder) and that neither an
// unreadable folder nor a link loop stops it or keeps it from ending.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "search/dirnavigator.h"
#include "support/temp_dir.h"
#include "support/without_permission_override.h"

namespace {

using search::TDirNavigator;

class DirNavigatorTest : public ::testing::Test {
 protected:
  // Every file found, as "folder relative to the start/name size".
  std::vector<std::string> run(const std::string& pattern, bool recursive = true) {
    found.clear();
    nav.StartFolder = dir.path();
    nav.Pattern = pattern;
    nav.Recursive = recursive;
    nav.OnFound = [this](TDirNavigator&, const std::string& folder, const std::string& name, std::uint64_t size) {
      EXPECT_EQ(folder.rfind(dir.path() + "/", 0), 0u) << folder;
      EXPECT_EQ(folder.back(), '/');
      found.push_back(folder.substr(dir.path().size() + 1) + name + " " + std::to_string(size));
    };
    outcome = nav.Navigate();
    std::sort(found.begin(), found.end());
    return found;
  }

  testsupport::TempDir dir;
  TDirNavigator nav;
  TDirNavigator::Outcome outcome{};
  std::vector<std::string> found;
};

TEST_F(DirNavigatorTest, FindsMatchingFilesInEveryFolderWhateverTheCaseOfTheirNames) {
  dir.write("a.zip", "12345");
  dir.write("B.ZIP", "1");
  dir.write("notes.txt", "x");
  dir.write("one/c.Zip", "123");
  dir.write("one/two/three/d.zip", "");
  dir.write("folder.zip/e.txt", "x");  // a folder whose name matches is no find
  dir.write(".hidden/f.zip", "x");     // hidden folders are not entered
  dir.write("one/.g.zip", "xy");       // a hidden file is a file like any other
  EXPECT_EQ(run("*.zip"),
            (std::vector<std::string>{"B.ZIP 1", "a.zip 5", "one/.g.zip 2", "one/c.Zip 3", "one/two/three/d.zip 0"}));
  EXPECT_EQ(outcome, TDirNavigator::Outcome::Done);
  EXPECT_EQ(nav.SkippedFolders(), 0u);

  EXPECT_EQ(run("?.ZIP"), (std::vector<std::string>{"B.ZIP 1", "a.zip 5", "one/c.Zip 3", "one/two/three/d.zip 0"}));
  EXPECT_EQ(run("*.*").size(), 7u) << "every file, dotted or not";
  EXPECT_TRUE(run("").empty()) << "an empty pattern matches nothing";
}

TEST_F(DirNavigatorTest, WithoutRecursiveOnlyTheStartFolderIsRead) {
  dir.write("a.zip", "1");
  dir.write("sub/b.zip", "2");
  std::vector<std::string> folders;
  nav.OnRecurse = [&](TDirNavigator&, const std::string& folder) { folders.push_back(folder); };
  EXPECT_EQ(run("*.zip", false), std::vector<std::string>{"a.zip 1"});
  EXPECT_EQ(folders, std::vector<std::string>{dir.path() + "/"});
}

TEST_F(DirNavigatorTest, LinksToFoldersAreNotFollowedAndALinkLoopEnds) {
  dir.write("real/a.zip", "1");
  dir.write("real/deep/b.zip", "22");
  ASSERT_EQ(::symlink("..", (dir / "real/deep/up").c_str()), 0);       // a loop
  ASSERT_EQ(::symlink(dir.path().c_str(), (dir / "top").c_str()), 0);  // back to the start
  ASSERT_EQ(::symlink((dir / "real/a.zip").c_str(), (dir / "link.zip").c_str()), 0);
  ASSERT_EQ(::symlink((dir / "gone.zip").c_str(), (dir / "dangling.zip").c_str()), 0);
  EXPECT_EQ(run("*.zip"), (std::vector<std::string>{"link.zip 1", "real/a.zip 1", "real/deep/b.zip 2"}))
      << "a link to a file is found with the file's size; a dangling one is not";
  EXPECT_EQ(outcome, TDirNavigator::Outcome::Done);
}

TEST_F(DirNavigatorTest, AStartFolderReachedThroughALinkIsWalked) {
  dir.write("real/a.zip", "1");
  ASSERT_EQ(::symlink((dir / "real").c_str(), (dir / "alias").c_str()), 0);
  nav.StartFolder = dir / "alias";
  nav.Pattern = "*.zip";
  int count = 0;
  nav.OnFound = [&](TDirNavigator&, const std::string& folder, const std::string&, std::uint64_t) {
    EXPECT_EQ(folder, dir / "alias/");
    ++count;
  };
  EXPECT_EQ(nav.Navigate(), TDirNavigator::Outcome::Done);
  EXPECT_EQ(count, 1);
}

TEST_F(DirNavigatorTest, AnUnreadableFolderIsSkippedCountedAndTheWalkGoesOn) {
  dir.write("a/1.zip", "1");
  dir.write("locked/2.zip", "2");
  dir.write("z/3.zip", "3");
  ::chmod((dir / "locked").c_str(), 0);
  testsupport::WithoutPermissionOverride unprivileged;
  if (::faccessat(AT_FDCWD, (dir / "locked").c_str(), R_OK, AT_EACCESS) == 0) {
    ::chmod((dir / "locked").c_str(), 0700);
    GTEST_SKIP() << "this process may read a folder without read permission";
  }
  const std::vector<std::string> result = run("*.zip");
  ::chmod((dir / "locked").c_str(), 0700);
  EXPECT_EQ(result, (std::vector<std::string>{"a/1.zip 1", "z/3.zip 1"}));
  EXPECT_EQ(outcome, TDirNavigator::Outcome::Done);
  EXPECT_EQ(nav.SkippedFolders(), 1u);
}

TEST_F(DirNavigatorTest, AMissingStartFolderIsReportedWithTheReason) {
  nav.StartFolder = dir / "nowhere";
  nav.Pattern = "*";
  bool after = false;
  nav.AfterNavigate = [&](TDirNavigator&) { after = true; };
  EXPECT_EQ(nav.Navigate(), TDirNavigator::Outcome::StartUnreadable);
  EXPECT_EQ(nav.StartError(), "No such file or directory");
  EXPECT_TRUE(after);
}

TEST_F(DirNavigatorTest, AbortStopsADeepWalkAtOnceAndTheWorkingFolderNeverMoves) {
  std::string deep;
  for (int i = 0; i < 30; ++i) {
    deep += "d" + std::to_string(i) + "/";
    dir.write(deep + "f.zip", "x");
  }
  const auto before = std::filesystem::current_path();
  nav.IdleIntervalMs = 0;
  int idles = 0;
  int folders = 0;
  nav.OnRecurse = [&](TDirNavigator&, const std::string&) {
    ++folders;
    EXPECT_EQ(std::filesystem::current_path(), before);
  };
  nav.OnIdle = [&](TDirNavigator& n) {
    if (++idles == 20) n.Abort();
  };
  run("*.zip");
  EXPECT_EQ(outcome, TDirNavigator::Outcome::Aborted);
  EXPECT_LT(folders, 20) << "the walk went on after Abort";
  EXPECT_EQ(std::filesystem::current_path(), before);

  // The next walk starts afresh once the flag is reset.
  nav.OnIdle = nullptr;
  nav.Reset();
  EXPECT_EQ(run("*.zip").size(), 30u);
  EXPECT_EQ(outcome, TDirNavigator::Outcome::Done);
}

TEST_F(DirNavigatorTest, DisabledOrStillAbortedItWalksNothing) {
  dir.write("a.zip", "1");
  nav.Enabled = false;
  EXPECT_TRUE(run("*.zip").empty());
  EXPECT_EQ(outcome, TDirNavigator::Outcome::Disabled);
  nav.Enabled = true;
  nav.Abort();
  EXPECT_TRUE(run("*.zip").empty());
  EXPECT_EQ(outcome, TDirNavigator::Outcome::Aborted);
  EXPECT_FALSE(nav.Aborted()) << "a pending abort is used up by one walk";
  EXPECT_EQ(run("*.zip").size(), 1u);
}

}  // namespace
