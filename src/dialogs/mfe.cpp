#include "dialogs/mfe.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "dialogs/controls.h"
#include "dialogs/dialogrules.h"
#include "dialogs/inmdlg.h"
#include "platform/paths.h"
#include "platform/pump.h"
#include "platform/routines.h"
#include "platform/ui.h"
#include "widgets/qt_ui.h"
#include "widgets/routines_qt.h"
#include "widgets/sortgrid.h"
#include "zipengine/ziplib_abi.h"

using platform::MsgKind;
using platform::ui;
using widgets::qs;
using widgets::ss;

using dialogs::FlatButton;
using dialogs::Named;

namespace {

void showError(const std::string& text) { ui().message(MsgKind::Error, {}, text, platform::kOk); }

std::uint64_t unpackedSize(const RARHeaderData& h) {
  return (static_cast<std::uint64_t>(h.UnpSizeHigh) << 32) | h.UnpSize;
}

constexpr int kNameCol = 0;
constexpr int kFolderCol = 1;

}  // namespace

TF_MFE::TF_MFE(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("F_MFE"));
  setWindowTitle(QStringLiteral("Multiple File Extracting"));
  Panel8 = Named(dialogs::Banner("Multiple File Extracting"), "Panel8");
  Label1 = Named(new QLabel(QStringLiteral("Default dir")), "Label1");
  ed_Defdir = Named(new QLineEdit(QStringLiteral("Please, enter your default directory here")), "ed_Defdir");
  bu_Add = FlatButton("bu_Add", "Add", "Add file(s)");
  bu_Delete = FlatButton("bu_Delete", "Remove", "Remove selected file(s)");
  gr_Files = Named(new TSortGrid, "gr_Files");
  gr_Files->setOptions(gr_Files->Options() | goEditing | goColSizing);
  gr_Files->setClickSorting(true);
  BitBtn1 = FlatButton("BitBtn1", "&Start extracting", "Begin to extract all files");
  bu_Close = FlatButton("bu_Close", "&Cancel", "Cancel operation");
  la_Archive = Named(new QLabel, "la_Archive");
  la_File = Named(new QLabel, "la_File");
  for (QLabel* l : {la_Archive, la_File}) l->setTextFormat(Qt::PlainText);
  ProgressBar1 = Named(new QProgressBar, "ProgressBar1");
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->hide();

  auto* main = new QVBoxLayout(this);
  main->setContentsMargins(4, 4, 4, 4);
  main->addWidget(Panel8);
  auto* top = new QHBoxLayout;
  top->addWidget(Label1);
  top->addWidget(ed_Defdir, 1);
  top->addWidget(bu_Add);
  top->addWidget(bu_Delete);
  main->addLayout(top);
  main->addWidget(gr_Files, 1);
  main->addWidget(la_Archive);
  main->addWidget(la_File);
  main->addWidget(ProgressBar1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(BitBtn1);
  buttons->addWidget(bu_Close);
  main->addLayout(buttons);
  resize(530, 400);

  ZipEngine1.Verbose = false;
  ZipEngine1.Trace = false;
  ZipEngine1.AddCompLevel = 9;
  ZipEngine1.AddOptions = {};
  ZipEngine1.ExtrOptions = {};
  ZipEngine1.SFXOptions = {};
  ZipEngine1.SFXCaption = "Self-extracting Archive";
  ZipEngine1.OnProgress = [this](TZipEngine&, ProgressType t, const std::string&, std::int64_t size) {
    ZipEngine1Progress(t, size);
  };
  ZipEngine1.OnMessage = [this](TZipEngine&, int code, const std::string& text) { ZipEngine1Message(code, text); };
  rar.OnExtracting = [this](TRAR&, const RARHeaderData& h) { rarExtracting(h); };
  rar.OnProcessData = [this](TRAR&, const unsigned char*, int, std::int64_t position) {
    return rarProcessData(position);
  };
  rar.OnError = [this](TRAR&, int code) { rarError(code); };
  rar.OnReqPassword = [this](TRAR&, const RARHeaderData&, std::string& password) { rarReqPassword(password); };
  rar.OnVolumeChange = [this](TRAR&, char* name, int mode) { return rarVolumeChange(name, mode); };

  connect(bu_Add, &QPushButton::clicked, this, &TF_MFE::bu_AddClick);
  connect(bu_Delete, &QPushButton::clicked, this, &TF_MFE::bu_DeleteClick);
  connect(BitBtn1, &QPushButton::clicked, this, &TF_MFE::BitBtn1Click);
  connect(bu_Close, &QPushButton::clicked, this, &TF_MFE::bu_CloseClick);
  dialogs::EscapeClicks(*this, *bu_Close);
  FormActivate();
}

TF_MFE::~TF_MFE() = default;

void TF_MFE::FormActivate() {
  // Only once: a later activation (after a message box, say) must not cut the
  // list back to its first row.
  if (laidOut_) return;
  laidOut_ = true;
  gr_Files->setColCount(2);
  gr_Files->setFixedCols(0);
  gr_Files->setRowCount(2);
  gr_Files->setFixedRows(1);
  gr_Files->setCells(kNameCol, 0, QStringLiteral("Filename"));
  gr_Files->setCells(kFolderCol, 0, QStringLiteral("Path"));
  gr_Files->setColWidths(kNameCol, 150);
  gr_Files->setColWidths(kFolderCol, 340);
}

// ---- the work list ----------------------------------------------------------------------------

void TF_MFE::bu_AddClick() {
  if (running_) return;
  platform::FileDialogOptions options;
  options.filter = "ZIP Files (*.ZIP)|*.ZIP|RAR Files (*-RAR)|*.RAR";
  options.multiSelect = true;
  options.mustExist = true;
  auto files = ui().openFiles(options);
  if (!files) return;
  for (const std::string& file : *files) AddArchiveRow(file);
}

void TF_MFE::AddArchiveRow(const std::string& path) {
  // The empty row the list starts with is taken by the first archive, unless the
  // user removed it: then the archive gets a row of its own below the titles.
  const bool reuse = firstRow_ && gr_Files->RowCount() > gr_Files->FixedRows();
  if (!reuse) gr_Files->setRowCount(gr_Files->RowCount() + 1);
  const int row = gr_Files->RowCount() - 1;
  gr_Files->setCells(kNameCol, row, qs(path));
  gr_Files->setCells(kFolderCol, row, ed_Defdir->text());
  firstRow_ = false;
}

void TF_MFE::bu_DeleteClick() {
  if (running_) return;
  const TGridRect s = gr_Files->Selection();
  const int top = std::max(s.Top, gr_Files->FixedRows());
  const int bottom = std::min(s.Bottom, gr_Files->RowCount() - 1);
  // From the bottom up, so the rows still to go keep their numbers.
  for (int row = bottom; row >= top; --row) gr_Files->DeleteRow(row);
}

void TF_MFE::bu_CloseClick() {
  if (!running_) {
    reject();
    return;
  }
  // The run stops at the engine's or the reader's next callback and then closes
  // the window; nothing may be torn down while the extraction still runs.
  cancelled_ = true;
  ZipEngine1.CancelRequested = true;
  rar.Stop = true;
}

void TF_MFE::closeEvent(QCloseEvent* event) {
  if (running_) {
    event->ignore();
    bu_CloseClick();
    return;
  }
  QDialog::closeEvent(event);
}

// ---- the run ----------------------------------------------------------------------------------

void TF_MFE::SetRunning(bool on) {
  running_ = on;
  for (QWidget* w : {static_cast<QWidget*>(bu_Add), static_cast<QWidget*>(bu_Delete), static_cast<QWidget*>(BitBtn1),
                     static_cast<QWidget*>(gr_Files), static_cast<QWidget*>(ed_Defdir)})
    w->setEnabled(!on);
  ProgressBar1->setVisible(on);
}

void TF_MFE::BitBtn1Click() {
  if (running_) return;
  gr_Files->setEditorMode(false);  // a cell being edited counts with its new text
  cancelled_ = false;
  SetRunning(true);
  int counter = 0;
  bool ended = false;
  {
    widgets::BusyCursor busy;
    for (int row = gr_Files->FixedRows(); row < gr_Files->RowCount() && !cancelled_; ++row) {
      if (!ExtractRow(row, counter)) {
        ended = true;
        break;
      }
    }
  }
  SetRunning(false);
  if (cancelled_) {
    reject();
    return;
  }
  if (!ended)
    ui().message(MsgKind::Information, {}, std::to_string(counter) + " files extracted successfully", platform::kOk);
}

bool TF_MFE::ExtractRow(int row, int& counter) {
  const std::string name = ss(gr_Files->Cells(kNameCol, row));
  const std::string folderText = ss(gr_Files->Cells(kFolderCol, row));
  if (!platform::fileExists(name)) {
    showError("File not found: " + name);
    return true;
  }
  // Full paths from here on: the engine enters the folder while it extracts, and
  // a relative name must mean the same folder for every row.
  const std::string archive = platform::absolutePath(name);
  const std::string folder = platform::absolutePath(folderText);
  if (!platform::directoryExists(folder)) {
    std::error_code ec;
    if (folder.empty() || !std::filesystem::create_directory(folder, ec)) {
      if (!ec) ec = std::make_error_code(std::errc::no_such_file_or_directory);
      showError("Cannot create directory " + folderText + ": " + ec.message());
      return false;
    }
  }
  const std::string ext = platform::lowerAscii(platform::extensionOf(archive));
  Outcome outcome;
  if (ext == ".rar" || ext == ".zip") {
    la_Archive->setText(qs(name));
    la_File->clear();
    outcome = ext == ".rar" ? ExtractRar(archive, folder) : ExtractZip(archive, folder);
  } else {
    showError("Not a valid ZIP & RAR file");
    return true;
  }
  if (outcome == Outcome::Extracted) ++counter;
  if (outcome == Outcome::Failed) showError("Error while extracting: " + name);
  return true;
}

TF_MFE::Outcome TF_MFE::ExtractZip(const std::string& archive, const std::string& folder) {
  zipProblems_ = 0;
  // Reads the directory; an archive that cannot be read is reported there and
  // leaves no name behind.
  ZipEngine1.setZipFilename(archive);
  if (cancelled_) return Outcome::Cancelled;
  if (ZipEngine1.ZipFilename().empty()) return Outcome::Failed;
  ZipEngine1.ExtrBaseDir = folder;
  ZipEngine1.ExtrOptions += ExtrDirNames;
  ZipEngine1.ExtrOptions += ExtrOverWrite;
  ZipEngine1.FSpecArgs.clear();
  ZipEngine1.Extract();
  if (cancelled_) return Outcome::Cancelled;
  // Every entry, folders included, counts once when it was written.
  if (zipProblems_ > 0 || ZipEngine1.SuccessCount() < ZipEngine1.EntryCount()) return Outcome::Failed;
  return Outcome::Extracted;
}

TF_MFE::Outcome TF_MFE::ExtractRar(const std::string& archive, const std::string& folder) {
  rar.ArchiveName = archive;
  rar.TargetDir = folder;
  rar.FilesToExtract.clear();
  rar.ExtractWithPaths = true;
  rar.Overwrite = true;
  rar.Stop = false;
  const bool ok = rar.Extract();
  if (cancelled_ || rar.Stopped()) return Outcome::Cancelled;
  return ok ? Outcome::Extracted : Outcome::Failed;
}

// ---- progress and messages --------------------------------------------------------------------

void TF_MFE::StepBar() { ProgressBar1->setValue(std::min(ProgressBar1->value() + 1, ProgressBar1->maximum())); }

void TF_MFE::ZipEngine1Progress(ProgressType ProgrType, std::int64_t FileSize) {
  // The bar counts 32 KiB steps of the current file.
  switch (ProgrType) {
    case ptFileBegin: {
      ProgressBar1->setRange(1, 10);
      ProgressBar1->setValue(1);
      const std::int64_t blocks = FileSize / 32768;
      ProgressBar1->setMaximum(blocks >= 2 ? static_cast<int>(std::min<std::int64_t>(blocks, INT_MAX)) : 1);
      if (FileSize < 32768) StepBar();
      break;
    }
    case ptFileProgress:
      if (ProgressBar1->value() < ProgressBar1->maximum()) StepBar();
      break;
    case ptBatchEnd:
      ProgressBar1->setRange(1, 10);
      ProgressBar1->setValue(1);
      break;
    default: break;
  }
  platform::pumpEvents();
}

void TF_MFE::ZipEngine1Message(int ErrCode, const std::string& Message) {
  if (ErrCode <= 0 || ErrCode == ZIPLIB_NOTICE) return;
  // A stop the user asked for is no problem to report.
  if ((ErrCode & 0xff) == ZIPLIB_E_CANCELLED && cancelled_) return;
  ++zipProblems_;
  ui().message(MsgKind::Warning, {}, "Error message from DLL: " + Message, platform::kOk);
}

void TF_MFE::rarExtracting(const RARHeaderData& eFile) {
  la_File->setText(
      TSortGrid::VisibleText(qs(std::string(eFile.FileName, strnlen(eFile.FileName, sizeof eFile.FileName)))));
  // The bar counts bytes of the entry; sizes beyond its range are shifted.
  const std::uint64_t size = unpackedSize(eFile);
  rarBarShift_ = 0;
  while ((size >> rarBarShift_) > static_cast<std::uint64_t>(INT_MAX)) ++rarBarShift_;
  ProgressBar1->setRange(0, static_cast<int>(size >> rarBarShift_));
  ProgressBar1->setValue(0);
  platform::pumpEvents();
}

int TF_MFE::rarProcessData(std::int64_t Position) {
  const auto value = static_cast<int>(static_cast<std::uint64_t>(Position) >> rarBarShift_);
  ProgressBar1->setValue(std::min(value, ProgressBar1->maximum()));
  platform::pumpEvents();
  return 1;
}

void TF_MFE::rarError(int Error) {
  // The user's stop ends the entry without an error of its own; anything else is told.
  if (cancelled_) return;
  showError(TRAR::ErrorText(Error));
}

// The same hidden prompt as the main window and the ZIP engine; Cancel means none.
void TF_MFE::rarReqPassword(std::string& Password) { Password = TZipEngine::AskPassword().value_or(std::string()); }

int TF_MFE::rarVolumeChange(const char* ArcName, int Mode) {
  if (Mode == RAR_VOL_ASK)
    ui().message(MsgKind::Information, {}, std::string("Please Insert disk with ") + ArcName, platform::kOk);
  return 1;
}
