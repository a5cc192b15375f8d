// RAR archives in the main window. They are read-only: opening one lists it
// through the RAR reader `rar` into the same grid as a ZIP archive, Extract and
// Test go to the reader, and the commands that would change the archive or need
// the ZIP engine are refused. The reader's events drive the grid, the status
// lines, the progress bar and the questions to the user (next volume, password).
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <climits>
#include <cstring>

#include "app/commandsupport.h"
#include "app/mainunit.h"
#include "dialogs/dialog_globals.h"
#include "dialogs/extract.h"
#include "platform/datetime.h"
#include "platform/paths.h"
#include "platform/pump.h"
#include "platform/routines.h"
#include "platform/ui.h"
#include "widgets/qt_ui.h"
#include "widgets/sortgrid.h"

using app::BusyCursor;
using app::inform;
using app::warn;
using platform::MsgKind;
using platform::ui;
using widgets::qs;

namespace {

std::string storedName(const RARHeaderData& h) {
  return std::string(h.FileName, strnlen(h.FileName, sizeof h.FileName));
}

std::uint64_t unpackedSize(const RARHeaderData& h) {
  return (static_cast<std::uint64_t>(h.UnpSizeHigh) << 32) | h.UnpSize;
}

std::uint64_t packedSize(const RARHeaderData& h) {
  return (static_cast<std::uint64_t>(h.PackSizeHigh) << 32) | h.PackSize;
}

bool isFolder(const RARHeaderData& h) { return (h.Flags & RAR_FLAG_DIRECTORY) != 0; }

}  // namespace

std::string TMainform::OpenArchiveName() const { return RarMode ? rar.ArchiveName : ZipEngine1.ZipFilename(); }

void TMainform::ConnectRarEvents() {
  rar.OnListFile = [this](TRAR&, const RARHeaderData& h) { rarListFile(h); };
  rar.OnExtracting = [this](TRAR&, const RARHeaderData& h) { rarExtracting(h); };
  rar.OnExtract = [this](TRAR&, const RARHeaderData& h, bool ok) { rarExtracted(h, ok); };
  rar.OnProcessData = [this](TRAR&, const unsigned char*, int size, std::int64_t position) {
    return rarProcessData(size, position);
  };
  rar.OnTesting = [this](TRAR&, const RARHeaderData& h) { rarTesting(h); };
  rar.OnTested = [this](TRAR&, const RARHeaderData& h, bool ok) { rarTested(h, ok); };
  rar.OnVolumeChange = [this](TRAR&, char* name, int mode) { return rarVolumeChange(name, mode); };
  rar.OnReqPassword = [this](TRAR&, const RARHeaderData& h, std::string& password) { rarReqPassword(h, password); };
  rar.OnError = [this](TRAR&, int code) { rarError(code); };
}

// ---- opening and listing ---------------------------------------------------------------------

bool TMainform::OpenRarArchive(const std::string& path) {
  // What is open now, to go back to when nothing can be read from this archive.
  const std::string previousZip = ZipEngine1.ZipFilename();
  const std::string previousRar = RarMode ? rar.ArchiveName : std::string();
  // The ZIP engine lets go of its archive: while a RAR archive is shown nothing
  // may act on a ZIP file the window no longer names.
  if (!ZipEngine1.ZipFilename().empty()) ZipEngine1.setZipFilename("");
  ClearGrid();
  RarMode = true;
  ListedFiles = 0;
  ListedBytes = 0;
  ShowOpenArchive(path);
  SetRarRestrictions(true);
  rar.ArchiveName = path;
  rar.Stop = false;
  RarErrors = 0;
  {
    BusyCursor busy;
    rar.List();
  }
  if (RarErrors > 0 && ListedFiles == 0) {
    // The reader said why (not an archive, a damaged or locked header): a failed
    // open leaves the archive open before as it was.
    rar.ArchiveName.clear();
    RarMode = false;
    SetRarRestrictions(false);
    ClearGrid();
    ApplyColumnLayout();
    ShowOpenArchive({});
    if (!previousRar.empty() && previousRar != path)
      OpenRarArchive(previousRar);
    else if (!previousZip.empty())
      ListArchive(previousZip, false);
    return false;
  }
  if (StringGrid1->RowCount() < 2) {
    // No file listed: the title row and one empty row, as for an empty ZIP archive.
    StringGrid1->setRowCount(2);
    StringGrid1->setFixedRows(1);
  }
  ShowTotals();
  return true;
}

void TMainform::rarListFile(const RARHeaderData& h) {
  const std::string name = storedName(h);
  // Folders get no row, as in a ZIP listing: the rows and the total count files.
  if (name.empty() || isFolder(h)) return;
  StringGrid1->setFixedRows(0);
  const int row = StringGrid1->RowCount();
  StringGrid1->setRowCount(row + 1);
  StringGrid1->setFixedRows(1);
  const std::uint64_t size = unpackedSize(h), packed = packedSize(h);
  ++ListedFiles;
  ListedBytes += static_cast<std::int64_t>(size);
  rowNames_.push_back(name);
  rowTimes_.push_back(h.FileTime);
  const std::string format = Settings.co_DateFormat + " " + Settings.co_Timeformat;
  for (int col = 0; col < StringGrid1->ColCount(); ++col) {
    const QString title = StringGrid1->Cells(col, 0);
    QString text;
    if (title == QLatin1String("Filename")) {
      // The whole stored name: a RAR row keeps its folder part here.
      text = qs(name);
    } else if (title == QLatin1String("Size")) {
      text = QString::number(size);
    } else if (title == QLatin1String("Packed")) {
      text = QString::number(packed);
    } else if (title == QLatin1String("Modified")) {
      auto dt = platform::dosToDateTime(h.FileTime);
      text = dt ? qs(platform::formatDateTime(format, *dt)) : QStringLiteral("Unknown");
    } else if (title == QLatin1String("Ratio")) {
      text = size != 0 && packed != 0
                 ? QString::number(static_cast<std::uint64_t>(static_cast<long double>(packed) / size * 100)) +
                       QLatin1Char('%')
                 : QStringLiteral("0%");
    } else {
      continue;  // "Path" stays empty
    }
    StringGrid1->setCells(col, row, text);
  }
  StringGrid1->setObjects(0, row, reinterpret_cast<void*>(static_cast<std::intptr_t>(rowNames_.size())));
  ShowTotals();
}

// ---- extract and test --------------------------------------------------------------------------

void TMainform::RarExtractClick() {
  TExtract dialog(this);
  TGridRect s = StringGrid1->Selection();
  dialog.setFilesToExtract(s.Bottom - s.Top >= 2 ? 1 : 0);
  if (auto start = Settings.LastFolder('E')) dialog.SetFolder(*start);
  widgets::runModal(dialog, "TExtract");
  if (dialogs::ExtractDir.empty() || dialogs::DialogCancelled) return;
  if (ListedFiles < 1) {
    warn("Error :No file(s) to extract");
    return;
  }
  ShowWriteError(Settings.LastFolder('E', dialog.Folder()));
  // Emptied every time: All Files after a selective extraction means all files.
  rar.FilesToExtract.clear();
  if (!dialogs::ExtractAll) {
    for (const std::string& name : SelectedNames()) rar.FilesToExtract.insert(name);
    if (rar.FilesToExtract.empty()) {
      warn("Error :No file(s) selected");
      return;
    }
  }
  Panel3->setText(QStringLiteral("Extracting files"));
  ShowProgress(true);
  rar.TargetDir = dialogs::ExtractDir;
  rar.ExtractWithPaths = dialogs::ExtractWithPaths;
  rar.Overwrite = dialogs::ExtractOverwrite;
  rar.Stop = false;
  RarExtracted = 0;
  {
    BusyCursor busy;
    rar.Extract();
  }
  ShowProgress(false);
  if (Settings.cb_AfterExtracted && !UserCancelled && !rar.Stopped())
    inform(std::to_string(RarExtracted) + " file(s) were extracted");
  EndOperation("Cancelled: not every file was extracted");
}

void TMainform::RarTestClick() {
  Panel3->setText(QStringLiteral("Testing archive"));
  ShowProgress(true);
  rar.FilesToTest.clear();
  rar.Stop = false;
  bool ok = false;
  {
    BusyCursor busy;
    ok = rar.Test();
  }
  const bool cancelled = UserCancelled || rar.Stopped();
  EndOperation("Cancelled: not every file was tested");
  // A test the user stopped says nothing about the entries it did not reach.
  if (cancelled) return;
  inform(ok ? "Archive is OK" : "Archive is corrupted");
}

// ---- the reader's events ------------------------------------------------------------------------

void TMainform::StartRarBar(std::uint64_t size) {
  // The bar counts bytes of the current file; sizes past its range are shifted.
  rarBarShift_ = 0;
  while ((size >> rarBarShift_) > static_cast<std::uint64_t>(INT_MAX)) ++rarBarShift_;
  ProgressBar1->setRange(0, static_cast<int>(size >> rarBarShift_));
  ProgressBar1->setValue(0);
}

void TMainform::rarExtracting(const RARHeaderData& h) {
  Panel3->setText(QStringLiteral("Extracting file"));
  Panel4->setText(TSortGrid::VisibleText(qs(storedName(h))));
  StartRarBar(unpackedSize(h));
  platform::pumpEvents();
}

void TMainform::rarExtracted(const RARHeaderData& h, bool ok) {
  // The count names the files written, as the listing counts them.
  if (ok && !isFolder(h)) ++RarExtracted;
}

int TMainform::rarProcessData(int size, std::int64_t position) {
  (void)size;
  const int value = static_cast<int>(static_cast<std::uint64_t>(position) >> rarBarShift_);
  ProgressBar1->setValue(std::min(value, ProgressBar1->maximum()));
  platform::pumpEvents();
  return 1;
}

void TMainform::rarTesting(const RARHeaderData& h) {
  Panel3->setText(QStringLiteral("Testing file"));
  Panel4->setText(TSortGrid::VisibleText(qs(storedName(h))));
  StartRarBar(unpackedSize(h));
  platform::pumpEvents();
}

void TMainform::rarTested(const RARHeaderData& h, bool ok) {
  // An encrypted entry that fails is told by the reader's error that follows (a
  // missing or wrong password), not as damaged data; one the user stopped is not
  // damaged at all.
  if (!ok && !rar.Stop && !(h.Flags & RAR_FLAG_ENCRYPTED)) warn(storedName(h) + "Has CRC ERROR");
  platform::pumpEvents();
}

int TMainform::rarVolumeChange(char* name, int mode) {
  // The library looks for the volume once more after the answer, then gives up.
  if (mode == RAR_VOL_ASK) inform(std::string("Please Insert disk with ") + name);
  return 1;
}

void TMainform::rarReqPassword(const RARHeaderData&, std::string& password) {
  // The prompt of encrypted ZIP entries; Cancel gives no password.
  password = TZipEngine::AskPassword().value_or(std::string());
}

void TMainform::rarError(int code) {
  ++RarErrors;
  ui().message(MsgKind::Error, {}, TRAR::ErrorText(code), platform::kOk);
}
