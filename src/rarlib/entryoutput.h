// Writing extracted entries below the target folder, with the same rules as ZIP
// extraction: names are made safe in one place (no "..", no absolute names),
// folders are walked without following symbolic links, a file is written
// nameless and given its name only when its data checked out, and a link is
// made only when its text stays inside the target folder.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "rarlib/rarentry.h"
#include "zipcore/outputtree.h"

namespace rarlib {

class EntryOutput {
 public:
  EntryOutput();
  ~EntryOutput();
  EntryOutput(const EntryOutput&) = delete;
  EntryOutput& operator=(const EntryOutput&) = delete;

  // Sets the target: folder (made when missing; NULL: the current folder), or
  // exactName, the full path of the next file itself. options: RAR_OPT_*.
  // 0 or a result code.
  int begin(const char* folder, const char* exactName, std::uint32_t options);

  int makeFolder(const RarEntry& e);
  // A regular file: openFile, write..., then commitFile or discardFile.
  int openFile(const RarEntry& e);
  int write(const std::uint8_t* data, std::size_t size);
  int commitFile(const RarEntry& e);
  void discardFile();
  // A symbolic link with the given text.
  int makeLink(const RarEntry& e, const std::string& target);
  // A hard link or file copy: the data of the earlier entry named target, as
  // extracted by this output.
  int copyOf(const RarEntry& e, const std::string& target);

  // Applies the folders' times and permissions (after their files are in).
  void finish();

 private:
  int place(const RarEntry& e, std::vector<std::string>& parts, bool& replace);
  int publishFile(const RarEntry& e);
  mode_t modeFor(const RarEntry& e, bool folder) const;

  zipcore::OutputTree tree_;
  bool treeOpen_ = false;
  std::string folder_;
  std::string exactName_;
  std::uint32_t options_ = 0;
  mode_t umask_ = 022;

  zipcore::PendingFile file_;
  zipcore::UniqueFd fileDir_;
  std::vector<std::string> fileParts_;
  bool fileReplace_ = false;

  std::map<std::string, std::vector<std::string>> written_;  // entry name -> where its file went
};

}  // namespace rarlib
