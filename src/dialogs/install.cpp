#include "dialogs/controls.h"
#include "dialogs/install.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "dialogs/dialogrules.h"
#include "dialogs/settings_model.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/routines.h"
#include "platform/ui.h"
#include "widgets/privatefolder.h"
#include "widgets/qt_ui.h"
#include "widgets/sortgrid.h"
#include "zipengine/zipengine.h"

using dialogs::Named;
using platform::MsgKind;
using platform::ui;
using widgets::qs;
using widgets::ss;

namespace {

QPushButton* flatButton(const char* name, const char* caption, const char* hint) {
  auto* b = Named(new QPushButton(QString::fromLatin1(caption)), name);
  b->setFlat(true);
  b->setToolTip(QString::fromLatin1(hint));
  return b;
}

// The hourglass for the length of the extraction.
struct BusyCursor {
  BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QApplication::restoreOverrideCursor(); }
};

// A script without a "#!" line cannot be started by itself; the shell runs it.
bool needsShell(const std::string& path) {
  if (platform::lowerAscii(platform::extensionOf(path)) != ".sh") return false;
  std::ifstream in(path, std::ios::binary);
  char head[2] = {0, 0};
  in.read(head, 2);
  return !(head[0] == '#' && head[1] == '!');
}

}  // namespace

// ---- TF_Install ---------------------------------------------------------------------------

TF_Install::TF_Install(TZipEngine& engine, const dialogs::TSettings& settings, const std::string& installer,
                       QWidget* parent)
    : QDialog(parent), engine_(engine), settings_(settings), installer_(installer) {
  setObjectName(QStringLiteral("F_Install"));
  setWindowTitle(QStringLiteral("Install"));
  Label1 =
      Named(new QLabel(QStringLiteral("KELVORY'99 will create a temporary directory and extract all files into it.")),
            "Label1");
  Label1->setWordWrap(true);
  Label2 = Named(new QLabel(QStringLiteral("Wwhen the files are extracted Kelvory98 will run the")), "Label2");
  la_File = Named(new QLabel(qs(installer)), "la_File");
  QFont bold = la_File->font();
  bold.setBold(true);
  la_File->setFont(bold);
  Label3 = Named(new QLabel(QStringLiteral("Temporary directory:")), "Label3");
  ed_Dir = Named(new QLineEdit, "ed_Dir");
  ch_Remove = Named(new QCheckBox(QStringLiteral("Remove directory after installed")), "ch_Remove");
  BitBtn1 = flatButton("BitBtn1", "&OK", "Start install");
  BitBtn1->setDefault(true);
  BitBtn2 = flatButton("BitBtn2", "&Close", "Cancel operation");
  DelTree.Verbose = true;
  DelTree.DeleteRoot = false;

  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(8, 6, 8, 6);
  grid->setVerticalSpacing(3);
  grid->addWidget(Label1, 0, 0, 1, 3);
  // The sentence and the installer's name do not fit one line of the window.
  grid->addWidget(Label2, 1, 0, 1, 3);
  grid->addWidget(la_File, 2, 0, 1, 3, Qt::AlignHCenter);
  grid->addWidget(Label3, 3, 0);
  grid->addWidget(ed_Dir, 3, 1, 1, 2);
  grid->addWidget(ch_Remove, 4, 0, 1, 3);
  grid->addWidget(BitBtn1, 5, 1);
  grid->addWidget(BitBtn2, 5, 2);
  grid->setColumnStretch(1, 1);
  setFixedSize(387, std::max(157, sizeHint().height()));

  connect(BitBtn1, &QPushButton::clicked, this, &TF_Install::BitBtn1Click);
  connect(BitBtn2, &QPushButton::clicked, this, &TF_Install::BitBtn2Click);
  dialogs::EscapeClicks(*this, *BitBtn2);
}

void TF_Install::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  dialogs::CentreOnScreen(*this);
  FormActivate();
}

void TF_Install::FormActivate() { ed_Dir->setText(qs(settings_.ed_Temp)); }

void TF_Install::BitBtn2Click() { reject(); }

void TF_Install::BitBtn1Click() {
  const std::string folder = ss(ed_Dir->text().trimmed());
  if (folder.empty() || !platform::directoryExists(folder)) {
    std::error_code ec;
    if (folder.empty() || (!std::filesystem::create_directories(folder, ec) && !platform::directoryExists(folder))) {
      ui().message(MsgKind::Error, {}, "Cannot create directory " + folder + (ec ? ": " + ec.message() : std::string()),
                   platform::kOk);
      return;
    }
  } else if (ui().message(MsgKind::Confirmation, {}, "Directory already exists!, use it anyway?", platform::kYesNo) !=
             platform::kBtnYes) {
    return;
  }
  // The files go into a folder of their own inside the chosen one: nothing there
  // already (or planted there by someone else) is mixed with them or overwritten.
  std::string error;
  const std::string target = widgets::MakePrivateFolder(folder, "install-", &error);
  if (target.empty()) {
    ui().message(MsgKind::Error, {}, error, platform::kOk);
    return;
  }
  installFolder_ = target;
  if (OnMessage) OnMessage(0, "Beginning Extract from " + engine_.ZipFilename() + " to " + target);
  {
    BusyCursor busy;
    engine_.FSpecArgs.clear();
    engine_.ExtrBaseDir = target;
    engine_.Verbose = true;
    engine_.Trace = false;
    engine_.ExtrOptions = {};
    try {
      engine_.Extract();
    } catch (...) { ui().message(MsgKind::Warning, {}, "Error in Extract; Fatal DLL Exception", platform::kOk); }
  }
  const std::string program = platform::AddBackslash(target) + installer_;
  if (platform::fileExists(program)) {
    platform::makeExecutable(program);
    std::vector<std::string> args{program};
    if (needsShell(program)) args.insert(args.begin(), "/bin/sh");
    // An installer that cannot be started is not reported; the clean-up follows.
    platform::runArgs(args, true, target);
  }
  if (ch_Remove->isChecked() &&
      ui().message(MsgKind::Confirmation, {}, "Delete temp directory?", platform::kYesNo) == platform::kBtnYes) {
    DelTree.Path = target;
    // The folder was made for this install alone: it goes with its contents.
    DelTree.DeleteRoot = true;
    DelTree.Execute();
    DelTree.DeleteRoot = false;
  }
}

// ---- TF_FileToInstall ------------------------------------------------------------------------

TF_FileToInstall::TF_FileToInstall(const dialogs::TSettings& settings, std::string& chosen, QWidget* parent)
    : QDialog(parent), settings_(settings), chosen_(chosen) {
  setObjectName(QStringLiteral("F_FileToInstall"));
  setWindowTitle(QStringLiteral("Choose install file"));
  setFixedSize(242, 247);
  StringGrid1 = Named(new TSortGrid, "StringGrid1");
  bu_Close = flatButton("bu_Close", "&Close", "");
  bu_Close->setToolTip(QString());
  auto* v = new QVBoxLayout(this);
  v->setContentsMargins(0, 0, 0, 4);
  v->addWidget(StringGrid1, 1);
  auto* h = new QHBoxLayout;
  h->addStretch(1);
  h->addWidget(bu_Close);
  h->addStretch(1);
  v->addLayout(h);
  FormCreate();
  StringGrid1->OnDblClick = [this](TSortGrid*) { StringGrid1DblClick(); };
  StringGrid1->OnKeyPress = [this](TSortGrid*, int& key) { StringGrid1KeyPress(key); };
  connect(bu_Close, &QPushButton::clicked, this, &TF_FileToInstall::BitBtn1Click);
}

void TF_FileToInstall::FormCreate() {
  StringGrid1->setColCount(1);
  StringGrid1->setFixedCols(0);
  StringGrid1->setRowCount(2);
  StringGrid1->setFixedRows(1);
  StringGrid1->setCells(0, 0, QStringLiteral("Filename"));
  StringGrid1->setColWidths(0, 240);
  StringGrid1->setOptions(goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goRowSelect);
  StringGrid1->setScrollBars(ssVertical);
  StringGrid1->setClickSorting(true);
  StringGrid1->setToolTip(QStringLiteral("Double-Click to select install file"));
  StringGrid1->setFixedColor(widgets::colorFromRef(static_cast<std::uint32_t>(settings_.pa_HeaderColor)));
  StringGrid1->setColor(widgets::colorFromRef(static_cast<std::uint32_t>(settings_.pa_WindowColor)));
}

void TF_FileToInstall::SetCandidates(const std::vector<std::string>& names) {
  StringGrid1->setRowCount(std::max<int>(2, static_cast<int>(names.size()) + 1));
  StringGrid1->setFixedRows(1);
  for (std::size_t i = 0; i < names.size(); ++i) StringGrid1->setCells(0, static_cast<int>(i) + 1, qs(names[i]));
  StringGrid1->setRow(1);
}

void TF_FileToInstall::StringGrid1DblClick() {
  const int row = StringGrid1->Row();
  if (row < StringGrid1->FixedRows()) return;
  const std::string name = platform::fileNameOf(ss(StringGrid1->Cells(0, row)));
  if (name.empty()) return;
  chosen_ = name;
  accept();
}

void TF_FileToInstall::StringGrid1KeyPress(int& key) {
  if (key != 13) return;
  key = 0;
  StringGrid1DblClick();
}

void TF_FileToInstall::BitBtn1Click() { reject(); }

void TF_FileToInstall::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    reject();
    return;
  }
  QDialog::keyPressEvent(event);
}
