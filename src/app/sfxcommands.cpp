// The main window's self-extracting command: one command whose direction follows
// the open archive. A ZIP archive becomes a self-extracting program with the
// options of the make-SFX dialog; a program becomes a ZIP archive again.
#include <QLabel>

#include "app/mainunit.h"
#include "dialogs/makesfx.h"
#include "platform/paths.h"
#include "platform/ui.h"
#include "widgets/qt_ui.h"

using platform::MsgKind;
using platform::ui;

namespace {

void plain(const std::string& text) { ui().message(MsgKind::Plain, {}, text, platform::kOk); }

}  // namespace

void TMainform::MakeSelfExtractedfile1Click() {
  if (ZipEngine1.EntryCount() == 0) {
    plain("The Archive must contain atleast one file!");
    return;
  }
  const bool toProgram = platform::upperAscii(platform::extensionOf(ZipEngine1.ZipFilename())) != ".EXE";
  if (toProgram) {
    SfxConfirmed = false;
    {
      TMakeSFX MakeSFX(ZipEngine1, SfxConfirmed, this);
      widgets::runModal(MakeSFX, "TMakeSFX");
    }
    if (!SfxConfirmed) return;
  }
  Panel3->setText(toProgram ? QStringLiteral("Making a self-extracting program")
                            : QStringLiteral("Making a ZIP archive"));
  // Cancel stops the copy; the engine polls its flag while it pumps.
  const int result = toProgram ? ZipEngine1.ConvertSFX() : ZipEngine1.ConvertZIP();
  Panel3->clear();
  if (result != 0) {
    plain(toProgram ? "Error while creating .EXE file" : "Error while creating .ZIP file");
    return;
  }
  // The window now works on the new file: its name in the caption, the command's
  // caption for the way back.
  ShowOpenArchive(ZipEngine1.ZipFilename());
  plain("Successfully built: " + ZipEngine1.ZipFilename());
}
