#include "dialogs/mailhistory.h"

#include <QString>
#include <algorithm>

#include "platform/atomicfile.h"
#include "platform/paths.h"
#include "platform/routines.h"

namespace dialogs {

namespace {

constexpr std::size_t kMaxLines = 99;

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

}  // namespace

std::string MailHistoryFile() { return platform::ProgramPath(1) + "EMHIST.TXT"; }

std::vector<std::string> LoadMailHistory(const std::string& file) {
  std::vector<std::string> lines;
  std::string text;
  if (!platform::readWholeFile(file, text)) return lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

bool RecordMailHistory(const std::string& file, const std::string& entry, std::string* error) {
  std::vector<std::string> lines = LoadMailHistory(file);
  if (lines.size() > kMaxLines) lines.clear();
  if (lines.empty()) {
    lines.push_back(entry);
  } else if (std::none_of(lines.begin(), lines.end(),
                          [&](const std::string& l) { return SameIgnoringCase(l, entry); })) {
    lines.insert(lines.begin(), entry);
  }
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  return platform::writeFileAtomically(file, text, error);
}

MailHistoryPick SplitMailHistoryEntry(const std::string& entry) {
  MailHistoryPick pick;
  pick.Name = platform::GetField(entry, 1, ">");
  platform::ReplaceText("<", pick.Name, "", true);
  pick.Address = platform::GetField(entry, 2, ">");
  if (pick.Address.empty()) pick.Address = entry;
  return pick;
}

}  // namespace dialogs
