// Folders made for one use: a fresh folder only its owner can enter, for copies of
// archive entries that are viewed, run or installed, and its removal afterwards.
#pragma once

#include <string>

namespace widgets {

// Makes a new folder inside parent (created first when missing) with a unique
// name that starts with prefix, readable and enterable by the user alone. Returns
// its path without a trailing separator, or "" with error set when it cannot be
// made.
std::string MakePrivateFolder(const std::string& parent, const std::string& prefix, std::string* error = nullptr);

// Removes folder and everything in it. Links inside are removed as links, never
// followed; folders the user cannot write or enter are opened up first. False when
// something could not be removed.
bool RemoveFolderTree(const std::string& folder);

}  // namespace widgets
