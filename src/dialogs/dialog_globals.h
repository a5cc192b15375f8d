// Values the dialogs leave for the main window: where and how to extract, whether
// the dialog was cancelled, and the archive opened last.
#pragma once

#include <string>

namespace dialogs {

extern std::string ExtractDir;   // folder chosen in the Extract dialog; empty on Cancel
extern bool ExtractWithPaths;    // recreate the stored folder names
extern bool ExtractOverwrite;    // overwrite existing files
extern bool ExtractAll;          // every entry, not just the selected ones
extern bool DialogCancelled;     // the last dialog was cancelled (or is still showing)
extern std::string LastArchive;  // path of the archive opened last

}  // namespace dialogs
