// The commands that change or check the contents of the open archive (add,
// extract, delete, test), the engine events that show their progress, Cancel, and
// files dropped on the program.
#include <QAction>
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>
#include <algorithm>
#include <cctype>

#include "app/commandsupport.h"
#include "app/mainunit.h"
#include "dialogs/addform.h"
#include "dialogs/dialog_globals.h"
#include "dialogs/extract.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/pump.h"
#include "platform/routines.h"
#include "platform/ui.h"
#include "widgets/qt_ui.h"
#include "widgets/sortgrid.h"
#include "zipengine/ziplib_abi.h"

using app::BusyCursor;
using app::inform;
using app::kEngineFailed;
using app::kNoArchive;
using app::warn;
using platform::MsgKind;
using platform::ui;
using widgets::qs;
using widgets::ss;

namespace {

// The name typed for a new archive, with ".ZIP" added unless it mentions "zip" in
// any case; an empty answer stays empty (no archive is made).
std::string typedArchiveName(std::string name) {
  if (!name.empty() && platform::lowerAscii(name).find("zip") == std::string::npos) name += ".ZIP";
  return name;
}

}  // namespace

// ---- progress, messages, cancel ------------------------------------------------------------

void TMainform::ShowProgress(bool on) {
  ProgressBar1->setVisible(on);
  CancelBut->setVisible(on);
  if (on) {
    UserCancelled = false;
    Counts = {};
  }
}

void TMainform::EndOperation(const char* cancelledText) {
  ShowProgress(false);
  // Panel4 showed the file being worked on; it describes the archive again.
  if (OpenArchiveName().empty())
    Panel4->clear();
  else
    ShowTotals();
  if (UserCancelled)
    Panel3->setText(QString::fromUtf8(cancelledText));
  else
    Panel3->clear();
}

void TMainform::ZipEngine1Progress(ProgressType ProgrType, const std::string& Filename, std::int64_t FileSize) {
  // The bar counts 32 KiB steps of the current file.
  switch (ProgrType) {
    case ptFileBegin: {
      Counts.currentIsFolder = !Filename.empty() && Filename.back() == '/';
      if (Counts.currentIsFolder) ++Counts.folders;
      Panel4->setText(TSortGrid::VisibleText(qs(platform::fileNameOf(Filename))));
      ProgressSteps = 0;
      ProgressBar1->setRange(1, 10);
      ProgressBar1->setValue(1);
      std::int64_t blocks = FileSize / 32768;
      ProgressBar1->setMaximum(blocks >= 2 ? static_cast<int>(std::min<std::int64_t>(blocks, INT32_MAX)) : 1);
      if (FileSize < 32768) StepProgress();
      break;
    }
    case ptFileProgress:
      if (ProgressBar1->value() < ProgressBar1->maximum()) StepProgress();
      break;
    case ptBatchEnd:
      ProgressBar1->setRange(1, 10);
      ProgressBar1->setValue(1);
      break;
    case ptCollecting: Panel4->setText(QStringLiteral("Looking for files: %1 found").arg(FileSize)); break;
    default: break;
  }
  platform::pumpEvents();
}

void TMainform::StepProgress() {
  ProgressBar1->setValue(std::min(ProgressBar1->value() + 1, ProgressBar1->maximum()));
  ++ProgressSteps;
}

void TMainform::ZipEngine1Message(int ErrCode, const std::string& Message) {
  if (ErrCode == ZIPLIB_NOTICE) return inform(Message);  // nothing went wrong
  if (ErrCode > 0 && Counts.currentIsFolder) {
    ++Counts.failedFolders;  // the folder entry begun last was not made
    Counts.currentIsFolder = false;
  }
  if (ErrCode > 0) warn("Error message from DLL: " + Message);
}

namespace {

// "n file(s)": a success count of the libraries less the folder entries in it, so
// the number agrees with the files the listing shows.
std::string fileCount(int succeeded, int folders) { return std::to_string(std::max(0, succeeded - folders)); }

}  // namespace

void TMainform::CancelButClick() {
  if (CancelBut->property("Tag").toInt() != 0) {
    CancelBut->setProperty("Tag", 0);  // a self-extracting rebuild is copying
  } else if (RarMode) {
    // Only while the reader works: a flag left set would stop the next operation.
    if (!CancelBut->isHidden()) {
      rar.Stop = true;
      UserCancelled = true;
    }
  } else if (ZipEngine1.ZipBusy() || ZipEngine1.UnzipBusy()) {
    // The engine clears its flag when the operation ends; the command still needs
    // to know that the user stopped it.
    ZipEngine1.CancelRequested = true;
    UserCancelled = true;
  }
}

// ---- add -----------------------------------------------------------------------------------

std::unique_ptr<TAddForm> TMainform::CreateAddForm() {
  auto form = std::make_unique<TAddForm>(Settings, this);
  form->OnClosed = [this] { Tag = 0; };
  form->OnDropFiles = [this, f = form.get()](const QStringList& files) { DropFiles(f, files); };
  ActiveAddForm = form.get();
  return form;
}

void TMainform::BU_AddClick() { RunAddCommand(nullptr); }

void TMainform::RunAddCommand(std::unique_ptr<TAddForm> form) {
  if (RarRefused()) return;
  Tag = 1;
  if (ZipEngine1.ZipFilename().empty()) {
    warn(kNoArchive);
    return;
  }
  if (!form) form = CreateAddForm();
  form->CheckBox1->setEnabled(ZipEngine1.Tag == 1 || ZipEngine1.Tag == 2);
  dialogs::DialogCancelled = false;
  if (auto start = Settings.LastFolder('A')) form->SetFolder(*start);
  widgets::runModal(*form, "TAddForm");
  Tag = 0;
  if (dialogs::DialogCancelled) return;
  std::vector<std::string> names = form->SelectedNames();
  if (names.empty()) {
    warn("No files selected!");
    return;
  }
  if (form->CheckBox1->isChecked() && !ApplySpanSettings()) return;
  ShowWriteError(Settings.LastFolder('A', form->CurrentFolder()));
  Panel3->setText(QStringLiteral("Adding file(s)"));
  ArchiveChanged = true;
  ShowProgress(true);
  {
    BusyCursor busy;
    ZipEngine1.Verbose = true;
    ZipEngine1.Trace = false;
    ZipEngine1.AddOptions = {};
    ZipEngine1.AddCompLevel = Settings.tb_complevel;
    if (Settings.DirNameCB) ZipEngine1.AddOptions += AddDirNames;
    if (Settings.RecurseCB) ZipEngine1.AddOptions += AddRecurseDirs;
    if (Settings.CB_Timestamp) ZipEngine1.AddOptions += AddZipTime;
    if (Settings.CB_ForceDos) ZipEngine1.AddOptions += AddForceDOS;
    if (form->CB_Move->isChecked()) ZipEngine1.AddOptions += AddMove;
    if (form->Ch_Update->isChecked()) ZipEngine1.AddOptions += AddUpdate;
    if (form->CheckBox1->isChecked()) ZipEngine1.AddOptions += Settings.FormatCB ? AddDiskSpanErase : AddDiskSpan;
    ZipEngine1.FSpecArgs = names;
    ZipEngine1.FSpecArgsLiteral = true;  // files, not patterns
    form->SelectedList->clear();
    try {
      ZipEngine1.Add();
    } catch (...) {
      RestoreToolPictures();
      Panel3->clear();
      warn(kEngineFailed);
    }
  }
  EndOperation("Cancelled: the archive is unchanged");
}

// ---- extract ---------------------------------------------------------------------------------

void TMainform::BU_ExtractClick() {
  if (RarMode) return RarExtractClick();
  if (ZipEngine1.ZipFilename().empty()) {
    warn(kNoArchive);
    return;
  }
  TExtract dialog(this);
  TGridRect s = StringGrid1->Selection();
  dialog.setFilesToExtract(s.Bottom - s.Top >= 2 ? 1 : 0);
  if (auto start = Settings.LastFolder('E')) dialog.SetFolder(*start);
  widgets::runModal(dialog, "TExtract");
  if (dialogs::ExtractDir.empty() || dialogs::DialogCancelled) return;
  if (StringGrid1->RowCount() - 1 < 1) {
    warn("Error :No file(s) to extract");
    return;
  }
  ShowWriteError(Settings.LastFolder('E', dialog.Folder()));
  ZipEngine1.FSpecArgs.clear();
  if (!dialogs::ExtractAll) {
    ZipEngine1.FSpecArgs = SelectedNames();
    ZipEngine1.FSpecArgsLiteral = true;  // names from the listing, not patterns
    if (ZipEngine1.FSpecArgs.empty()) {
      warn("Error :No file(s) selected");
      return;
    }
  }
  Panel3->setText(QStringLiteral("Extracting files"));
  ShowProgress(true);
  {
    BusyCursor busy;
    ZipEngine1.ExtrBaseDir = dialogs::ExtractDir;
    ZipEngine1.Verbose = true;
    ZipEngine1.Trace = false;
    ZipEngine1.ExtrOptions = {};
    if (dialogs::ExtractWithPaths) ZipEngine1.ExtrOptions += ExtrDirNames;
    if (dialogs::ExtractOverwrite) ZipEngine1.ExtrOptions += ExtrOverWrite;
    try {
      ZipEngine1.Extract();
    } catch (...) {
      RestoreToolPictures();
      Panel3->clear();
      warn(kEngineFailed);
    }
  }
  ShowProgress(false);
  if (Settings.cb_AfterExtracted && !ZipEngine1.CancelRequested && !UserCancelled)
    inform(fileCount(ZipEngine1.SuccessCount(), Counts.FoldersDone()) + " file(s) were extracted");
  EndOperation("Cancelled: not every file was extracted");
}

// ---- delete ----------------------------------------------------------------------------------

void TMainform::BU_DeleteFileClick() {
  if (RarRefused()) return;
  int nameCol = ColumnOf(QStringLiteral("Filename"));
  if (nameCol < 0) nameCol = 0;
  if (StringGrid1->RowCount() < 2 || StringGrid1->Cells(nameCol, 1).isEmpty()) {
    warn("Error :No file(s) to delete");
    return;
  }
  if (ui().message(MsgKind::Confirmation, {}, "Delete selected files from: " + ZipEngine1.ZipFilename() + "?",
                   platform::kYesNo) != platform::kBtnYes)
    return;
  ZipEngine1.FSpecArgs = SelectedNames();
  ZipEngine1.FSpecArgsLiteral = true;  // names from the listing, not patterns
  if (ZipEngine1.FSpecArgs.empty()) {
    warn("Error :No file(s) selected");
    return;
  }
  ShowProgress(true);
  Panel3->setText(QStringLiteral("Deleting file(s)"));
  ArchiveChanged = true;
  ZipEngine1.Verbose = true;
  ZipEngine1.Trace = false;
  {
    BusyCursor busy;
    try {
      ZipEngine1.Delete();
    } catch (...) {
      RestoreToolPictures();
      Panel3->clear();
      warn("Fatal error trying to delete");
    }
  }
  ShowProgress(false);
  if (Settings.cb_AfterDeleted && !ZipEngine1.CancelRequested && !UserCancelled)
    inform(fileCount(ZipEngine1.SuccessCount(), Counts.FoldersDone()) + " file(s) were Deleted");
  EndOperation("Cancelled: the archive is unchanged");
}

// ---- test ------------------------------------------------------------------------------------

void TMainform::Test1Click() {
  if (RarMode) return RarTestClick();
  if (ZipEngine1.EntryCount() < 1) {
    ui().message(MsgKind::Plain, {}, "Error - nothing to Test", platform::kOk);
    return;
  }
  if (ZipEngine1.ZipFilename().empty()) return;
  ZipEngine1.Verbose = false;
  ZipEngine1.Trace = false;
  Panel3->setText(QStringLiteral("Testing archive"));
  ShowProgress(true);
  std::uint64_t start = 0, end = 0;
  {
    BusyCursor busy;
    ZipEngine1.FSpecArgs = {"*.*"};
    ZipEngine1.ExtrOptions += ExtrTest;
    start = platform::tickCount();
    try {
      ZipEngine1.Extract();
    } catch (...) { warn(kEngineFailed); }
    end = platform::tickCount();
    // The test option belongs to this command only; Extract sets its options anew
    // anyway, but the engine should not keep testing for other owners.
    ZipEngine1.ExtrOptions -= ExtrTest;
  }
  EndOperation("Cancelled: not every file was tested");
  if (!UserCancelled) Panel3->setText(qs("Time elapsed: " + platform::FormatElapsed(start, end)));
  const int count = ZipEngine1.EntryCount(), good = ZipEngine1.SuccessCount();
  // Folder entries are tested too, but the listing shows files only: both are named.
  const std::int64_t folders = count - ListedFiles;
  if (good != count)
    ui().message(MsgKind::Error, {}, "ERROR: " + std::to_string(count - good) + " files tested BAD, or skipped!",
                 platform::kOk);
  else if (folders > 0 && ListedFiles <= count)
    inform("All " + std::to_string(ListedFiles) + " files and " + std::to_string(folders) + " folders tested OK");
  else
    inform("All " + std::to_string(count) + " files tested OK");
}

// ---- files dropped on the program ------------------------------------------------------------

void TMainform::dragEnterEvent(QDragEnterEvent* e) {
  if (acceptDrops() && e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void TMainform::dropEvent(QDropEvent* e) {
  QStringList files;
  for (const QUrl& u : e->mimeData()->urls())
    if (u.isLocalFile()) files << u.toLocalFile();
  if (files.isEmpty()) return;
  e->acceptProposedAction();
  DropFilesOnWindow(files);
}

void TMainform::DropFilesOnWindow(const QStringList& files) {
  if (ActiveAddForm) {
    DropFiles(ActiveAddForm, files);
    return;
  }
  // No Add dialog is open: the drop is handled as by a dialog nobody shows, so the
  // files are added at once.
  std::unique_ptr<TAddForm> form = CreateAddForm();
  Tag = 0;
  DropFiles(form.get(), files);
}

void TMainform::DropFiles(TAddForm* form, const QStringList& files) {
  if (files.isEmpty() || !form) return;
  QPointer<TAddForm> guard(form);
  if (platform::firstDotExtension(ss(files.front())) == "zip") {
    auto answer =
        ui().message(MsgKind::Confirmation, {},
                     "What do you like to do: Open Zipfile(Yes), Add Zipfile(No), Abort(Abort)", platform::kYesNoAbort);
    if (answer == platform::kBtnAbort || answer == platform::kBtnCancel) return;
    if (answer == platform::kBtnYes) {
      // A file that does not open leaves the open archive and its lines alone.
      if (OpenArchive(ss(files.front()))) Panel4->setText(files.front());
      return;
    }
  }
  // Files cannot be added to an open RAR archive.
  if (RarRefused()) return;
  if (ZipEngine1.ZipFilename().empty()) {
    std::string name;
    if (Settings.cb_AskzipName) {
      auto typed = ui().input("Zipfile", "Name:", "");
      if (!typed) return;
      name = typedArchiveName(*typed);
    } else {
      name = Settings.ed_Zipname;
    }
    name = ResolveTypedArchiveName(name);
    if (name.empty()) return;
    ZipEngine1.setZipFilename(name);
    ShowOpenArchive(name);
    Panel4->setText(qs(name));
  }
  if (!guard) return;
  form->AddDroppedNames(files);
  if (Tag != 0) return;  // the Add command's dialog shows them; OK adds them
  std::vector<std::string> names = form->SelectedNames();
  form->SelectedList->clear();
  AddFilesNow(names);
}

void TMainform::AddFilesNow(const std::vector<std::string>& names) {
  Panel4->setText(QStringLiteral("Adding file(s)"));
  ZipEngine1Message(0, "Beginning Add to " + ZipEngine1.ZipFilename());
  ArchiveChanged = true;
  ShowProgress(true);
  {
    BusyCursor busy;
    ZipEngine1.Verbose = true;
    ZipEngine1.Trace = false;
    ZipEngine1.AddOptions = {AddRecurseDirs, AddDirNames};
    ZipEngine1.AddCompLevel = Settings.tb_complevel;
    ZipEngine1.FSpecArgs = names;
    ZipEngine1.FSpecArgsLiteral = true;  // files, not patterns
    try {
      ZipEngine1.Add();
    } catch (...) { warn(kEngineFailed); }
  }
  // The archive has changed: the lines show its new totals, not what they said
  // before the drop.
  EndOperation("Cancelled: the archive is unchanged");
  if (Settings.cb_FilesAdded && !ZipEngine1.CancelRequested && !UserCancelled)
    inform(fileCount(ZipEngine1.SuccessCount(), Counts.FoldersDone()) + " files were added");
}

// ---- the command line ---------------------------------------------------------------------------

void TMainform::AddCommandLineFiles() {
  if (arguments_.isEmpty() || !ZipEngine1.ZipFilename().empty()) return;
  std::string name;
  if (Settings.cb_AskzipName) {
    auto typed = ui().input("Zipfile", "Name:", "");
    if (!typed) return;
    name = typedArchiveName(*typed);
  } else {
    name = Settings.ed_Zipname;
  }
  name = ResolveTypedArchiveName(name);
  ZipEngine1.setZipFilename(name);
  if (ZipEngine1.ZipFilename().empty()) {
    ShowOpenArchive({});  // the engine said why it cannot use that file
    return;
  }
  ShowOpenArchive(name);
  std::unique_ptr<TAddForm> form = CreateAddForm();
  QStringList all;
  for (const QString& a : arguments_) all << qs(platform::absolutePath(ss(a)));
  form->AddDroppedNames(all);
  RunAddCommand(std::move(form));
}
