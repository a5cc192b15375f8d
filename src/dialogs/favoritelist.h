// The favourite archives: the file "Favorites.lst" in the program folder, one
// favourite a line: the archive's full path, ";", its date and time as text, ";",
// its size in bytes.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace dialogs {

// Full path of "Favorites.lst".
std::string FavoritesFile();

// The favourites in file order; creates an empty file when there is none. A file
// that cannot be read gives an empty list.
std::vector<std::string> LoadFavoriteList();

// Writes the list, one line each (an empty list leaves an empty file). The file is
// replaced only when written completely; false and the reason otherwise.
bool SaveFavoriteList(const std::vector<std::string>& list, std::string* error = nullptr);

// The favourite line of an archive, from the file's date, time and size as the
// file system gives them; nullopt and the reason when the file cannot be read.
std::optional<std::string> FavoriteLine(const std::string& path, std::string* error = nullptr);

// True when a favourite line already names the archive at path: the same path,
// or another path to the same file (a link, a folder mounted twice, a name in
// other letter case on a file system that ignores case).
bool IsFavorite(const std::vector<std::string>& list, const std::string& path);

}  // namespace dialogs
