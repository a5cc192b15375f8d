#include "dialogs/controls.h"
#include "dialogs/addform.h"

#include <QCheckBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileIconProvider>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QSet>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "dialogs/dialog_globals.h"
#include "dialogs/dialogrules.h"
#include "widgets/dirtree.h"
#include "widgets/qt_ui.h"

using dialogs::Named;
using widgets::qs;
using widgets::ss;

namespace {

QPushButton* flatButton(const char* name, const char* caption, const char* hint = nullptr) {
  auto* b = Named(new QPushButton(QString::fromUtf8(caption)), name);
  b->setFlat(true);
  if (hint) b->setToolTip(QString::fromUtf8(hint));
  return b;
}

QCheckBox* checkBox(const char* name, const char* caption, const char* hint = nullptr) {
  auto* c = Named(new QCheckBox(QString::fromUtf8(caption)), name);
  if (hint) c->setToolTip(QString::fromUtf8(hint));
  return c;
}

// White bold title on a dark strip across the top of the window.
QLabel* banner(const char* name, const char* caption) {
  auto* l = Named(new QLabel(QString::fromUtf8(caption)), name);
  l->setFont(QFont(QStringLiteral("Arial"), 12, QFont::Bold));
  l->setAutoFillBackground(true);
  QPalette p = l->palette();
  QColor face = p.color(QPalette::Button);
  if (face.lightness() > 160) face = p.color(QPalette::Dark);  // keep white text readable
  p.setColor(QPalette::Window, face);
  p.setColor(QPalette::WindowText, Qt::white);
  l->setPalette(p);
  l->setContentsMargins(8, 4, 8, 4);
  return l;
}

bool lessIgnoringCase(const QString& a, const QString& b) {
  const int c = QString::compare(a, b, Qt::CaseInsensitive);
  return c != 0 ? c < 0 : a < b;
}

QStringList localFiles(const QMimeData* mime) {
  QStringList files;
  if (!mime || !mime->hasUrls()) return files;
  for (const QUrl& url : mime->urls())
    if (url.isLocalFile()) files << url.toLocalFile();
  return files;
}

}  // namespace

// ---- TFileListBox, TSelectedList ------------------------------------------------

TFileListBox::TFileListBox(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setDragEnabled(true);
  setDragDropMode(QAbstractItemView::DragOnly);
  setDefaultDropAction(Qt::CopyAction);
  setIconSize(QSize(16, 16));
  setUniformItemSizes(true);
}

void TFileListBox::startDrag(Qt::DropActions) {
  // Copy only: a move would let the view take the dragged entries out of the list.
  QListWidget::startDrag(Qt::CopyAction);
}

TSelectedList::TSelectedList(TAddForm& form, QWidget* parent) : QListWidget(parent), form_(form) {
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DropOnly);
}

// A drag from FileListBox1 adds its selected files; files from another program go
// to the dialog's drop handling, as anywhere else on the dialog.
void TSelectedList::answerDrag(QDragMoveEvent* event) {
  if (form_.SelectedListDragOver(event->source())) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else if (form_.AcceptsOutsideDrop(event->source(), event->mimeData())) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void TSelectedList::dragEnterEvent(QDragEnterEvent* event) { answerDrag(event); }

void TSelectedList::dragMoveEvent(QDragMoveEvent* event) { answerDrag(event); }

void TSelectedList::dropEvent(QDropEvent* event) {
  if (form_.SelectedListDragDrop(event->source())) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else if (form_.AcceptsOutsideDrop(event->source(), event->mimeData())) {
    event->acceptProposedAction();
    form_.DropFromOutside(localFiles(event->mimeData()));
  } else {
    event->ignore();
  }
}

// ---- TAddForm ----------------------------------------------------------------------

TAddForm::TAddForm(dialogs::TSettings& settings, QWidget* parent) : QDialog(parent), settings_(settings) {
  setObjectName(QStringLiteral("AddForm"));
  setWindowTitle(QStringLiteral("Add"));
  resize(600, 440);

  Panel8 = banner("Panel8", "Add file(s) to archive");

  DirectoryListBox1 = Named(new widgets::TDirTree, "DirectoryListBox1");
  DirectoryListBox1->setReadOnStart(true);
  DirectoryListBox1->setDirTypes(widgets::dtNormal | widgets::dtAll);
  FileListBox1 = Named(new TFileListBox, "FileListBox1");
  bu_Selectall = flatButton("bu_Selectall", "Select &all files");

  Label1 = Named(new QLabel(QStringLiteral("Files to Add:")), "Label1");
  Bitbtn7 = flatButton("Bitbtn7", "Add dir", "Add selected directory");
  Bitbtn6 = flatButton("Bitbtn6", "Add file(s)", "Add selected file(s)");
  bu_Delete = flatButton("bu_Delete", "Remove file(s)", "Remove selected file(s)");
  Sortbut = flatButton("Sortbut", "Sort", "Sort files");
  SelectedList = Named(new TSelectedList(*this), "SelectedList");

  BitBtn1 = flatButton("BitBtn1", "&OK");
  BitBtn2 = flatButton("BitBtn2", "&Close", "Cancel operation");
  CB_Move = checkBox("CB_Move", "Delete file(s) after", "After adding to archive, delete original file");
  Ch_Update = checkBox("Ch_Update", "Only update file(s)");
  CheckBox1 = checkBox("CheckBox1", "M.Disk spanning", "Force Multiple disk spanning. ");

  auto* left = new QVBoxLayout;
  left->addWidget(DirectoryListBox1, 1);
  left->addWidget(FileListBox1, 1);
  left->addWidget(bu_Selectall);

  auto* middle = new QVBoxLayout;
  middle->addStretch(1);
  for (QPushButton* b : {Bitbtn7, Bitbtn6, bu_Delete, Sortbut}) middle->addWidget(b);
  middle->addStretch(1);

  auto* right = new QVBoxLayout;
  right->addWidget(Label1);
  right->addWidget(SelectedList, 1);

  auto* lists = new QHBoxLayout;
  lists->addLayout(left, 3);
  lists->addLayout(middle, 0);
  lists->addLayout(right, 4);

  auto* options = new QHBoxLayout;
  options->addWidget(CB_Move);
  options->addWidget(Ch_Update);
  options->addWidget(CheckBox1);
  options->addStretch(1);
  options->addWidget(BitBtn1);
  options->addWidget(BitBtn2);

  auto* main = new QVBoxLayout(this);
  main->setContentsMargins(4, 4, 4, 4);
  main->addWidget(Panel8);
  main->addLayout(lists, 1);
  main->addLayout(options);

  connect(bu_Selectall, &QPushButton::clicked, this, &TAddForm::BU_SelectallClick);
  connect(Bitbtn7, &QPushButton::clicked, this, &TAddForm::BitBtn7Click);
  connect(Bitbtn6, &QPushButton::clicked, this, &TAddForm::BitBtn6Click);
  connect(bu_Delete, &QPushButton::clicked, this, &TAddForm::RemoveButClick);
  connect(Sortbut, &QPushButton::clicked, this, &TAddForm::SortButClick);
  connect(BitBtn1, &QPushButton::clicked, this, &TAddForm::BitBtn1Click);
  connect(BitBtn2, &QPushButton::clicked, this, &TAddForm::BitBtn2Click);
  dialogs::EscapeClicks(*this, *BitBtn2);
  connect(DirectoryListBox1, &widgets::TDirTree::currentDirChanged, this, [this] { DirectoryListBox1Change(); });

  FormActivate();
}

std::string TAddForm::AppendSlash(const std::string& folder) {
  if (folder.empty() || folder.back() == '/') return folder;
  return folder + '/';
}

void TAddForm::SetFolder(const std::string& folder) {
  if (folder.empty()) return;
  const std::string before = CurrentFolder();
  DirectoryListBox1->setInitialDirectory(qs(folder));
  DirectoryListBox1->setDirectory(qs(folder));
  // The same folder again raises no change; show its files as they are now.
  if (CurrentFolder() == before) DirectoryListBox1Change();
}

std::string TAddForm::CurrentFolder() const {
  const QString folder = DirectoryListBox1->Directory();
  return folder == QStringLiteral("?") ? std::string() : ss(folder);
}

std::vector<std::string> TAddForm::SelectedNames() const {
  std::vector<std::string> names;
  names.reserve(static_cast<std::size_t>(SelectedList->count()));
  for (int i = 0; i < SelectedList->count(); ++i) names.push_back(ss(SelectedList->item(i)->text()));
  return names;
}

void TAddForm::AddDroppedNames(const QStringList& names) {
  for (const QString& name : names) SelectedList->addItem(name);
}

void TAddForm::BU_SelectallClick() { FileListBox1->selectAll(); }

void TAddForm::BitBtn7Click() {
  dialogs::DialogCancelled = true;
  const std::string folder = CurrentFolder();
  if (folder.empty()) return;  // no folder selected in the tree
  AddUnique(qs(AppendSlash(folder)));
  ShowLastLine();
}

void TAddForm::BitBtn6Click() {
  dialogs::DialogCancelled = true;
  AddSelectedFiles();
}

void TAddForm::AddSelectedFiles() {
  const QString folder = qs(AppendSlash(CurrentFolder()));
  QSet<QString> present;
  for (int i = 0; i < SelectedList->count(); ++i) present.insert(SelectedList->item(i)->text());
  for (int i = 0; i < FileListBox1->count(); ++i) {
    QListWidgetItem* entry = FileListBox1->item(i);
    if (!entry->isSelected()) continue;
    const QString line = folder + entry->text();
    if (!present.contains(line)) {
      SelectedList->addItem(line);
      present.insert(line);
    }
    entry->setSelected(false);
  }
  ShowLastLine();
}

void TAddForm::AddUnique(const QString& line) {
  for (int i = 0; i < SelectedList->count(); ++i)
    if (SelectedList->item(i)->text() == line) return;
  SelectedList->addItem(line);
}

void TAddForm::ShowLastLine() {
  if (SelectedList->count() == 0) return;
  QListWidgetItem* last = SelectedList->item(SelectedList->count() - 1);
  last->setSelected(false);
  SelectedList->scrollToItem(last);
}

void TAddForm::RemoveButClick() {
  for (int i = SelectedList->count() - 1; i >= 0; --i)
    if (SelectedList->item(i)->isSelected()) delete SelectedList->takeItem(i);
}

void TAddForm::SortButClick() {
  SelectedList->setSortingEnabled(true);  // later additions go to their sorted place
  SelectedList->sortItems(Qt::AscendingOrder);
  Sortbut->setEnabled(false);
}

void TAddForm::BitBtn1Click() {
  dialogs::DialogCancelled = false;
  accept();
}

void TAddForm::BitBtn2Click() {
  dialogs::DialogCancelled = true;
  reject();
}

bool TAddForm::SelectedListDragOver(const QObject* source) const { return source && source == FileListBox1; }

bool TAddForm::SelectedListDragDrop(const QObject* source) {
  if (!SelectedListDragOver(source)) return false;
  AddSelectedFiles();
  return true;
}

void TAddForm::DirectoryListBox1Change() {
  FileListBox1->clear();
  const std::string folder = CurrentFolder();
  if (folder.empty()) return;
  QFileInfoList files = QDir(qs(folder)).entryInfoList(QDir::Files | QDir::Hidden, QDir::Unsorted);
  std::sort(files.begin(), files.end(),
            [](const QFileInfo& a, const QFileInfo& b) { return lessIgnoringCase(a.fileName(), b.fileName()); });
  QFileIconProvider icons;
  FileListBox1->setUpdatesEnabled(false);
  for (const QFileInfo& file : files) FileListBox1->addItem(new QListWidgetItem(icons.icon(file), file.fileName()));
  FileListBox1->setUpdatesEnabled(true);
}

void TAddForm::FormActivate() {
  acceptsDrops_ = settings_.cb_Outside;
  setAcceptDrops(acceptsDrops_);
}

void TAddForm::done(int result) {
  // Only OK confirms: the frame, Escape and Close all leave the dialog cancelled,
  // so names waiting in the list are never added behind the user's back.
  if (result != QDialog::Accepted) dialogs::DialogCancelled = true;
  QDialog::done(result);
  if (OnClosed) OnClosed();
}

void TAddForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormActivate();
}

void TAddForm::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

bool TAddForm::AcceptsOutsideDrop(const QObject* source, const QMimeData* mime) const {
  return acceptsDrops_ && !source && !localFiles(mime).isEmpty();
}

void TAddForm::DropFromOutside(const QStringList& files) {
  if (OnDropFiles)
    OnDropFiles(files);
  else
    AddDroppedNames(files);
}

void TAddForm::dragEnterEvent(QDragEnterEvent* event) {
  if (AcceptsOutsideDrop(event->source(), event->mimeData()))
    event->acceptProposedAction();
  else
    event->ignore();
}

void TAddForm::dragMoveEvent(QDragMoveEvent* event) {
  if (AcceptsOutsideDrop(event->source(), event->mimeData()))
    event->acceptProposedAction();
  else
    event->ignore();
}

void TAddForm::dropEvent(QDropEvent* event) {
  if (!AcceptsOutsideDrop(event->source(), event->mimeData())) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  DropFromOutside(localFiles(event->mimeData()));
}
