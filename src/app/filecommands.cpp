// The File-menu commands that choose the archive the window works on or act on the
// archive file as a whole: new, open, close, save as, copy, delete, properties, and
// the rebuild of a changed self-extracting archive.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "app/commandsupport.h"
#include "app/mainunit.h"
#include "dialogs/dialog_globals.h"
#include "dialogs/info.h"
#include "platform/drives.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/pump.h"
#include "platform/routines.h"
#include "platform/trash.h"
#include "platform/uniquefd.h"
#include "platform/ui.h"
#include "widgets/fileoperation.h"
#include "widgets/qt_ui.h"
#include "widgets/sortgrid.h"
#include "zipcore/inputfile.h"
#include "zipcore/sfxblock.h"
#include "zipengine/prefixcopy.h"

namespace fs = std::filesystem;
using app::kNoArchive;
using app::warn;
using platform::MsgKind;
using platform::ui;

namespace {

std::uint64_t fileSize(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

// Deletes a file the user asked to be rid of: into the trash when possible, so it
// can still be brought back; removed for good otherwise.
bool discardFile(const std::string& path) {
  if (platform::moveToTrash(path).ok) return true;
  return ::unlink(path.c_str()) == 0;
}

}  // namespace

bool TMainform::OpenArchiveIsSfx() const { return platform::firstDotExtension(ZipEngine1.ZipFilename()) == "exe"; }

void TMainform::DeleteTmpFile() {
  std::string tmp = platform::ProgramPath(1) + "tmp.tmp";
  if (platform::fileExists(tmp)) ::unlink(tmp.c_str());
}

namespace {

// A new file beside target, made exclusively under an unpredictable name (so it
// can be neither a file someone placed there nor a link to one), mode 0600.
// Invalid when none can be made (errno says why).
platform::UniqueFd createTempBeside(const std::string& target, std::string& tempName) {
  std::string folder = platform::folderOf(target);
  if (folder.empty()) folder = ".";
  std::string base = platform::fileNameOf(target);
  if (base.size() > 200) base.resize(200);
  tempName = (folder == "/" ? "" : folder) + "/." + base + ".kvtmp-XXXXXX";
  platform::UniqueFd fd(::mkostemp(tempName.data(), O_CLOEXEC));
  if (!fd.valid()) tempName.clear();  // nothing of ours to remove
  return fd;
}

// The settings block in front of the open program's ZIP data, made anew from
// what it holds; empty when there is none to carry over to the new stub.
std::string settingsBlockOf(const TZipEngine& engine) {
  zipcore::InputFile file;
  zipcore::SfxSettings settings;
  if (!file.open(engine.ZipFilename()) ||
      zipcore::ReadSfxBlock(file, engine.ContentStart(), settings) != zipcore::SfxBlockRead::Ok)
    return {};
  return zipcore::EncodeSfxBlock(settings);
}

}  // namespace

void TMainform::RebuildSfx() {
  if (!ArchiveChanged) return;
  const std::string stub = platform::ProgramPath(1) + "kelvory.dat";
  if (!platform::fileExists(stub)) {
    warn("Couldn't read KELVORY 98 SelfExtract Information!\rPlease reinstall KELVORY 98!");
    return;
  }
  const std::string archive = ZipEngine1.ZipFilename();
  Panel3->setText(QStringLiteral("Updating Self Extracting Archive"));
  CancelBut->setProperty("Tag", 1);
  // The new program is written beside the old one and replaces it only when it is
  // complete, so a cancel or a failure leaves the archive as it was.
  std::string temp;
  platform::UniqueFd out = createTempBeside(archive, temp);
  zipfmt::PrefixCopyResult r;
  if (!out.valid()) {
    r.error = "Cannot create a temporary file beside " + archive + ": " + std::strerror(errno);
  } else {
    // The new stub keeps the old program's settings (caption, folder, command).
    r = zipfmt::CopyZipDataWithPrefix(
        ZipEngine1, stub, out.get(), temp,
        [this] {
          platform::pumpEvents();
          return CancelBut->property("Tag").toInt() != 1;
        },
        settingsBlockOf(ZipEngine1));
    struct stat st {};
    if (r.ok && ::stat(archive.c_str(), &st) == 0) ::fchmod(out.get(), st.st_mode & 0777);
    if (::close(out.release()) != 0 && r.ok) {
      r.ok = false;
      r.error = "Error while writing " + temp;
    }
  }
  bool replaced = false;
  if (r.ok) {
    platform::makeExecutable(temp);
    replaced = ::rename(temp.c_str(), archive.c_str()) == 0;
  }
  if (!temp.empty() && !replaced) ::unlink(temp.c_str());
  if (CancelBut->property("Tag").toInt() != 1) {
    ui().message(MsgKind::Information, {}, "Update EXE file aborted by user", platform::kOk);
  } else {
    CancelBut->setProperty("Tag", 0);
    if (!replaced) warn("Error: Saving file " + archive + (r.error.empty() ? "" : "\n" + r.error));
  }
  Panel3->clear();
}

void TMainform::BU_NewClick() {
  platform::FileDialogOptions dlg;
  dlg.title = "Create New ZIP File";
  dlg.filter = "ZIP Files (*.ZIP)|*.zip";
  auto chosen = ui().openFile(dlg);
  if (!chosen) return;
  RarMode = false;
  if (OpenArchiveIsSfx()) RebuildSfx();
  DeleteTmpFile();
  ArchiveChanged = false;
  std::string name = *chosen;
  if (platform::lowerAscii(name).find(".zip") == std::string::npos) name += ".zip";
  if (platform::fileExists(name)) {
    if (ui().message(MsgKind::Confirmation, {}, "Overwrite Existing File: " + name + "?", platform::kYesNo) !=
        platform::kBtnYes)
      return;
    discardFile(name);
  }
  platform::Drives& d = platform::drives();
  platform::DriveType type = d.typeOf(d.rootOf(platform::absolutePath(name)));
  if (type != platform::DriveType::Fixed && type != platform::DriveType::Remote && Settings.CheckBox1)
    ZipEngine1.Tag = Settings.FormatCB ? 1 : 2;
  else
    ZipEngine1.Tag = 0;
  ZipEngine1.setZipFilename(name);
  ShowOpenArchive(name);
  if (AfterNewArchive) AfterNewArchive();
}

void TMainform::BU_OpenClick() {
  MailAttachments.clear();
  platform::FileDialogOptions dlg;
  dlg.title = "Open archive";
  dlg.filter = "ZIP Files (*.ZIP)|*.ZIP|KELVORY 99 SFX Files (*.EXE)|*.EXE|RAR Files (*.RAR)|*.RAR";
  dlg.mustExist = true;
  if (auto start = Settings.LastFolder('S')) dlg.folder = *start;
  auto chosen = ui().openFile(dlg);
  if (!chosen) return;
  OpenArchive(*chosen);
}

bool TMainform::OpenArchive(const std::string& name) {
  // The archive being left gets its stub back before another one is chosen, a
  // RAR archive included: the ZIP engine lets go of its archive for that one.
  if (OpenArchiveIsSfx()) RebuildSfx();
  if (platform::lowerAscii(platform::extensionOf(name)) != ".rar") {
    ArchiveChanged = false;
    DeleteTmpFile();
  }
  return ListArchive(name);
}

bool TMainform::ListArchive(const std::string& name, bool remember) {
  if (!platform::fileExists(name)) {
    warn("Archive not found: " + name);
    return false;
  }
  if (platform::lowerAscii(platform::extensionOf(name)) != ".rar") {
    const std::string previous = ZipEngine1.ZipFilename();
    ZipEngine1.setZipFilename(name);
    if (ZipEngine1.ZipFilename().empty()) {
      // The engine refused the file and said why. The archive open before stays
      // open (listed anew: the listing was replaced while the file was read).
      if (!previous.empty()) {
        ZipEngine1.setZipFilename(previous);
      } else if (RarMode) {
        OpenRarArchive(rar.ArchiveName);
        return false;
      }
      // It may have been damaged meanwhile too; then nothing is open.
      if (ZipEngine1.ZipFilename().empty()) {
        ClearGrid();
        ApplyColumnLayout();
        ShowOpenArchive({});
      }
      return false;
    }
    SetRarRestrictions(false);
    RarMode = false;
    ShowOpenArchive(name);
  } else if (!OpenRarArchive(name)) {
    return false;
  }
  if (remember) {
    AddRecent(name);
    BuildRecentMenu();
  }
  return true;
}

void TMainform::Closearchive1Click() {
  std::string closing = OpenArchiveName();
  if (!closing.empty()) {
    AddRecent(closing);
    BuildRecentMenu();
  }
  ZipEngine1.setZipFilename("");
  rar.ArchiveName.clear();
  ClearGrid();
  ApplyColumnLayout();
  MailAttachments.clear();
  RarMode = false;
  SetRarRestrictions(false);
  ShowOpenArchive({});
}

void TMainform::Savearchiveas1Click() {
  const std::string archive = OpenArchiveName();
  if (archive.empty()) {
    warn(RarMode ? "Error :No file loaded" : "Error :No file selected");
    return;
  }
  if (!platform::fileExists(archive)) {
    warn("File not found: " + archive);
    return;
  }
  platform::FileDialogOptions dlg;
  dlg.filter = "ZIP Files (*.ZIP)|*.zip|KELVORY98 SFX Files (*.EXE)|*.EXE";
  dlg.fileName = archive;
  // The name is complete only once the extension is added below; the question
  // about an existing file is asked about that name.
  dlg.confirmOverwrite = false;
  auto chosen = ui().saveFile(dlg);
  if (!chosen) return;
  std::string target = platform::absolutePath(*chosen);
  if (platform::fileNameOf(target).find('.') == std::string::npos)
    target += RarMode ? ".RAR" : platform::lowerAscii(platform::extensionOf(archive)) == ".exe" ? ".EXE" : ".ZIP";
  if (target == platform::absolutePath(archive)) return;  // saved already
  if (platform::fileExists(target) &&
      ui().message(MsgKind::Confirmation, {}, "Overwrite Existing File: " + target + "?", platform::kYesNo) !=
          platform::kBtnYes)
    return;
  widgets::TFileOperation op(this);
  op.Operation = widgets::foCopy;
  op.Flags = widgets::fofNoConfirmation | widgets::fofNoConfirmMkDir;
  op.ProgressTitle = "Copying files";
  op.FilesFrom = archive;
  op.FilesTo = target;
  if (!op.Execute() || !platform::fileExists(target)) {
    warn("Error: Saving file " + archive);
    return;
  }
  // The window goes on with the copy it now names (a copy of a changed
  // self-extracting archive still needs its rebuild, so ArchiveChanged stays).
  if (RarMode)
    rar.ArchiveName = target;
  else
    ZipEngine1.setZipFilename(target);
  dialogs::LastArchive = target;
  SetSfxCaptions(target);
  SetCaption(target);
}

namespace {

// The folder a copy of archive goes to, from the "Copy to:" answer: a relative
// folder is taken beside the archive, never in whatever folder the program was
// started from; "~" is the home folder.
std::string copyDestination(const std::string& archive, const std::string& typed) {
  std::string folder = platform::toNativeSeparators(typed);
  if (folder == "~" || folder.rfind("~/", 0) == 0)
    folder = platform::homeFolder() + folder.substr(1);
  else if (folder.front() != '/')
    folder = platform::AddBackslash(platform::folderOf(platform::absolutePath(archive))) + folder;
  return platform::absolutePath(folder);
}

}  // namespace

void TMainform::Copyarchive1Click() {
  const std::string archive = OpenArchiveName();
  if (archive.empty() || !platform::fileExists(archive)) {
    warn(kNoArchive);
    return;
  }
  auto folder = ui().input("Copy archive", "Copy to:", "");
  if (!folder || folder->empty()) return;
  const std::string dest = copyDestination(archive, *folder);
  if (!platform::directoryExists(dest)) {
    if (ui().message(MsgKind::Warning, {}, "Can't find destination drive/directory, Create it?",
                     platform::kBtnYes | platform::kBtnAbort) != platform::kBtnYes)
      return;
    std::error_code ec;
    fs::create_directories(dest, ec);
    if (ec || !platform::directoryExists(dest)) {
      warn("Cannot create " + dest);
      return;
    }
  }
  const std::uint64_t size = fileSize(archive);
  platform::Drives& d = platform::drives();
  auto free = d.freeSpace(d.rootOf(dest));
  if (!free || *free < size) {
    warn("Not enough space on destination drive!");
    return;
  }
  FileOperation1->FilesFrom = archive;
  FileOperation1->FilesTo = platform::AddBackslash(dest) + platform::fileNameOf(archive);
  if (!FileOperation1->Execute()) return;  // the operation told the user what went wrong
  ui().message(MsgKind::Information, {}, "Copy successful", platform::kOk);
}

void TMainform::Delete2Click() {
  const std::string name = OpenArchiveName();
  if (!platform::fileExists(name)) {
    warn("Zipfile not found: " + name);
    return;
  }
  if (ui().message(MsgKind::Confirmation, {}, "Are you sure you want to delete: " + name + "?", platform::kYesNo) !=
      platform::kBtnYes)
    return;
  if (!discardFile(name)) {
    warn("Cannot delete " + name);
    return;
  }
  // Nothing is open any more: commands must not go on with a file that is gone.
  ZipEngine1.setZipFilename("");
  rar.ArchiveName.clear();
  RarMode = false;
  SetRarRestrictions(false);
  ClearGrid();
  ShowOpenArchive({});
}

std::string TMainform::ResolveTypedArchiveName(const std::string& typed) const {
  if (typed.empty() || typed.front() == '/') return typed;
  std::string folder = platform::folderOf(Settings.ed_Zipname);
  if (folder.empty() || folder.front() != '/') folder = platform::homeFolder();
  return platform::absolutePath(platform::AddBackslash(folder) + typed);
}

void TMainform::Archiveinformation1Click() {
  int nameCol = ColumnOf(QStringLiteral("Filename"));
  if (nameCol < 0) nameCol = 0;
  if (StringGrid1->RowCount() < 2 || StringGrid1->Cells(nameCol, 1).isEmpty()) {
    warn(kNoArchive);
    return;
  }
  std::int64_t unc = 0;
  int sizeCol = ColumnOf(QStringLiteral("Size"));
  if (sizeCol >= 0)
    for (int r = 1; r < StringGrid1->RowCount(); ++r) unc += StringGrid1->Cells(sizeCol, r).toLongLong();
  TF_Info info(OpenArchiveName(), unc, this);
  widgets::runModal(info, "TF_Info");
}
