// File > Multiple file extracting: opens the window that extracts many ZIP and
// RAR archives in one run. The window brings its own engine and RAR reader, so the
// archive open here is neither used nor changed.
#include "app/mainunit.h"
#include "dialogs/mfe.h"
#include "widgets/qt_ui.h"

void TMainform::MultipleFileExtracting1Click() {
  TF_MFE form(this);
  widgets::runModal(form, "TF_MFE");
}
