#include "dialogs/attach.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/paths.h"
#include "widgets/dirtree.h"
#include "widgets/qt_ui.h"

using widgets::qs;
using widgets::ss;

namespace {

constexpr int kPathRole = Qt::UserRole + 1;

template <typename W>
W* named(W* w, const char* name) {
  w->setObjectName(QString::fromLatin1(name));
  return w;
}

// Draws a row of the attached files: the list's colour (the selection colour when
// selected), the file's small icon one pixel from the row's top-left corner, the
// name 20 pixels from the left edge, and a focus rectangle on the focused row.
class AttachDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette& pal = option.palette;
    p->save();
    p->fillRect(option.rect, selected ? pal.highlight() : pal.base());
    const QString path = index.data(kPathRole).toString();
    icons_.icon(QFileInfo(path)).paint(p, QRect(option.rect.left() + 1, option.rect.top() + 1, 16, 16));
    p->setPen(selected ? pal.highlightedText().color() : pal.text().color());
    QRect text = option.rect.adjusted(20, 0, 0, 0);
    p->drawText(text, Qt::AlignLeft | Qt::AlignVCenter, index.data(Qt::DisplayRole).toString());
    if (option.state & QStyle::State_HasFocus) {
      QStyleOptionFocusRect focus;
      focus.rect = option.rect;
      focus.state = option.state;
      focus.backgroundColor = selected ? pal.highlight().color() : pal.base().color();
      QWidget* w = qobject_cast<QWidget*>(parent());
      (w ? w->style() : QApplication::style())->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, p, w);
    }
    p->restore();
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize s = QStyledItemDelegate::sizeHint(option, index);
    return {s.width() + 20, std::max(s.height(), 18)};
  }

 private:
  QFileIconProvider icons_;
};

}  // namespace

TF_Attach::TF_Attach(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName(QStringLiteral("F_Attach"));
  setWindowTitle(QStringLiteral("Attachments"));

  DriveComboBox1 = named(new QComboBox, "DriveComboBox1");
  DirectoryListBox1 = named(new widgets::TDirTree, "DirectoryListBox1");
  FileListBox1 = named(new QListWidget, "FileListBox1");
  FileListBox1->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lbx_attach = named(new QListWidget, "lbx_attach");
  lbx_attach->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lbx_attach->setItemDelegate(new AttachDelegate(lbx_attach));
  lbx_real = named(new QListWidget, "lbx_real");
  lbx_real->hide();
  btn_add = named(new QPushButton(QStringLiteral("&Add to list")), "btn_add");
  btn_del = named(new QPushButton(QStringLiteral("&Remove from list")), "btn_del");
  btn_ok = named(new QPushButton(QStringLiteral("OK")), "btn_ok");
  Button1 = named(new QPushButton(QStringLiteral("Cancel")), "Button1");

  auto* left = new QVBoxLayout;
  left->addWidget(DriveComboBox1);
  left->addWidget(DirectoryListBox1, 3);
  left->addWidget(FileListBox1, 2);
  auto* right = new QVBoxLayout;
  right->addWidget(new QLabel(QStringLiteral("Attached files")));
  right->addWidget(lbx_attach, 1);
  right->addWidget(lbx_real);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(btn_add);
  buttons->addWidget(btn_del);
  right->addLayout(buttons);
  auto* close = new QHBoxLayout;
  close->addStretch(1);
  close->addWidget(btn_ok);
  close->addWidget(Button1);
  right->addLayout(close);
  auto* main = new QHBoxLayout(this);
  main->addLayout(left, 1);
  main->addLayout(right, 1);
  setFixedSize(520, 360);

  connect(DriveComboBox1, &QComboBox::currentIndexChanged, this, [this] { DriveComboBox1Change(); });
  connect(DirectoryListBox1, &widgets::TDirTree::currentDirChanged, this, [this] { DirectoryListBox1Change(); });
  connect(btn_add, &QPushButton::clicked, this, &TF_Attach::btn_addClick);
  connect(btn_del, &QPushButton::clicked, this, &TF_Attach::btn_delClick);
  connect(btn_ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(Button1, &QPushButton::clicked, this, &QDialog::reject);

  // The drive box offers the roots the tree starts from.
  DirectoryListBox1->setReadOnStart(false);
  DirectoryListBox1->Reload();
  {
    const QSignalBlocker quiet(DriveComboBox1);
    for (int i = 0; i < DirectoryListBox1->topLevelItemCount(); ++i)
      DriveComboBox1->addItem(widgets::TDirTree::NodePath(DirectoryListBox1->topLevelItem(i)));
  }
  SetFolder(platform::homeFolder());
}

void TF_Attach::SetFolder(const std::string& folder) {
  if (folder.empty()) return;
  DirectoryListBox1->setDirectory(qs(folder));
  DirectoryListBox1Change();
}

void TF_Attach::DriveComboBox1Change() {
  const QString root = DriveComboBox1->currentText();
  if (!root.isEmpty()) DirectoryListBox1->setDirectory(root);
}

void TF_Attach::DirectoryListBox1Change() {
  FileListBox1->clear();
  const QString folder = DirectoryListBox1->Directory();
  if (folder == QStringLiteral("?")) return;
  // The drive box shows the root the folder lies under (the longest that holds it).
  int best = -1;
  for (int i = 0; i < DriveComboBox1->count(); ++i) {
    const QString root = DriveComboBox1->itemText(i);
    const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    if ((folder == root || folder.startsWith(prefix)) &&
        (best < 0 || root.size() > DriveComboBox1->itemText(best).size()))
      best = i;
  }
  {
    const QSignalBlocker quiet(DriveComboBox1);
    DriveComboBox1->setCurrentIndex(best);
  }
  QFileInfoList files = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden, QDir::Name | QDir::IgnoreCase);
  QFileIconProvider icons;
  for (const QFileInfo& file : files) {
    auto* item = new QListWidgetItem(icons.icon(file), file.fileName());
    item->setData(kPathRole, file.absoluteFilePath());
    FileListBox1->addItem(item);
  }
}

void TF_Attach::SetAttachments(const std::vector<std::string>& paths) {
  lbx_attach->clear();
  lbx_real->clear();
  for (const std::string& p : paths) AddPair(qs(p));
}

std::vector<std::string> TF_Attach::Attachments() const {
  std::vector<std::string> out;
  for (int i = 0; i < lbx_real->count(); ++i) out.push_back(ss(lbx_real->item(i)->text()));
  return out;
}

// The two lists stay index for index: a file goes into both or neither, decided by
// its full path (two files of one name from different folders are two entries).
void TF_Attach::AddPair(const QString& path) {
  if (!lbx_real->findItems(path, Qt::MatchExactly | Qt::MatchCaseSensitive).isEmpty()) return;
  lbx_real->addItem(path);
  auto* item = new QListWidgetItem(qs(platform::fileNameOf(ss(path))));
  item->setData(kPathRole, path);
  item->setToolTip(path);
  lbx_attach->addItem(item);
}

void TF_Attach::btn_addClick() {
  for (int i = 0; i < FileListBox1->count(); ++i) {
    QListWidgetItem* file = FileListBox1->item(i);
    if (!file->isSelected()) continue;
    AddPair(file->data(kPathRole).toString());
    file->setSelected(false);
  }
}

void TF_Attach::btn_delClick() {
  for (int i = lbx_attach->count() - 1; i >= 0; --i) {
    if (!lbx_attach->item(i)->isSelected()) continue;
    delete lbx_attach->takeItem(i);
    delete lbx_real->takeItem(i);
  }
}
