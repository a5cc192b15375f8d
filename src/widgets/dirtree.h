// TDirTree: a folder tree for picking a folder. The top level holds the roots a user
// starts from (the root folder "/", the home folder and each removable, optical or
// network mount); a folder's subfolders are read the first time it is expanded and
// listed sorted without regard to case. The current folder is the path of the
// selected node.
//
// Attributes on this system: a name starting with "." is hidden; a folder whose
// permission bits give the current user no write access is read-only (the bits
// decide, so root sees them too); there are no system or archive attributes.
#pragma once

#include <QFlags>
#include <QIcon>
#include <QStringList>
#include <QTreeWidget>
#include <functional>
#include <stdexcept>

namespace widgets {

enum TDirType : unsigned {
  dtReadOnly = 1u << 0,
  dtHidden = 1u << 1,
  dtSystem = 1u << 2,
  dtArchive = 1u << 3,
  dtNormal = 1u << 4,
  dtAll = 1u << 5,
};
Q_DECLARE_FLAGS(TDirTypes, TDirType)
Q_DECLARE_OPERATORS_FOR_FLAGS(TDirTypes)

enum TDriveType : unsigned {
  drtUnknown = 1u << 0,
  drtRemovable = 1u << 1,
  drtFixed = 1u << 2,
  drtRemote = 1u << 3,
  drtCDRom = 1u << 4,
  drtRamDisk = 1u << 5,
};
Q_DECLARE_FLAGS(TDriveTypes, TDriveType)
Q_DECLARE_OPERATORS_FOR_FLAGS(TDriveTypes)

// Thrown by TDirTree::setDirectory for an empty path; what() is "Invalid Path Name".
class EInvalidPath : public std::runtime_error {
 public:
  EInvalidPath() : std::runtime_error("Invalid Path Name") {}
};

// One entry handed out by an OnFindDir handler.
struct TDirRec {
  QString Name;            // the entry's name, without its folder
  bool Directory = false;  // only folders are listed
  TDirTypes Attr;          // dtReadOnly and dtHidden as they apply
};

class TDirTree;

// AFileName: the folder's full path. Clear DoAdd to keep it out of the tree.
using TAddFileEvent = std::function<void(TDirTree* Sender, const QString& AFileName, bool& DoAdd)>;
// Replaces the reading of a folder: called with AFirst true, then false, until the
// handler sets AResult non-zero (no more entries); AResult 0 means ARec holds one.
using TFindDirEvent =
    std::function<void(TDirTree* Sender, const QString& APath, TDirRec& ARec, int& AResult, bool AFirst)>;
using TDropFilesEvent = std::function<void(TDirTree* Sender, int X, int Y, const QString& aDropDir,
                                           const QStringList& aDropFiles, Qt::KeyboardModifiers Shift)>;
using TDirNodeEvent = std::function<void(TDirTree* Sender, QTreeWidgetItem* Node)>;
// Open: the node is expanded. Icon holds the tree's own choice and may be replaced.
using TGetIconEvent = std::function<void(TDirTree* Sender, QTreeWidgetItem* Node, bool Open, QIcon& Icon)>;
using TNotifyEvent = std::function<void(TDirTree* Sender)>;

class TDirTree : public QTreeWidget {
  Q_OBJECT
  Q_PROPERTY(bool ReadOnStart READ ReadOnStart WRITE setReadOnStart)
  Q_PROPERTY(bool GoBelowRecycleBin READ GoBelowRecycleBin WRITE setGoBelowRecycleBin)
  Q_PROPERTY(bool FastLoad READ FastLoad WRITE setFastLoad)
  Q_PROPERTY(QString InitialDirectory READ InitialDirectory WRITE setInitialDirectory)
  Q_PROPERTY(bool ShowShareOverlay READ ShowShareOverlay WRITE setShowShareOverlay)
  Q_PROPERTY(bool AcceptDropFiles READ AcceptDropFiles WRITE setAcceptDropFiles)

 public:
  explicit TDirTree(QWidget* parent = nullptr);
  ~TDirTree() override;

  // Read the roots when the tree is first shown (true). Otherwise they are read by
  // Reload() or the first setDirectory().
  bool ReadOnStart() const { return readOnStart_; }
  void setReadOnStart(bool on) { readOnStart_ = on; }
  // Which folders are listed: dtAll lists every folder; otherwise a hidden folder
  // needs dtHidden and any other folder dtNormal. Default: dtNormal | dtAll.
  TDirTypes DirTypes() const { return dirTypes_; }
  void setDirTypes(TDirTypes types) { dirTypes_ = types; }
  // List the contents of trash folders (the trash folder itself is always listed).
  bool GoBelowRecycleBin() const { return goBelowRecycleBin_; }
  void setGoBelowRecycleBin(bool on) { goBelowRecycleBin_ = on; }
  // true: add subfolders without looking at their attributes or into them (every
  // new node shows an expander until it is opened). false: read each subfolder's
  // attributes and show an expander only when it holds a folder.
  bool FastLoad() const { return fastLoad_; }
  void setFastLoad(bool on) { fastLoad_ = on; }
  // Folder selected when the roots are read. Default: the home folder.
  QString InitialDirectory() const { return initialDirectory_; }
  void setInitialDirectory(const QString& path) { initialDirectory_ = path; }
  // Which roots are listed, by the kind of mount. Default: all.
  TDriveTypes DriveTypes() const { return driveTypes_; }
  void setDriveTypes(TDriveTypes types) { driveTypes_ = types; }
  // Kept for the dialogs that set it; folders are not shared through this desktop,
  // so no overlay is ever drawn.
  bool ShowShareOverlay() const { return showShareOverlay_; }
  void setShowShareOverlay(bool on) { showShareOverlay_ = on; }
  // Accept files dropped from other programs; each drop calls OnDropFiles.
  bool AcceptDropFiles() const { return acceptDropFiles_; }
  void setAcceptDropFiles(bool on);

  TAddFileEvent OnAddDir;
  TDirNodeEvent OnDeleteItem;  // a node is about to be removed by the tree
  TGetIconEvent OnGetIcon;
  TFindDirEvent OnFindDir;
  TDropFilesEvent OnDropFiles;
  TNotifyEvent OnChange;  // the current folder changed (also signal currentDirChanged)

  // The current folder: the selected node's path, or "?" when nothing is selected.
  QString Directory() const;
  // Selects the node of `path`: from the root that holds it, each part of the path
  // is matched against the child names (exactly, else ignoring case), reading
  // children as needed; the last node matched is selected. A relative path counts
  // from the process's current folder. Returns true when every part matched.
  // Throws EInvalidPath for an empty path.
  bool setDirectory(const QString& path);

  // Reads the roots again (dropping every node read so far) and selects the folder
  // that was current, else InitialDirectory.
  void Reload();

  // The folder of a node; its attributes (dtReadOnly, dtHidden); whether its
  // subfolders were read.
  static QString NodePath(const QTreeWidgetItem* node);
  static TDirTypes NodeAttributes(const QTreeWidgetItem* node);
  static bool NodeRead(const QTreeWidgetItem* node);
  // Reads a node's subfolders now if they were not read yet.
  void ReadNode(QTreeWidgetItem* node);

 signals:
  void currentDirChanged(const QString& path);

 protected:
  void showEvent(QShowEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  struct Entry {
    QString name;
    TDirTypes attr;
    bool hasSubfolders = true;
  };
  void ensureLoaded();
  void addRoots();
  void removeAllNodes();
  void notifyDelete(QTreeWidgetItem* node);
  std::vector<Entry> enumerate(const QString& path);
  bool keep(const QString& fullPath, const Entry& entry);
  QTreeWidgetItem* addNode(QTreeWidgetItem* parent, const QString& text, const QString& path, TDirTypes attr,
                           bool expandable);
  void setNodeIcon(QTreeWidgetItem* node, bool open);
  QTreeWidgetItem* findChildNamed(QTreeWidgetItem* node, const QString& name);
  void onExpanded(QTreeWidgetItem* node);

  bool readOnStart_ = true;
  TDirTypes dirTypes_ = dtNormal | dtAll;
  bool goBelowRecycleBin_ = false;
  bool fastLoad_ = false;
  QString initialDirectory_;
  TDriveTypes driveTypes_ = drtUnknown | drtRemovable | drtFixed | drtRemote | drtCDRom | drtRamDisk;
  bool showShareOverlay_ = false;
  bool acceptDropFiles_ = false;
  bool loaded_ = false;
};

}  // namespace widgets
