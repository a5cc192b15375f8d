// The desktop trash (the freedesktop.org layout): deleted files can be restored.
//
// A file on the home file system goes to $XDG_DATA_HOME/Trash (default
// ~/.local/share/Trash); a file on another mount goes to that mount's
// .Trash-<uid> folder, so nothing is copied across file systems. Each trashed item
// gets an info record (original path and deletion time) written before the move.
#pragma once

#include <string>
#include <vector>

namespace platform {

struct TrashResult {
  bool ok = false;
  std::string error;        // why it failed
  std::string trashedPath;  // where the item now lies (in the trash's files/ folder)
};

// Moves a file or folder (a symlink itself, never its target) into the trash.
TrashResult moveToTrash(const std::string& path);

// Moves a trashed item back to where it came from (fails when that place is taken).
bool restoreFromTrash(const std::string& trashedPath, std::string* error = nullptr);

// The home trash folder (holding files/ and info/), no trailing separator.
std::string homeTrashFolder();

// True when path lies inside a trash (home trash or a mount's .Trash folders) below
// its top folder: the trash folder itself is not inside.
bool isInsideTrash(const std::string& path);

}  // namespace platform
