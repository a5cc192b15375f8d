// The "path;date;size" lines of the search results and of the favourites file
// "Favorites.lst": a file's full path, ";", a date (and time) as text, ";", its
// size in bytes as decimal text.
#pragma once

#include <string>

namespace dialogs {

struct TFileLine {
  std::string file, date, size;
};

// Splits a line into its three fields. The date and size are taken from the end,
// so a ";" in a file name stays in the name. A line with fewer fields gives the
// missing ones empty (a line without ";" is all file).
TFileLine SplitFileLine(const std::string& line);

// The line of the three fields.
std::string JoinFileLine(const std::string& file, const std::string& date, const std::string& size);

}  // namespace dialogs
