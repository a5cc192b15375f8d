#include "app/mainunit.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cctype>
#include <fstream>

#include "app/toolbar.h"
#include "dialogs/about.h"
#include "dialogs/dialog_globals.h"
#include "dialogs/dialogrules.h"
#include "dialogs/favoritelist.h"
#include "dialogs/settings.h"
#include "platform/datetime.h"
#include "platform/ini.h"
#include "platform/paths.h"
#include "platform/routines.h"
#include "platform/ui.h"
#include "widgets/fileoperation.h"
#include "widgets/qt_ui.h"
#include "widgets/sortgrid.h"

using platform::MsgKind;
using widgets::qs;
using widgets::ss;

namespace {

const char* const kNone = "<none>";

// Menu captions mark their access key with "&"; a path shown as a caption must not.
QString escapedCaption(const QString& text) {
  QString t = text;
  return t.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

// The items that need an open archive, switched together.
const char* const kArchiveItems[] = {"Closearchive1",
                                     "AddzipfiletoFavorites1",
                                     "Archiveinformation1",
                                     "Savearchiveas1",
                                     "Copyarchive1",
                                     "Delete2",
                                     "Splitarchive1",
                                     "MakeSelfExtractedfile1",
                                     "Add1",
                                     "Test1",
                                     "Test2",
                                     "Extract1",
                                     "Delete1",
                                     "Viewfile1",
                                     "SelectAll2",
                                     "DeselectAll2",
                                     "Executefile1",
                                     "Install1",
                                     "Searchfile1",
                                     "Add2",
                                     "Extract2",
                                     "Delete3",
                                     "View1",
                                     "SelectAll1",
                                     "DeselectAll1",
                                     "AddzipfiletoF1",
                                     "MakeEXEfile1",
                                     "Run1",
                                     "Install2",
                                     "Searchfile2"};

const char* const kRarRestricted[] = {
    "Add1", "Delete1", "Viewfile1", "Executefile1", "Install1",    "Splitarchive1", "MakeSelfExtractedfile1",
    "Add2", "Delete3", "Run1",      "Install2",     "MakeEXEfile1"};

const char* const kMakeSfxCaption = "&Make Self Extracting file";
const char* const kMakeZipCaption = "Create &ZIP file";

}  // namespace

TMainform::TMainform(dialogs::TSettings& settings, QStringList arguments, QWidget* parent)
    : QMainWindow(parent), Settings(settings), arguments_(std::move(arguments)) {
  setObjectName(QStringLiteral("Mainform"));
  resize(440, 377);
  FileOperation1 = std::make_unique<widgets::TFileOperation>(this);
  FileOperation1->Operation = widgets::foCopy;
  FileOperation1->ProgressTitle = "Copying files";
  BuildLayout();
  BuildMenus();
  BuildToolbar();
  FormCreate();
  // The settings window comes right after the main window; creating it reads the
  // configuration and applies it here (colours, grid lines, column layout).
  ConnectSettings();
  TF_Settings::Hooks hooks;
  hooks.OnSettingsAccepted = [this] {
    // The listing follows the new columns and date format.
    if (RarMode && !rar.ArchiveName.empty())
      OpenRarArchive(rar.ArchiveName);
    else if (!ZipEngine1.ZipFilename().empty())
      FillListing();
  };
  // The favourites window at start-up: once the main window is up.
  hooks.OnOpenFavorites = [this] { QTimer::singleShot(0, this, [this] { Favoritearchives1Click(); }); };
  F_Settings = new TF_Settings(Settings, hooks, this);
  // A new archive starts with the Add dialog.
  AfterNewArchive = [this] { BU_AddClick(); };
}

TMainform::~TMainform() {
  // The settings hooks point into this window.
  Settings.Hooks = {};
}

QAction* TMainform::Action(const QString& name) const { return findChild<QAction*>(name); }

// ---- layout ------------------------------------------------------------------------------

void TMainform::BuildLayout() {
  auto* central = new QWidget(this);
  auto* v = new QVBoxLayout(central);
  v->setContentsMargins(0, 0, 0, 0);
  v->setSpacing(0);

  Panel1 = new QWidget(central);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFixedHeight(34);
  Panel1->setAutoFillBackground(true);
  QPalette black = Panel1->palette();
  black.setColor(QPalette::Window, Qt::black);
  Panel1->setPalette(black);
  v->addWidget(Panel1);

  StringGrid1 = new TSortGrid(central);
  StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
  StringGrid1->setDefaultRowHeight(16);
  StringGrid1->setFixedColor(QColor(0, 128, 128));
  StringGrid1->setFixedCols(0);
  StringGrid1->setFixedRows(0);
  QFont gridFont(QStringLiteral("Arial"));
  gridFont.setPixelSize(11);
  StringGrid1->setFont(gridFont);
  StringGrid1->setOptions(goRangeSelect | goColSizing | goRowSelect | goThumbTracking | goFixedVertLine |
                          goFixedHorzLine);
  StringGrid1->setClickSorting(true);
  StringGrid1->setCaseSensitive(false);
  StringGrid1->setAlignmentHorz(taLeftJustify);
  StringGrid1->setAlignmentVert(taMiddle);
  StringGrid1->setBevelStyle(cbRaised);
  StringGrid1->setExtendedKeys(false);
  StringGrid1->setProportionalScrollBars(false);
  StringGrid1->OnColumnWidthsChanged = [this](TSortGrid*) { StringGrid1ColumnWidthsChanged(); };
  StringGrid1->OnClick = [this](TSortGrid*) { StringGrid1Click(); };
  StringGrid1->OnEndSort = [this](TSortGrid*, int) { StringGrid1EndSort(); };
  // A double click views the entry (the entries of a RAR archive cannot be viewed).
  StringGrid1->OnDblClick = [this](TSortGrid*) { Viewfile1Click(); };
  StringGrid1->OnGetSortValue = [this](TSortGrid*, int col, int row, double& value) {
    return StringGrid1GetSortValue(col, row, value);
  };
  StringGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
  StringGrid1->installEventFilter(this);
  StringGrid1->viewport()->installEventFilter(this);
  v->addWidget(StringGrid1, 1);

  Panel2 = new QWidget(central);
  Panel2->setObjectName(QStringLiteral("Panel2"));
  Panel2->setFixedHeight(19);
  auto* h = new QHBoxLayout(Panel2);
  h->setContentsMargins(0, 0, 0, 0);
  h->setSpacing(2);
  Panel3 = new QLabel(Panel2);
  Panel3->setObjectName(QStringLiteral("Panel3"));
  // At least its designed width, and as wide as its text: the selection line must
  // never be cut off.
  Panel3->setMinimumWidth(152);
  Panel3->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
  Panel3->setFrameShape(QFrame::Panel);
  Panel3->setFrameShadow(QFrame::Sunken);
  Panel4 = new QLabel(Panel2);
  Panel4->setObjectName(QStringLiteral("Panel4"));
  // Panel4 takes the rest of the bar (292 pixels at the window's first size).
  Panel4->setFrameShape(QFrame::Panel);
  Panel4->setFrameShadow(QFrame::Sunken);
  h->addWidget(Panel3);
  h->addWidget(Panel4, 1);
  auto* p4 = new QHBoxLayout(Panel4);
  p4->setContentsMargins(1, 1, 1, 1);
  p4->addStretch(1);
  ProgressBar1 = new QProgressBar(Panel4);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setFixedWidth(150);
  ProgressBar1->hide();
  CancelBut = new QPushButton(QStringLiteral("Cancel"), Panel4);
  CancelBut->setObjectName(QStringLiteral("CancelBut"));
  CancelBut->setFlat(true);
  CancelBut->setProperty("Tag", 0);
  CancelBut->hide();
  p4->addWidget(ProgressBar1);
  p4->addWidget(CancelBut);
  v->addWidget(Panel2);

  setCentralWidget(central);
}

QAction* TMainform::AddItem(QMenu* menu, const QString& name, const QString& caption, const QKeySequence& shortcut,
                            void (TMainform::*handler)()) {
  auto* a = new QAction(caption, this);
  a->setObjectName(name);
  if (!shortcut.isEmpty()) a->setShortcut(shortcut);
  if (handler) {
    handlers_[name] = handler;
    connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
  }
  menu->addAction(a);
  return a;
}

QAction* TMainform::AddPopupItem(const QString& name, const QString& caption, void (TMainform::*handler)()) {
  return AddItem(PopupMenu1, name, caption, QKeySequence(), handler);
}

void TMainform::BuildMenus() {
  using K = QKeySequence;
  auto ctrl = [](Qt::Key k) { return K(Qt::CTRL | k); };
  FileMenu = menuBar()->addMenu(QStringLiteral("&File"));
  FileMenu->setObjectName(QStringLiteral("File1"));
  QMenu* f = FileMenu;
  AddItem(f, "Newarchive1", "&New archive...", ctrl(Qt::Key_N), &TMainform::BU_NewClick);
  AddItem(f, "Openarchive1", "&Open archive...", ctrl(Qt::Key_O), &TMainform::BU_OpenClick);
  AddItem(f, "Openspannedarchive1", "Open spanned archive...", K(), &TMainform::Openspannedarchive1Click);
  AddItem(f, "Closearchive1", "C&lose archive", ctrl(Qt::Key_L), &TMainform::Closearchive1Click);
  AddItem(f, "Savearchiveas1", "&Save archive as...", ctrl(Qt::Key_S), &TMainform::Savearchiveas1Click);
  f->addSeparator();
  AddItem(f, "MultipleFileExtracting1", "Multiple file extracting (MFE)", K(),
          &TMainform::MultipleFileExtracting1Click);
  AddItem(f, "Favoritearchives1", "&Favorite archives...", ctrl(Qt::Key_F1), &TMainform::Favoritearchives1Click);
  AddItem(f, "Archiveinformation1", "&Properties...", ctrl(Qt::Key_I), &TMainform::Archiveinformation1Click);
  AddItem(f, "AddzipfiletoFavorites1", "&Add to Favorites", K(Qt::Key_F5), &TMainform::AddzipfiletoF1Click);
  AddItem(f, "Searcharchive1", "S&earch for archive(s)...", ctrl(Qt::Key_F3), &TMainform::Searcharchive1Click);
  f->addSeparator();
  AddItem(f, "Copyarchive1", "&Copy archive...", ctrl(Qt::Key_C), &TMainform::Copyarchive1Click);
  AddItem(f, "Delete2", "&Delete archive", K(), &TMainform::Delete2Click);
  AddItem(f, "Splitarchive1", "S&pann archive...", K(), &TMainform::Splitarchive1Click);
  AddItem(f, "MakeSelfExtractedfile1", kMakeSfxCaption, K(), &TMainform::MakeSelfExtractedfile1Click);
  f->addSeparator();
  AddItem(f, "Exit1", "E&xit", ctrl(Qt::Key_X), &TMainform::BU_ExitClick);

  QMenu* a = menuBar()->addMenu(QStringLiteral("&Actions"));
  a->setObjectName(QStringLiteral("Actions1"));
  AddItem(a, "Add1", "&Add...", K(Qt::Key_Insert), &TMainform::BU_AddClick);
  AddItem(a, "Extract1", "&Extract...", ctrl(Qt::Key_E), &TMainform::BU_ExtractClick);
  AddItem(a, "Delete1", "&Delete", ctrl(Qt::Key_D), &TMainform::BU_DeleteFileClick);
  AddItem(a, "Viewfile1", "&View/edit...", ctrl(Qt::Key_V), &TMainform::Viewfile1Click);
  a->addSeparator();
  AddItem(a, "SelectAll2", "Select All", ctrl(Qt::Key_A), &TMainform::SelectAll2Click);
  AddItem(a, "DeselectAll2", "Deselect All", K(), &TMainform::DeselectAll2Click);
  AddItem(a, "Searchfile1", "&Search for file(s)...", ctrl(Qt::Key_F4), &TMainform::Searchfile1Click);
  a->addSeparator();
  AddItem(a, "Test1", "&Test", ctrl(Qt::Key_T), &TMainform::Test1Click);
  AddItem(a, "Executefile1", "&Run...", ctrl(Qt::Key_U), &TMainform::Executefile1Click);
  QAction* install = AddItem(a, "Install1", "&Install...", ctrl(Qt::Key_F1), &TMainform::Install1Click);
  // "&Favorite archives..." carries the same key; like a menu that takes the first
  // item with a key, the key runs that one, while this item still shows it.
  install->setShortcutContext(Qt::WidgetShortcut);

  QMenu* m = menuBar()->addMenu(QStringLiteral("&Misc"));
  m->setObjectName(QStringLiteral("Misc1"));
  AddItem(m, "Settings1", "Config&uration...", K(), &TMainform::Settings1Click);
  AddItem(m, "Mailarchive1", "&Mail archive...", K(), &TMainform::Mailarchive1Click);

  QMenu* hm = menuBar()->addMenu(QStringLiteral("&Help"));
  hm->setObjectName(QStringLiteral("Help1"));
  AddItem(hm, "About2", "&About Kelvory", K(), &TMainform::About2Click);
  AddItem(hm, "Homepage1", "Kelvory on the &web", K(), nullptr);
  connect(Action("Homepage1"), &QAction::triggered, this, [] { platform::ShellOpen(TF_SPInfo::kHomePage); });

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  AddPopupItem("Add2", "&Add...", &TMainform::BU_AddClick);
  AddPopupItem("Extract2", "&Extract...", &TMainform::BU_ExtractClick);
  AddPopupItem("Delete3", "&Delete", &TMainform::BU_DeleteFileClick);
  AddPopupItem("View1", "&View/edit...", &TMainform::Viewfile1Click);
  PopupMenu1->addSeparator();
  AddPopupItem("SelectAll1", "Select All", &TMainform::SelectAll2Click);
  AddPopupItem("DeselectAll1", "Deselect All", &TMainform::DeselectAll2Click);
  AddPopupItem("Searchfile2", "Search file...", &TMainform::Searchfile1Click);
  PopupMenu1->addSeparator();
  AddPopupItem("Test2", "&Test", &TMainform::Test1Click);
  AddPopupItem("Run1", "&Run...", &TMainform::Executefile1Click);
  AddPopupItem("Install2", "&Install...", &TMainform::Install1Click);
  PopupMenu1->addSeparator();
  AddPopupItem("AddzipfiletoF1", "Add archive to favorites", &TMainform::AddzipfiletoF1Click);
  AddPopupItem("MakeEXEfile1", kMakeSfxCaption, &TMainform::MakeSelfExtractedfile1Click);
  connect(StringGrid1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& p) { PopupMenu1->popup(StringGrid1->mapToGlobal(p)); });
}

void TMainform::BuildToolbar() {
  auto* h = new QHBoxLayout(Panel1);
  h->setContentsMargins(0, 0, 0, 0);
  h->setSpacing(0);
  struct Def {
    app::ToolCommand cmd;
    const char* normal;
    const char* second;
  };
  const Def defs[] = {{app::ToolCommand::New, "bu_NewEn", "bu_NewDis"},
                      {app::ToolCommand::Open, "bu_OpenEn", "bu_OpenDis"},
                      {app::ToolCommand::Run, "bu_RunEn", "bu_RunDi"},
                      {app::ToolCommand::View, "bu_ViewEn", "bu_ViewDi"},
                      {app::ToolCommand::Extract, "bu_ExtractEn", "bu_ExtractDi"},
                      {app::ToolCommand::Add, "bu_AddEn", "bu_AddDi"},
                      {app::ToolCommand::Delete, "bu_DeleteEn", "bu_DeleteDi"},
                      {app::ToolCommand::Close, "bu_CloseEn", "bu_CloseDi"}};
  for (std::size_t i = 0; i < std::size(defs); ++i) {
    auto* t =
        new TToolPicture(defs[i].cmd, QString::fromLatin1(defs[i].normal), QString::fromLatin1(defs[i].second), Panel1);
    t->OnHover = [this](TToolPicture* over) { ToolHover(over); };
    t->SecondClickable = [this] { return Settings.cbExpLook; };
    ToolPictures[i] = t;
    h->addWidget(t);
  }
  Panel5 = new QWidget(Panel1);
  Panel5->setObjectName(QStringLiteral("Panel5"));
  Panel5->setMouseTracking(true);
  Panel5->installEventFilter(this);
  h->addWidget(Panel5, 1);
  // The pictures run the handlers of their menu items, whether or not the item is
  // enabled: with no archive open (or a RAR archive) the handler says why it cannot
  // go on, where a disabled picture would just do nothing.
  const char* const items[] = {"Newarchive1", "Openarchive1", "Executefile1", "Viewfile1",
                               "Extract1",    "Add1",         "Delete1",      "Exit1"};
  static_assert(std::size(items) == std::tuple_size_v<decltype(ToolPictures)>);
  for (std::size_t i = 0; i < std::size(items); ++i)
    ToolPictures[i]->OnClick = [this, h = handlers_.at(QString::fromLatin1(items[i]))] { (this->*h)(); };
  ApplyToolTips();
}

void TMainform::ToolHover(TToolPicture* over) {
  if (!Settings.cbExpLook) return;
  for (TToolPicture* t : ToolPictures) t->ShowNormal(t != over);
}

void TMainform::RestoreToolPictures() {
  for (TToolPicture* t : ToolPictures) t->ShowNormal(true);
}

void TMainform::ApplyToolTips() {
  static const char* const kHints[] = {
      "Create new Zip archive",       "Open zip archive",       "Run selected file",           "View selected file",
      "Extract file(s) from archive", "Add file(s) to archive", "Delete file(s) from archive", "Exit Kelvory99"};
  for (std::size_t i = 0; i < ToolPictures.size(); ++i)
    ToolPictures[i]->SetHint(QString::fromLatin1(kHints[i]), Settings.cb_Tooltip);
}

bool TMainform::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() == QEvent::MouseMove || e->type() == QEvent::Enter) {
    if ((watched == Panel5 || watched == StringGrid1 || (StringGrid1 && watched == StringGrid1->viewport())) &&
        Settings.cbExpLook)
      RestoreToolPictures();
  }
  return QMainWindow::eventFilter(watched, e);
}

void TMainform::ConnectSettings() {
  dialogs::SettingsHooks& h = Settings.Hooks;
  h.OnMailFieldsRead = [this] {
    MailServer = qs(Settings.ed_Server);
    MailPort = qs(Settings.ed_Port);
    MailName = qs(Settings.ed_Name);
    MailAddress = qs(Settings.ed_EMail);
  };
  h.OnDefaultColumnLayout = [this] { DefaultColumnLayout(); };
  h.OnApplyDisplay = [this] {
    StringGrid1->setFixedColor(widgets::colorFromRef(static_cast<std::uint32_t>(Settings.pa_HeaderColor)));
    StringGrid1->setColor(widgets::colorFromRef(static_cast<std::uint32_t>(Settings.pa_WindowColor)));
    TGridOptions o = StringGrid1->Options();
    o = Settings.cb_Vert ? (o | goFixedVertLine) : (o & ~TGridOptions(goFixedVertLine));
    o = Settings.cb_Hor ? (o | goFixedHorzLine) : (o & ~TGridOptions(goFixedHorzLine));
    StringGrid1->setOptions(o);
    platform::setDisplayFormats(Settings.co_DateFormat, Settings.co_Timeformat);
    ApplyColumnLayout();
  };
  h.OnTooltipsSaved = [this] { ApplyToolTips(); };
  h.OnToolbarReset = [this] { RestoreToolPictures(); };
}

// ---- start-up ------------------------------------------------------------------------------

void TMainform::FormCreate() {
  HelpFile = qs(platform::ProgramPath(1) + "KV99.HLP");
  setAcceptDrops(true);
  LayoutLoading = true;
  ArchiveChanged = false;
  RarMode = false;
  SetCaption({});
  SetArchiveCommands(false);
  LoadFavorites();
  BuildRecentMenu();
  ZipEngine1.OnDirUpdate = [this](TZipEngine&) { ZipEngine1DirUpdate(); };
  ZipEngine1.OnProgress = [this](TZipEngine&, ProgressType t, const std::string& name, std::int64_t size) {
    ZipEngine1Progress(t, name, size);
  };
  ZipEngine1.OnMessage = [this](TZipEngine&, int code, const std::string& text) { ZipEngine1Message(code, text); };
  connect(CancelBut, &QPushButton::clicked, this, &TMainform::CancelButClick);
  ConnectRarEvents();
}

void TMainform::LoadFavorites() { FavoriteList = dialogs::LoadFavoriteList(); }

void TMainform::FormShow() { LayoutLoading = false; }

void TMainform::showEvent(QShowEvent* e) {
  QMainWindow::showEvent(e);
  if (!shown_) {
    shown_ = true;
    CentreOnScreen();
    FormShow();
    // Once the window is on the screen; a window manager may never activate it.
    QTimer::singleShot(0, this, [this] { ActOnCommandLine(); });
  }
}

void TMainform::CentreOnScreen() { dialogs::CentreOnScreen(*this); }

bool TMainform::event(QEvent* e) {
  if (e->type() == QEvent::WindowActivate) FormActivate();
  return QMainWindow::event(e);
}

void TMainform::closeEvent(QCloseEvent* e) {
  // Nothing is written at exit: every setting was stored when it changed.
  QMainWindow::closeEvent(e);
}

bool TMainform::OpenZipArgument(const std::string& path) {
  // A name relative to the folder the program was started in, kept as a full path.
  return ListArchive(platform::absolutePath(path), false);
}

void TMainform::FormActivate() {
  if (!Settings.cb_Outside) setAcceptDrops(false);
  if (activated_) return;
  activated_ = true;
  ActOnCommandLine();
}

void TMainform::ActOnCommandLine() {
  if (commandLineDone_) return;
  commandLineDone_ = true;
  if (arguments_.size() == 1 && ZipEngine1.ZipFilename().empty() &&
      platform::lowerAscii(platform::extensionOf(ss(arguments_.front()))) == ".zip") {
    OpenZipArgument(ss(arguments_.front()));
    return;
  }
  if (!arguments_.isEmpty() && platform::lowerAscii(platform::extensionOf(ss(arguments_.front()))) != ".zip")
    AddCommandLineFiles();
}

// ---- commands that switch together --------------------------------------------------------

void TMainform::SetArchiveCommands(bool on) {
  for (const char* name : kArchiveItems)
    if (QAction* a = Action(QString::fromLatin1(name))) a->setEnabled(on);
}

void TMainform::SetRarRestrictions(bool rar) {
  for (const char* name : kRarRestricted)
    if (QAction* a = Action(QString::fromLatin1(name))) a->setEnabled(!rar);
  // Left disabled either way: for a ZIP archive SetArchiveCommands(true) follows.
  if (QAction* a = Action(QStringLiteral("MakeSelfExtractedfile1"))) a->setEnabled(false);
}

bool TMainform::RarRefused() {
  if (!RarMode) return false;
  platform::ui().message(MsgKind::Error, {}, "KELVORY don't support this action on RAR files!", platform::kOk);
  return true;
}

void TMainform::SetSfxCaptions(const std::string& archiveName) {
  QString caption = platform::upperAscii(platform::extensionOf(archiveName)) == ".EXE"
                        ? QString::fromLatin1(kMakeZipCaption)
                        : QString::fromLatin1(kMakeSfxCaption);
  Action(QStringLiteral("MakeSelfExtractedfile1"))->setText(caption);
  Action(QStringLiteral("MakeEXEfile1"))->setText(caption);
}

void TMainform::ShowOpenArchive(const std::string& archive) {
  ArchiveChanged = false;
  SetCaption(archive);
  SetSfxCaptions(archive);
  SetArchiveCommands(!archive.empty());
  if (!archive.empty()) dialogs::LastArchive = archive;
  // Both status lines describe the archive now open, or nothing.
  Panel3->clear();
  if (archive.empty())
    Panel4->clear();
  else
    ShowTotals();
}

void TMainform::SetCaption(const std::string& archive) {
  setWindowTitle(TitleBase + QStringLiteral("- ") + (archive.empty() ? QString::fromLatin1(kNone) : qs(archive)));
}

void TMainform::NotAvailable() {
  platform::ui().message(MsgKind::Information, {}, "This command is not available in this version.", platform::kOk);
}

// ---- recent archives -----------------------------------------------------------------------

void TMainform::AddRecent(const std::string& path) {
  const std::string file = Settings.FileName();
  const std::string full = platform::absolutePath(path);
  std::vector<std::string> values;
  for (const std::string& line : platform::ini::readSection(file, "RECENT")) {
    auto eq = line.find('=');
    values.push_back(eq == std::string::npos ? line : line.substr(eq + 1));
  }
  values.erase(std::remove(values.begin(), values.end(), full), values.end());
  values.insert(values.begin(), full);
  if (values.size() > 5) values.resize(5);
  WriteRecent(values);
}

void TMainform::ForgetRecent(const std::string& path) {
  const std::string file = Settings.FileName();
  std::vector<std::string> values;
  for (const std::string& line : platform::ini::readSection(file, "RECENT")) {
    auto eq = line.find('=');
    std::string value = eq == std::string::npos ? line : line.substr(eq + 1);
    if (value != path) values.push_back(value);
  }
  WriteRecent(values);
}

void TMainform::WriteRecent(const std::vector<std::string>& values) {
  const std::string file = Settings.FileName();
  const std::size_t before = platform::ini::readSection(file, "RECENT").size();
  for (std::size_t i = 0; i < std::max(before, values.size()); ++i) {
    std::string error;
    const std::string key = std::to_string(i);
    bool ok = i < values.size() ? platform::ini::writeString(file, "RECENT", key, values[i], &error)
                                : platform::ini::deleteKey(file, "RECENT", key, &error);
    if (!ok) {
      ShowWriteError(dialogs::WriteResult{false, Settings.WriteError()});
      return;
    }
  }
}

void TMainform::BuildRecentMenu() {
  for (QAction* a : recentItems_) {
    FileMenu->removeAction(a);
    // Deleted later (it may be the item being chosen); nameless until then, so
    // Action("Fil0") finds only the new items.
    a->setObjectName(QString());
    a->deleteLater();
  }
  recentItems_.clear();
  if (recentSeparator_) {
    FileMenu->removeAction(recentSeparator_);
    recentSeparator_->setObjectName(QString());
    recentSeparator_->deleteLater();
    recentSeparator_ = nullptr;
  }
  recentSeparator_ = FileMenu->addSeparator();
  recentSeparator_->setObjectName(QStringLiteral("Sepp"));
  int index = 0;
  for (const std::string& line : platform::ini::readSection(Settings.FileName(), "RECENT")) {
    auto* a = new QAction(escapedCaption(qs(line)), this);
    a->setObjectName(QStringLiteral("Fil%1").arg(index++));
    a->setData(qs(line));  // the caption as read
    connect(a, &QAction::triggered, this, [this, a] { RecentClick(a); });
    FileMenu->addAction(a);
    recentItems_.push_back(a);
  }
}

void TMainform::RecentClick(QAction* item) {
  std::string caption = ss(item->data().toString());
  auto eq = caption.find('=');
  std::string path = eq == std::string::npos ? caption : caption.substr(eq + 1);
  if (!platform::fileExists(path)) {
    if (platform::ui().message(MsgKind::Warning, {},
                               "Archive not found: " + path + "\nRemove it from the list of recent archives?",
                               platform::kYesNo) == platform::kBtnYes) {
      ForgetRecent(path);
      BuildRecentMenu();
    }
    return;
  }
  OpenArchive(path);
}

bool TMainform::BrowseFolder(std::string& path) {
  auto folder = platform::ui().pickFolder("Please specify a directory", platform::homeFolder());
  if (!folder || folder->empty()) return false;
  path = platform::AddBackslash(*folder);
  return true;
}

void TMainform::ShowWriteError(const dialogs::WriteResult& r) {
  if (!r) platform::ui().message(MsgKind::Error, {}, r.error, platform::kOk);
}

// ---- windows -----------------------------------------------------------------------------------

void TMainform::Settings1Click() {
  widgets::runModal(*F_Settings, "TF_Settings");
  setAcceptDrops(Settings.cb_Outside);
}

void TMainform::BU_ExitClick() { close(); }

void TMainform::About2Click() {
  TF_SPInfo about(this);
  widgets::runModal(about, "TF_SPInfo");
}

void TMainform::ZipEngine1DirUpdate() { FillListing(); }
