// The folder tree lists the right subfolders in case-blind order, keeps trash
// contents and vetoed or filtered folders out, and reads and sets the current folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QSignalSpy>
#include <QUrl>
#include <cstdlib>
#include <filesystem>

#include "platform/drives.h"
#include "platform/paths.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "widgets/dirtree.h"

using namespace widgets;
namespace fs = std::filesystem;

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

QStringList childNames(QTreeWidgetItem* node) {
  QStringList out;
  for (int i = 0; i < node->childCount(); ++i) out << node->child(i)->text(0);
  return out;
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

class DirTreeTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_TRUE(ui.unexpected.empty());
  }
  void mkdirs(std::initializer_list<const char*> names) {
    for (const char* n : names) fs::create_directories(tmp / n);
  }
  // The node of a folder, with its subfolders read.
  QTreeWidgetItem* open(const std::string& path) {
    EXPECT_TRUE(tree.setDirectory(q(path))) << path;
    QTreeWidgetItem* node = tree.currentItem();
    tree.ReadNode(node);
    return node;
  }

  testsupport::TempDir tmp;
  testsupport::ScriptedUi ui;
  TDirTree tree;
};

TEST_F(DirTreeTest, SubfoldersAreSortedIgnoringCaseWhateverTheCreationOrder) {
  mkdirs({"zeta", "beta", "Gamma", "alpha2", "Alpha", "delta"});
  tmp.write("aaa-file.txt", "not a folder");
  EXPECT_EQ(childNames(open(tmp.path())), (QStringList{"Alpha", "alpha2", "beta", "delta", "Gamma", "zeta"}));
}

TEST_F(DirTreeTest, ExpandingANodeReadsItsChildrenOnce) {
  mkdirs({"p/c1", "p/c2/deep"});
  ASSERT_TRUE(tree.setDirectory(q(tmp / "p")));
  QTreeWidgetItem* p = tree.currentItem();
  EXPECT_FALSE(TDirTree::NodeRead(p));
  p->setExpanded(true);  // the user opens it
  EXPECT_TRUE(TDirTree::NodeRead(p));
  ASSERT_EQ(childNames(p), (QStringList{"c1", "c2"}));
  EXPECT_EQ(TDirTree::NodePath(p->child(1)), q(tmp / "p/c2"));
  EXPECT_EQ(p->child(0)->childCount(), 0);  // c1 holds no folder: no expander
  EXPECT_EQ(p->child(1)->childCount(), 1);  // c2 does: a placeholder until opened
  fs::create_directory(tmp / "p/c3");
  p->setExpanded(false);
  p->setExpanded(true);
  EXPECT_EQ(childNames(p), (QStringList{"c1", "c2"}));  // not read again
}

TEST_F(DirTreeTest, TrashFolderIsListedButNotItsContents) {
  ScopedEnv xdg("XDG_DATA_HOME", tmp / "xdg");
  mkdirs({"xdg/Trash/files/thrown-away", "xdg/Trash/info", "mnt/.Trash-0/files/gone", "mnt/data"});
  QTreeWidgetItem* xdgNode = open(tmp / "xdg");
  ASSERT_EQ(childNames(xdgNode), QStringList{"Trash"});
  tree.ReadNode(xdgNode->child(0));
  EXPECT_EQ(childNames(xdgNode->child(0)), QStringList{});
  QTreeWidgetItem* mnt = open(tmp / "mnt");
  ASSERT_EQ(childNames(mnt), (QStringList{".Trash-0", "data"}));
  tree.ReadNode(mnt->child(0));
  EXPECT_EQ(childNames(mnt->child(0)), QStringList{});

  TDirTree below;
  below.setGoBelowRecycleBin(true);
  ASSERT_TRUE(below.setDirectory(q(tmp / "xdg/Trash")));
  below.ReadNode(below.currentItem());
  EXPECT_EQ(childNames(below.currentItem()), (QStringList{"files", "info"}));
}

struct DirTypesCase {
  const char* name;
  TDirTypes types;
  QStringList listed;
};

class DirTypesTest : public DirTreeTest, public ::testing::WithParamInterface<DirTypesCase> {};

TEST_P(DirTypesTest, HiddenFoldersFollowDirTypes) {
  mkdirs({".cache", "Music", ".config"});
  ASSERT_TRUE(tree.setDirectory(q(tmp.path())));  // the way there is listed with the default types
  tree.setDirTypes(GetParam().types);
  tree.ReadNode(tree.currentItem());
  EXPECT_EQ(childNames(tree.currentItem()), GetParam().listed);
}

INSTANTIATE_TEST_SUITE_P(
    DirTree, DirTypesTest,
    ::testing::Values(DirTypesCase{"DialogsDefault", dtNormal | dtAll, {".cache", ".config", "Music"}},
                      DirTypesCase{"AllAlone", dtAll, {".cache", ".config", "Music"}},
                      DirTypesCase{"NormalOnly", dtNormal, {"Music"}},
                      DirTypesCase{"HiddenOnly", dtHidden, {".cache", ".config"}},
                      DirTypesCase{"NormalAndHidden", dtNormal | dtHidden, {".cache", ".config", "Music"}},
                      DirTypesCase{"ReadOnlyIsNotAKind", dtReadOnly, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DirTreeTest, NodesCarryTheirAttributes) {
  mkdirs({"locked", ".secret", "open"});
  ::chmod((tmp / "locked").c_str(), 0555);
  QTreeWidgetItem* node = open(tmp.path());
  ASSERT_EQ(childNames(node), (QStringList{".secret", "locked", "open"}));
  EXPECT_EQ(TDirTree::NodeAttributes(node->child(0)), TDirTypes(dtHidden));
  EXPECT_EQ(TDirTree::NodeAttributes(node->child(1)), TDirTypes(dtReadOnly));
  EXPECT_EQ(TDirTree::NodeAttributes(node->child(2)), TDirTypes());
}

TEST_F(DirTreeTest, AddDirCanVetoAFolder) {
  mkdirs({"keep", "skip-me", "also"});
  QStringList asked;
  tree.OnAddDir = [&](TDirTree* sender, const QString& path, bool& doAdd) {
    EXPECT_EQ(sender, &tree);
    if (path.startsWith(q(tmp.path() + "/"))) asked << path;
    doAdd = !path.endsWith(QStringLiteral("skip-me"));
  };
  QTreeWidgetItem* node = open(tmp.path());
  EXPECT_EQ(childNames(node), (QStringList{"also", "keep"}));
  asked.sort();
  EXPECT_EQ(asked, (QStringList{q(tmp / "also"), q(tmp / "keep"), q(tmp / "skip-me")}));
}

TEST_F(DirTreeTest, FindDirReplacesTheFolderReading) {
  QStringList paths;
  QList<bool> firsts;
  QStringList names{"b", "A", "file.txt"};
  int next = 0;
  tree.OnFindDir = [&](TDirTree*, const QString& path, TDirRec& rec, int& result, bool first) {
    paths << path;
    firsts << first;
    if (first) next = 0;
    if (next >= names.size()) {
      result = 1;
      return;
    }
    rec.Name = names[next];
    rec.Directory = !names[next].contains('.');
    ++next;
  };
  tree.ensurePolished();
  tree.Reload();
  QTreeWidgetItem* root = tree.topLevelItem(0);
  tree.ReadNode(root);
  EXPECT_EQ(childNames(root), (QStringList{"A", "b"}));
  EXPECT_EQ(firsts, (QList<bool>{true, false, false, false}));
  EXPECT_EQ(paths.front(), TDirTree::NodePath(root));
}

TEST_F(DirTreeTest, CurrentFolderIsSetAndRead) {
  mkdirs({"a/b/c", "a/other"});
  EXPECT_EQ(tree.Directory(), QStringLiteral("?"));
  QSignalSpy spy(&tree, &TDirTree::currentDirChanged);
  int changes = 0;
  tree.OnChange = [&](TDirTree*) { ++changes; };

  EXPECT_TRUE(tree.setDirectory(q(tmp / "a/b") + "/"));
  EXPECT_EQ(tree.Directory(), q(tmp / "a/b"));
  ASSERT_EQ(spy.count(), 1);
  EXPECT_EQ(spy.at(0).at(0).toString(), q(tmp / "a/b"));
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(tree.currentItem()->parent()->isExpanded());  // its parents are opened to show it

  // Case is matched loosely when no exact name fits.
  EXPECT_TRUE(tree.setDirectory(q(tmp / "A/B/C")));
  EXPECT_EQ(tree.Directory(), q(tmp / "a/b/c"));

  // A path that goes further than the tree selects the last folder found.
  EXPECT_FALSE(tree.setDirectory(q(tmp / "a/missing/deeper")));
  EXPECT_EQ(tree.Directory(), q(tmp / "a"));
}

TEST_F(DirTreeTest, EmptyPathIsAnInvalidPathName) {
  try {
    tree.setDirectory(QString());
    FAIL() << "no exception";
  } catch (const EInvalidPath& e) { EXPECT_STREQ(e.what(), "Invalid Path Name"); }
}

TEST_F(DirTreeTest, AFolderThatVanishedGivesNoChildrenAndNoBox) {
  mkdirs({"gone/child"});
  QTreeWidgetItem* node = open(tmp.path());
  ASSERT_EQ(childNames(node), QStringList{"gone"});
  fs::remove_all(tmp / "gone");
  tree.ReadNode(node->child(0));
  EXPECT_EQ(node->child(0)->childCount(), 0);
}

TEST_F(DirTreeTest, RootsAreTheRootFolderHomeAndRemovableMountsByType) {
  ScopedEnv home("HOME", tmp / "home");
  mkdirs({"home", "usb"});
  platform::SimulatedDrives sim(platform::drives());
  platform::setDrives(&sim);
  sim.addRemovableDrive(tmp / "usb");
  std::vector<QTreeWidgetItem*> deleted;
  tree.OnDeleteItem = [&](TDirTree*, QTreeWidgetItem* node) { deleted.push_back(node); };
  tree.setInitialDirectory(q(tmp / "home"));
  tree.Reload();
  QStringList roots;
  for (int i = 0; i < tree.topLevelItemCount(); ++i) roots << TDirTree::NodePath(tree.topLevelItem(i));
  EXPECT_EQ(roots.value(0), QStringLiteral("/"));
  EXPECT_EQ(roots.value(1), q(tmp / "home"));
  EXPECT_TRUE(roots.contains(q(tmp / "usb")));
  EXPECT_EQ(tree.Directory(), q(tmp / "home"));  // the initial folder, under its own root
  EXPECT_EQ(tree.currentItem()->parent(), nullptr);

  int before = tree.topLevelItemCount();
  tree.setDriveTypes(drtUnknown | drtFixed | drtRemote | drtCDRom | drtRamDisk);
  tree.Reload();
  EXPECT_EQ(tree.topLevelItemCount(), before - 1);
  EXPECT_GE(deleted.size(), static_cast<std::size_t>(before));  // every old node was announced
  platform::setDrives(nullptr);
}

TEST_F(DirTreeTest, DroppedFilesAreHandedOverWithTheFolderUnderThePointer) {
  mkdirs({"target", "zz-other"});
  tmp.write("dropped.txt", "d");
  tree.resize(400, 600);
  tree.show();
  ASSERT_TRUE(tree.setDirectory(q(tmp / "target")));
  QRect rect = tree.visualItemRect(tree.currentItem());
  ASSERT_TRUE(rect.isValid());
  tree.setCurrentItem(nullptr);  // the folder comes from the drop point, not the selection
  QString dropDir;
  QStringList dropFiles;
  tree.OnDropFiles = [&](TDirTree*, int, int, const QString& dir, const QStringList& files, Qt::KeyboardModifiers) {
    dropDir = dir;
    dropFiles = files;
  };
  auto drop = [&] {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(q(tmp / "dropped.txt"))});
    QDragEnterEvent enter(rect.center(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree.viewport(), &enter);
    QDropEvent event(QPointF(rect.center()), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree.viewport(), &event);
  };
  drop();
  EXPECT_TRUE(dropFiles.isEmpty());  // drops are refused until asked for
  tree.setAcceptDropFiles(true);
  drop();
  EXPECT_EQ(dropDir, q(tmp / "target"));
  EXPECT_EQ(dropFiles, QStringList{q(tmp / "dropped.txt")});
  tree.hide();
}

TEST_F(DirTreeTest, ShowingTheTreeReadsItAndSelectsTheInitialFolder) {
  mkdirs({"start/here"});
  tree.setInitialDirectory(q(tmp / "start/here"));
  EXPECT_EQ(tree.topLevelItemCount(), 0);
  tree.show();
  EXPECT_GT(tree.topLevelItemCount(), 0);
  EXPECT_EQ(tree.Directory(), q(tmp / "start/here"));
  tree.hide();
}

}  // namespace
