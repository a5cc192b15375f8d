#include "dialogs/dialog_globals.h"

namespace dialogs {

std::string ExtractDir;
bool ExtractWithPaths = true;
bool ExtractOverwrite = true;
bool ExtractAll = true;
bool DialogCancelled = false;
std::string LastArchive;

}  // namespace dialogs
