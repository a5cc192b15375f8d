// The mail address book "EMHIST.TXT" in the program folder: one entry per line, each
// "<" + name + ">" + address, newest first, at most 100 entries.
#pragma once

#include <string>
#include <vector>

namespace dialogs {

// ProgramPath(1) + "EMHIST.TXT".
std::string MailHistoryFile();

// The entries of the file (CR LF or LF line ends); none when it is missing.
std::vector<std::string> LoadMailHistory(const std::string& file);

// Records entry: a list of more than 99 lines is emptied first; the entry goes to
// the top unless a line equals it without regard to letter case. The file is
// replaced whole, so a failed write leaves the old one. False (and error) when it
// cannot be written.
bool RecordMailHistory(const std::string& file, const std::string& entry, std::string* error = nullptr);

// The recipient fields an entry fills: the name is the text before the first ">"
// with every "<" removed; the address is the text after that ">" (up to a next
// ">"), or the whole entry when that is empty.
struct MailHistoryPick {
  std::string Name;
  std::string Address;
};
MailHistoryPick SplitMailHistoryEntry(const std::string& entry);

}  // namespace dialogs
