#include "widgets/dirtree.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileIconProvider>
#include <QMimeData>
#include <QStyle>
#include <QUrl>
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/drives.h"
#include "platform/paths.h"
#include "platform/trash.h"

namespace widgets {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kAttrRole = Qt::UserRole + 1;
constexpr int kReadRole = Qt::UserRole + 2;
constexpr int kPlaceholderRole = Qt::UserRole + 3;
constexpr int kRootKindRole = Qt::UserRole + 4;

// How many entries of a subfolder are looked at to decide whether it holds a folder.
constexpr int kProbeLimit = 256;

QString joinPath(const QString& folder, const QString& name) {
  return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

QByteArray encoded(const QString& path) { return QFile::encodeName(path); }

bool inGroup(gid_t gid) {
  if (gid == ::getegid()) return true;
  gid_t groups[256];
  int n = ::getgroups(256, groups);
  return std::find(groups, groups + std::max(n, 0), gid) != groups + std::max(n, 0);
}

// Read-only by the permission bits that apply to the current user.
bool readOnlyByMode(const struct stat& st) {
  if (st.st_uid == ::geteuid()) return !(st.st_mode & S_IWUSR);
  if (inGroup(st.st_gid)) return !(st.st_mode & S_IWGRP);
  return !(st.st_mode & S_IWOTH);
}

bool isFolderEntry(const QByteArray& full, unsigned char type) {
  if (type == DT_DIR) return true;
  if (type != DT_LNK && type != DT_UNKNOWN) return false;
  struct stat st {};  // a link to a folder is listed as a folder
  return ::stat(full.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// True when the folder holds a folder among its first kProbeLimit entries (or when
// it has more entries than that: the expander then shows until it is opened).
bool probeSubfolders(const QByteArray& path) {
  DIR* dir = ::opendir(path.constData());
  if (!dir) return false;
  bool found = false;
  int seen = 0;
  while (dirent* ent = ::readdir(dir)) {
    if (std::strcmp(ent->d_name, ".") == 0 || std::strcmp(ent->d_name, "..") == 0) continue;
    if (++seen > kProbeLimit || isFolderEntry(path + '/' + ent->d_name, ent->d_type)) {
      found = true;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

TDriveType driveTypeOf(platform::DriveType t) {
  switch (t) {
    case platform::DriveType::Removable: return drtRemovable;
    case platform::DriveType::Fixed: return drtFixed;
    case platform::DriveType::Remote: return drtRemote;
    case platform::DriveType::CDRom: return drtCDRom;
    case platform::DriveType::RamDisk: return drtRamDisk;
    default: return drtUnknown;
  }
}

bool lessIgnoringCase(const QString& a, const QString& b) {
  int c = QString::compare(a, b, Qt::CaseInsensitive);
  return c != 0 ? c < 0 : a < b;
}

}  // namespace

TDirTree::TDirTree(QWidget* parent) : QTreeWidget(parent) {
  initialDirectory_ = QString::fromStdString(platform::homeFolder());
  setColumnCount(1);
  setHeaderHidden(true);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  connect(this, &QTreeWidget::itemExpanded, this, &TDirTree::onExpanded);
  connect(this, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* node) { setNodeIcon(node, false); });
  connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem*, QTreeWidgetItem*) {
    emit currentDirChanged(Directory());
    if (OnChange) OnChange(this);
  });
}

TDirTree::~TDirTree() = default;

void TDirTree::setAcceptDropFiles(bool on) {
  acceptDropFiles_ = on;
  setAcceptDrops(on);
  viewport()->setAcceptDrops(on);
  setDropIndicatorShown(on);
}

QString TDirTree::NodePath(const QTreeWidgetItem* node) {
  return node ? node->data(0, kPathRole).toString() : QString();
}

TDirTypes TDirTree::NodeAttributes(const QTreeWidgetItem* node) {
  return node ? TDirTypes::fromInt(node->data(0, kAttrRole).toInt()) : TDirTypes();
}

bool TDirTree::NodeRead(const QTreeWidgetItem* node) { return node && node->data(0, kReadRole).toBool(); }

QString TDirTree::Directory() const {
  QTreeWidgetItem* node = currentItem();
  if (!node || node->data(0, kPlaceholderRole).toBool()) return QStringLiteral("?");
  return NodePath(node);
}

void TDirTree::showEvent(QShowEvent* event) {
  QTreeWidget::showEvent(event);
  if (readOnStart_ && !loaded_) Reload();
}

void TDirTree::ensureLoaded() {
  if (loaded_) return;
  loaded_ = true;
  addRoots();
}

void TDirTree::Reload() {
  QString wanted = loaded_ && currentItem() ? Directory() : initialDirectory_;
  removeAllNodes();
  loaded_ = true;
  addRoots();
  if (!wanted.isEmpty() && wanted != QStringLiteral("?")) setDirectory(wanted);
}

void TDirTree::notifyDelete(QTreeWidgetItem* node) {
  for (int i = 0; i < node->childCount(); ++i) notifyDelete(node->child(i));
  if (OnDeleteItem && !node->data(0, kPlaceholderRole).toBool()) OnDeleteItem(this, node);
}

void TDirTree::removeAllNodes() {
  for (int i = 0; i < topLevelItemCount(); ++i) notifyDelete(topLevelItem(i));
  clear();
}

void TDirTree::addRoots() {
  auto& drives = platform::drives();
  std::vector<std::string> roots = drives.roots();
  std::string home = platform::homeFolder();
  auto homeAt = std::find(roots.begin(), roots.end(), home);
  if (homeAt == roots.end() && !home.empty()) {
    auto slash = std::find(roots.begin(), roots.end(), std::string("/"));
    roots.insert(slash == roots.end() ? roots.begin() : slash + 1, home);
  }
  QFileIconProvider icons;
  for (const std::string& root : roots) {
    bool isHome = root == home;
    platform::DriveType type = drives.typeOf(isHome ? drives.rootOf(home) : root);
    if (!driveTypes_.testFlag(driveTypeOf(type))) continue;
    QString path = QString::fromStdString(root);
    auto* node = addNode(nullptr, path, path, {}, true);
    node->setData(0, kRootKindRole, isHome ? 1 : type == platform::DriveType::Remote ? 2 : 0);
    setNodeIcon(node, false);
  }
}

QTreeWidgetItem* TDirTree::addNode(QTreeWidgetItem* parent, const QString& text, const QString& path, TDirTypes attr,
                                   bool expandable) {
  auto* node = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
  node->setText(0, text);
  node->setData(0, kPathRole, path);
  node->setData(0, kAttrRole, attr.toInt());
  node->setData(0, kReadRole, false);
  node->setToolTip(0, path);
  if (expandable) {
    auto* placeholder = new QTreeWidgetItem(node);
    placeholder->setData(0, kPlaceholderRole, true);
    placeholder->setFlags(Qt::NoItemFlags);
  }
  return node;
}

void TDirTree::setNodeIcon(QTreeWidgetItem* node, bool open) {
  if (!node || node->data(0, kPlaceholderRole).toBool()) return;
  QIcon icon;
  if (!node->parent()) {
    int kind = node->data(0, kRootKindRole).toInt();
    if (kind == 1)
      icon = style()->standardIcon(QStyle::SP_DirHomeIcon);
    else
      icon = QFileIconProvider().icon(kind == 2 ? QFileIconProvider::Network : QFileIconProvider::Drive);
  } else {
    icon = style()->standardIcon(open ? QStyle::SP_DirOpenIcon : QStyle::SP_DirClosedIcon);
  }
  if (OnGetIcon) OnGetIcon(this, node, open, icon);
  node->setIcon(0, icon);
}

std::vector<TDirTree::Entry> TDirTree::enumerate(const QString& path) {
  std::vector<Entry> out;
  if (OnFindDir) {
    TDirRec rec;
    int result = 0;
    for (bool first = true;; first = false) {
      rec = TDirRec();
      result = 0;
      OnFindDir(this, path, rec, result, first);
      if (result != 0) break;
      if (rec.Directory && rec.Name != QStringLiteral(".") && rec.Name != QStringLiteral("..") && !rec.Name.isEmpty())
        out.push_back({rec.Name, rec.Attr, true});
    }
    return out;
  }
  QByteArray folder = encoded(path);
  DIR* dir = ::opendir(folder.constData());
  if (!dir) return out;  // unreadable or gone: no children, and no box
  while (dirent* ent = ::readdir(dir)) {
    if (std::strcmp(ent->d_name, ".") == 0 || std::strcmp(ent->d_name, "..") == 0) continue;
    QByteArray full = folder.endsWith('/') ? folder + ent->d_name : folder + '/' + ent->d_name;
    if (!isFolderEntry(full, ent->d_type)) continue;
    Entry e;
    e.name = QFile::decodeName(ent->d_name);
    if (ent->d_name[0] == '.') e.attr |= dtHidden;
    if (!fastLoad_) {
      struct stat st {};
      if (::stat(full.constData(), &st) == 0 && readOnlyByMode(st)) e.attr |= dtReadOnly;
      e.hasSubfolders = probeSubfolders(full);
    }
    out.push_back(std::move(e));
  }
  ::closedir(dir);
  return out;
}

bool TDirTree::keep(const QString& fullPath, const Entry& entry) {
  if (!goBelowRecycleBin_ && platform::isInsideTrash(fullPath.toStdString())) return false;
  if (OnAddDir) {
    bool doAdd = true;
    OnAddDir(this, fullPath, doAdd);
    if (!doAdd) return false;
  }
  if (dirTypes_.testFlag(dtAll)) return true;
  if (entry.attr.testFlag(dtHidden)) return dirTypes_.testFlag(dtHidden);
  return dirTypes_.testFlag(dtNormal);
}

void TDirTree::ReadNode(QTreeWidgetItem* node) {
  if (!node || NodeRead(node)) return;
  node->setData(0, kReadRole, true);
  for (int i = node->childCount() - 1; i >= 0; --i)
    if (node->child(i)->data(0, kPlaceholderRole).toBool()) delete node->takeChild(i);
  QString path = NodePath(node);
  std::vector<Entry> entries = enumerate(path);
  std::vector<Entry> kept;
  for (Entry& e : entries)
    if (keep(joinPath(path, e.name), e)) kept.push_back(std::move(e));
  std::sort(kept.begin(), kept.end(), [](const Entry& a, const Entry& b) { return lessIgnoringCase(a.name, b.name); });
  for (const Entry& e : kept) {
    auto* child = addNode(node, e.name, joinPath(path, e.name), e.attr, e.hasSubfolders);
    setNodeIcon(child, false);
  }
}

void TDirTree::onExpanded(QTreeWidgetItem* node) {
  ReadNode(node);
  setNodeIcon(node, true);
}

QTreeWidgetItem* TDirTree::findChildNamed(QTreeWidgetItem* node, const QString& name) {
  ReadNode(node);
  QTreeWidgetItem* caseless = nullptr;
  for (int i = 0; i < node->childCount(); ++i) {
    QTreeWidgetItem* child = node->child(i);
    if (child->text(0) == name) return child;
    if (!caseless && child->text(0).compare(name, Qt::CaseInsensitive) == 0) caseless = child;
  }
  return caseless;
}

bool TDirTree::setDirectory(const QString& path) {
  if (path.isEmpty()) throw EInvalidPath();
  ensureLoaded();
  std::string native = platform::absolutePath(platform::toNativeSeparators(path.toStdString()));
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  QString target = QString::fromStdString(native);

  // The root holding the path: the longest root that is a prefix of it.
  QTreeWidgetItem* node = nullptr;
  qsizetype best = -1;
  for (int i = 0; i < topLevelItemCount(); ++i) {
    QString root = NodePath(topLevelItem(i));
    bool holds = root == QStringLiteral("/") || target == root || target.startsWith(joinPath(root, QString()));
    if (holds && root.size() > best) {
      best = root.size();
      node = topLevelItem(i);
    }
  }
  if (!node) return false;
  const QStringList parts = target.mid(best).split('/', Qt::SkipEmptyParts);
  bool complete = true;
  for (const QString& part : parts) {
    QTreeWidgetItem* child = findChildNamed(node, part);
    if (!child) {
      complete = false;
      break;
    }
    node = child;
  }
  for (QTreeWidgetItem* up = node->parent(); up; up = up->parent()) up->setExpanded(true);
  setCurrentItem(node);
  scrollToItem(node);
  return complete;
}

static QStringList droppedFiles(const QMimeData* mime) {
  QStringList files;
  if (!mime || !mime->hasUrls()) return files;
  for (const QUrl& url : mime->urls())
    if (url.isLocalFile()) files << url.toLocalFile();
  return files;
}

void TDirTree::dragEnterEvent(QDragEnterEvent* event) {
  if (acceptDropFiles_ && !droppedFiles(event->mimeData()).isEmpty())
    event->acceptProposedAction();
  else
    event->ignore();
}

void TDirTree::dragMoveEvent(QDragMoveEvent* event) {
  if (acceptDropFiles_ && !droppedFiles(event->mimeData()).isEmpty())
    event->acceptProposedAction();
  else
    event->ignore();
}

void TDirTree::dropEvent(QDropEvent* event) {
  QStringList files = droppedFiles(event->mimeData());
  if (!acceptDropFiles_ || files.isEmpty()) {
    event->ignore();
    return;
  }
  QPoint pos = event->position().toPoint();
  QTreeWidgetItem* node = itemAt(pos);
  QString dir = node ? NodePath(node) : Directory();
  event->acceptProposedAction();
  if (OnDropFiles) OnDropFiles(this, pos.x(), pos.y(), dir, files, event->modifiers());
}

}  // namespace widgets
