// The main window's View/edit, Run and Install commands: each extracts entries of
// the open archive into a folder made for that one use, hands the copies to the
// image window, the text editor, an outside program, the entry itself or the
// install window, and removes the copies afterwards. An edited text goes back into
// the archive under its own stored name, replacing the entry.
#include <sys/stat.h>
#include <unistd.h>

#include <QLabel>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/commandsupport.h"
#include "app/mainunit.h"
#include "dialogs/install.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/routines.h"
#include "platform/ui.h"
#include "viewers/editform.h"
#include "viewers/showimg.h"
#include "widgets/privatefolder.h"
#include "widgets/qt_ui.h"
#include "widgets/sortgrid.h"

using app::BusyCursor;
using app::error;
using app::kEngineFailed;
using app::kNoArchive;
using app::warn;
using platform::MsgKind;
using platform::ui;
using widgets::qs;
using widgets::ss;

namespace {

const char* const kNoFile = "Error :No file selected";

// The extension of a name after its last dot, in lower case ("" when none).
std::string lowerExtension(const std::string& name) {
  const std::string file = platform::fileNameOf(name);
  const auto dot = file.rfind('.');
  return dot == std::string::npos ? std::string() : platform::lowerAscii(file.substr(dot + 1));
}

// The parts of a ";"-separated list, blanks around them dropped, empty parts left out.
std::vector<std::string> listParts(const std::string& list) {
  std::vector<std::string> parts;
  for (const QString& part : qs(list).split(QLatin1Char(';'), Qt::SkipEmptyParts))
    if (!part.trimmed().isEmpty()) parts.push_back(ss(part.trimmed()));
  return parts;
}

// A program the user named: an existing file, or a bare name found on PATH.
bool programExists(const std::string& program) {
  if (program.empty()) return false;
  if (program.find('/') != std::string::npos) return platform::fileExists(program);
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "";
  for (std::size_t start = 0; start <= dirs.size();) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string dir = dirs.substr(start, end - start);
    if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

// Makes the process's current folder `folder` for the scope's life: the compressor
// takes a relative name as the name to store.
class InFolder {
 public:
  explicit InFolder(const std::string& folder) {
    std::error_code ec;
    saved_ = std::filesystem::current_path(ec);
    ok_ = !ec;
    std::filesystem::current_path(folder, ec);
    ok_ = ok_ && !ec;
  }
  ~InFolder() {
    std::error_code ec;
    if (!saved_.empty()) std::filesystem::current_path(saved_, ec);
  }
  bool ok() const { return ok_; }

 private:
  std::filesystem::path saved_;
  bool ok_ = false;
};

}  // namespace

// ---- collecting ------------------------------------------------------------------------------

void TMainform::CollectImages() {
  ViewList.clear();
  BusyCursor busy;
  const std::string list = Settings.rb_BuiltGraphic ? std::string("GIF;JPG;BMP") : Settings.ed_Formats;
  const std::vector<std::string> names = SelectedNames();
  for (const std::string& ext : listParts(list))
    for (const std::string& name : names)
      if (lowerExtension(name) == platform::lowerAscii(ext)) ViewList.push_back(name);
}

void TMainform::CollectInstallers() {
  InstallList.clear();
  BusyCursor busy;
  for (const std::string& wanted : listParts(Settings.ed_Install))
    for (const std::string& stored : rowNames_) {
      const std::string file = platform::fileNameOf(stored);
      if (platform::lowerAscii(file) == platform::lowerAscii(wanted) &&
          std::find(InstallList.begin(), InstallList.end(), file) == InstallList.end())
        InstallList.push_back(file);
    }
  if (InstallList.empty()) ui().message(MsgKind::Information, {}, "Couldn't find any file to install!", platform::kOk);
}

// ---- shared steps ----------------------------------------------------------------------------

std::string TMainform::UseFolder(const std::string& parent) {
  std::string why;
  std::string folder = widgets::MakePrivateFolder(parent, "kelvory-", &why);
  if (folder.empty()) error(why);
  return folder;
}

std::string TMainform::ViewTempFolder() {
  if (Settings.ed_Temp.empty()) {
    Settings.ed_Temp = platform::ProgramPath(1);
    warn("You havn't set TEMP Directory, using: " + Settings.ed_Temp);
  }
  return Settings.ed_Temp;
}

void TMainform::ExtractForUse(const std::vector<std::string>& names, const std::string& folder, bool withFolders) {
  ZipEngine1.FSpecArgs = names;
  ZipEngine1.FSpecArgsLiteral = true;  // stored names, not patterns
  ZipEngine1.ExtrBaseDir = folder;
  ZipEngine1.Verbose = true;
  ZipEngine1.Trace = false;
  ZipEngine1.ExtrOptions = {ExtrOverWrite};
  if (withFolders) ZipEngine1.ExtrOptions += ExtrDirNames;
  BusyCursor busy;
  try {
    ZipEngine1.Extract();
  } catch (...) { warn(kEngineFailed); }
  // The progress showed the entry's name in the totals line; it describes the
  // archive again.
  ShowTotals();
}

// ---- View/edit -------------------------------------------------------------------------------

void TMainform::Viewfile1Click() {
  if (RarRefused()) return;
  if (ZipEngine1.ZipFilename().empty()) {
    warn(kNoArchive);
    return;
  }
  CollectImages();
  if (!ViewList.empty())
    ViewImages();
  else
    EditText();
}

void TMainform::ViewImages() {
  const std::string folder = UseFolder(ViewTempFolder());
  if (folder.empty()) return;
  // Each entry keeps its folder below the one made for this view, so two pictures
  // of the same name in different folders stay apart.
  ExtractForUse(ViewList, folder, true);
  for (const std::string& name : ViewList) {
    const std::string full = folder + "/" + name;
    if (!platform::fileExists(full)) continue;  // the engine told why it is missing
    if (Settings.rb_BuiltGraphic) {
      viewers::ShowImageFile(full, full, this);
    } else if (!programExists(Settings.ed_Graphic)) {
      error("Can't find external graphic viewer!");
      break;
    } else {
      platform::runArgs({Settings.ed_Graphic, full}, true);
    }
  }
  widgets::RemoveFolderTree(folder);
}

void TMainform::EditText() {
  const std::vector<std::string> names = SelectedNames();
  if (names.empty() || names.front().empty()) {
    warn(kNoFile);
    return;
  }
  const std::string stored = names.front();
  WorkName = platform::fileNameOf(stored);
  const std::string folder = UseFolder(ViewTempFolder());
  if (folder.empty()) return;
  ExtractForUse({stored}, folder, true);
  const std::string copy = folder + "/" + stored;
  if (!platform::fileExists(copy)) {
    widgets::RemoveFolderTree(folder);  // the engine told why nothing came out
    return;
  }
  EditState = 0;
  if (Settings.rb_BuiltIn) {
    TF_Editform form(this);
    if (form.LoadFile(copy)) {
      form.setWindowTitle(qs("- " + WorkName));
      EditState = 1;
      form.EditState = &EditState;
      form.SavePath = copy;
      form.setModified(false);
      form.OpenDialogFileName = WorkName;
      form.SaveDialogFileName = WorkName;
      widgets::runModal(form, "TF_Editform");
      form.FormClose();  // when the window was not closed by the user
    }
  } else if (!programExists(Settings.ed_Editor)) {
    error("Can't find external editor!");
  } else {
    platform::runArgs({Settings.ed_Editor, copy}, true);
    EditState =
        ui().message(MsgKind::Confirmation, {}, "Update zip archive?", platform::kYesNo) == platform::kBtnYes ? 2 : 0;
  }
  const bool keep = EditState == 2 && !WriteBack(folder, stored);
  EditState = 0;
  if (!keep) widgets::RemoveFolderTree(folder);
}

bool TMainform::WriteBack(const std::string& folder, const std::string& stored) {
  const std::string copy = folder + "/" + stored;
  // An encrypted entry goes back encrypted with the password that opened it, never
  // in the clear.
  bool encrypted = false;
  for (const auto& e : ZipEngine1.Entries())
    if (e->FileName == stored) encrypted = e->Encrypted();
  if (encrypted && ZipEngine1.Password.empty()) {
    error(
        "The entry is encrypted and no password is known, so the archive was not changed. The edited text is "
        "kept in " +
        copy);
    return false;
  }
  const std::string archive = platform::absolutePath(ZipEngine1.ZipFilename());
  Panel3->setText(QStringLiteral("Adding file(s)"));
  ShowProgress(true);
  {
    BusyCursor busy;
    InFolder inside(folder);
    if (inside.ok()) {
      if (archive != ZipEngine1.ZipFilename()) ZipEngine1.setZipFilename(archive);
      ZipEngine1.Verbose = true;
      ZipEngine1.Trace = false;
      ZipEngine1.AddCompLevel = 9;
      // Stored under the entry's own name, folders included, so it replaces the
      // entry; the copy goes once the archive is safely written.
      ZipEngine1.AddOptions = {AddMove, AddDirNames};
      if (encrypted) ZipEngine1.AddOptions += AddEncrypt;
      ZipEngine1.FSpecArgs = {stored};
      ZipEngine1.FSpecArgsLiteral = true;
      try {
        ZipEngine1.Add();
      } catch (...) { warn(kEngineFailed); }
    }
  }
  EndOperation("Cancelled: the archive is unchanged");
  const bool written = ZipEngine1.SuccessCount() > 0 && !platform::fileExists(copy);
  if (written) {
    ArchiveChanged = true;
    ZipEngine1.setZipFilename(ZipEngine1.ZipFilename());
    return true;
  }
  error("The archive was not changed. The edited text is kept in " + copy);
  return false;
}

// ---- Run -------------------------------------------------------------------------------------

void TMainform::Executefile1Click() {
  if (RarRefused()) return;
  warn(
      "Please note! If you try to run a setup/installation programit may not work becouse the setup/installation "
      "program need otherfiles also, Please use Install function instead!");
  const std::vector<std::string> names =
      ZipEngine1.ZipFilename().empty() ? std::vector<std::string>() : SelectedNames();
  if (names.empty() || names.front().empty()) {
    warn(kNoFile);
    return;
  }
  WorkName = platform::fileNameOf(names.front());
  const std::string folder = UseFolder(platform::ProgramPath(1) + "TMP");
  if (folder.empty()) return;
  ExtractForUse({names.front()}, folder, false);
  const std::string program = folder + "/" + WorkName;
  if (platform::fileExists(program)) {
    platform::makeExecutable(program);
    platform::ProcessResult r = platform::runArgs({program}, true, folder);
    if (!r.started) {
      // The folder made for the run means nothing to the user; the entry's name does.
      std::string why = r.error;
      platform::ReplaceText(program, why, WorkName, true);
      warn(why);
    }
    std::remove(program.c_str());
  }
  widgets::RemoveFolderTree(folder);
}

// ---- Install ---------------------------------------------------------------------------------

void TMainform::Install1Click() {
  if (RarMode) return;
  if (ZipEngine1.ZipFilename().empty()) {
    warn(kNoArchive);
    return;
  }
  CollectInstallers();
  if (InstallList.size() == 1) {
    ChosenInstaller = InstallList.front();
    ShowInstallWindow();
  } else if (InstallList.size() > 1) {
    ChosenInstaller.clear();
    TF_FileToInstall choice(Settings, ChosenInstaller, this);
    choice.SetCandidates(InstallList);
    widgets::runModal(choice, "TF_FileToInstall");
    if (!ChosenInstaller.empty()) ShowInstallWindow();
  }
  InstallList.clear();
}

void TMainform::ShowInstallWindow() {
  TF_Install install(ZipEngine1, Settings, ChosenInstaller, this);
  install.OnMessage = [this](int code, const std::string& text) { ZipEngine1Message(code, text); };
  install.FormActivate();
  widgets::runModal(install, "TF_Install");
}
