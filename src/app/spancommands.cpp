// The main window's spanning commands: "Open spanned archive..." joins a set
// (chosen by any of its volumes) into one archive in a folder the user picks and
// opens it; "Spann archive..." writes the open archive as a set of volume files or
// labelled disks in a folder the user picks. Both that command and a spanning
// Add take the volume sizes from the settings' spanning page.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "app/mainunit.h"
#include "platform/drives.h"
#include "platform/paths.h"
#include "platform/ui.h"
#include "widgets/qt_ui.h"
#include "zipengine/spannames.h"

using platform::MsgKind;
using platform::ui;

namespace {

bool isDiskDrive(platform::DriveType t) {
  return t != platform::DriveType::Fixed && t != platform::DriveType::Remote && t != platform::DriveType::RamDisk &&
         t != platform::DriveType::Unknown;
}

// Where the open-spanned dialog starts: the first removable mount, else the home
// folder.
std::string FirstRemovableRoot() {
  platform::Drives& d = platform::drives();
  for (const std::string& root : d.roots())
    if (d.typeOf(root) == platform::DriveType::Removable) return root;
  return platform::homeFolder();
}

// A volume's name on a fixed drive must show which volume it is: three digits in
// front of the extension, a ".z01"-style extension, or the ".zip" that ends such a
// set.
bool NamesAVolume(const std::string& path) {
  for (const spanname::SetNames& s : spanname::NamingsOf(path)) {
    if (s.naming == spanname::Naming::Numbered) return true;
    if (s.volume(0, 1) == path || platform::lowerAscii(platform::extensionOf(path)) != ".zip") return true;
    if (platform::fileExists(s.volume(0, 1))) return true;
  }
  return false;
}

// A spanning size of the settings page: bytes, or KiB, MiB, GiB with k, m, g.
// Shows what is wrong and gives nullopt for any other text.
std::optional<std::int64_t> SpanSetting(const std::string& text, const char* caption) {
  if (std::optional<std::uint64_t> size = spanname::ParseVolumeSize(text))
    return static_cast<std::int64_t>(std::min<std::uint64_t>(*size, std::numeric_limits<std::int64_t>::max()));
  ui().message(MsgKind::Error, {},
               std::string("The spanning setting \"") + caption + "\" is not a size in bytes: \"" + text +
                   "\"\nPlease correct it on the Spanning page of the settings.",
               platform::kOk);
  return std::nullopt;
}

}  // namespace

bool TMainform::ApplySpanSettings() {
  const auto keep = SpanSetting(Settings.FreeDisk1Edit, "Keep free on first disk");
  const auto max = keep ? SpanSetting(Settings.MaxVolSizeEdit, "Max. volume size") : std::nullopt;
  const auto minFree = max ? SpanSetting(Settings.MinFreeVolEdit, "Min. free volume size") : std::nullopt;
  if (!minFree) return false;
  ZipEngine1.KeepFreeOnDisk1 = *keep;
  ZipEngine1.MaxVolumeSize = *max;
  // Volumes smaller than the least free space a disk must offer would all be
  // refused, and a fixed drive would ask for another disk for ever: the limit is
  // lowered to the smallest volume, the first (which keeps its bytes free).
  ZipEngine1.MinFreeVolumeSize = *max > 0 ? std::min(*minFree, *max - std::min(*keep, *max)) : *minFree;
  return true;
}

void TMainform::Openspannedarchive1Click() {
  platform::FileDialogOptions dlg;
  dlg.title = "Open spanned ZIP archive on last disk";
  dlg.filter = "ZIP Files (*.ZIP)|*.zip";
  dlg.mustExist = true;
  dlg.folder = FirstRemovableRoot();
  dlg.defaultExt = "zip";
  auto chosen = ui().openFile(dlg);
  if (!chosen) return;
  platform::Drives& d = platform::drives();
  const bool diskDrive = isDiskDrive(d.typeOf(d.rootOf(*chosen)));
  if (!diskDrive && !NamesAVolume(*chosen)) {
    ui().message(MsgKind::Plain, {}, "This is not a valid (last)part of a spanned archive", platform::kOk);
    return;
  }
  std::string folder;
  if (!BrowseFolder(folder)) return;
  std::string joined = folder + platform::fileNameOf(diskDrive ? *chosen : spanname::JoinedName(*chosen));
  ShowProgress(true);
  const int result = ZipEngine1.ReadSpan(*chosen, joined);
  EndOperation(nullptr);
  if (result != 0) return;
  // The joined archive is opened, so the listing shows what the caption names.
  if (OpenArchive(joined)) setWindowTitle(TitleBase + QStringLiteral("- ") + widgets::qs(platform::fileNameOf(joined)));
}

void TMainform::Splitarchive1Click() {
  if (ZipEngine1.ZipFilename().empty()) return;
  std::string folder;
  if (!BrowseFolder(folder)) return;
  if (!ApplySpanSettings()) return;
  const std::string source = ZipEngine1.ZipFilename();
  const std::string target = folder + platform::fileNameOf(source);
  platform::Drives& d = platform::drives();
  const bool diskDrive = isDiskDrive(d.typeOf(d.rootOf(target)));
  ZipEngine1.AddOptions = {(diskDrive && Settings.FormatCB) ? AddDiskSpanErase : AddDiskSpan};
  ShowProgress(true);
  if (ZipEngine1.LastDisk() == 0) {
    ZipEngine1.WriteSpan(source, target);
  } else {
    // The open archive is itself a set: joined first, then cut anew.
    std::string joined = ZipEngine1.TempDir.empty() ? platform::tempFolder() : ZipEngine1.TempDir;
    if (ZipEngine1.ReadSpan(source, joined) == 0) ZipEngine1.WriteSpan(joined, target);
    ::unlink(joined.c_str());
  }
  EndOperation(nullptr);
}
