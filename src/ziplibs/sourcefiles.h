// Turning the compressor's file specifications into the list of files, folders
// and links to add, each with the name it gets in the archive.
//
// A specification is a file, a folder (with or without a trailing "/", meaning
// the files in it) or a pattern whose last part holds "*" or "?" (unless the
// options make every specification a plain name). With recursion,
// folders are walked to any depth and a pattern is matched in every folder below
// its own. Names starting with "." are skipped by patterns and walks unless hidden
// files are asked for; a name given in full is always taken. Symbolic links are
// added as links and never followed; devices, pipes and sockets are skipped.
#pragma once

#include <sys/stat.h>

#include <string>
#include <vector>

#include "ziplibs/options.h"

namespace ziplibs {

class Reporter;

struct SourceFile {
  enum Kind { kFile, kDirectory, kSymlink };
  Kind kind = kFile;
  std::string path;        // to open, as the specification gave it
  std::string storedName;  // name in the archive; folders end in "/"
  struct stat st {};       // lstat at collection time
};

struct SourceList {
  std::vector<SourceFile> files;           // in the order they go into the archive
  std::vector<std::string> walkedFolders;  // folders named or recursed into (parents first), for moving
};

// Collects what opts.specs name. archive (may be null) is the archive's own stat,
// so that it is never added to itself. False when a named file does not exist or
// a folder cannot be read: the add must then change nothing. Warnings (a pattern
// matching nothing, a skipped special file, a duplicate name) go to the reporter,
// and so does progress while looking; false too when the caller asks to stop.
bool collectSources(const AddOptions& opts, const struct stat* archive, Reporter& reporter, SourceList& out);

// The archive name for a path: folders dropped when stripDirs, else the path
// without its leading "/", "." and ".." parts; as MS-DOS 8.3 names when forceDos.
std::string storedNameFor(const std::string& path, bool stripDirs, bool forceDos);

// One name part in MS-DOS 8.3 form: upper case, at most 8 + 3 characters,
// characters MS-DOS does not take replaced by "_".
std::string dosPart(const std::string& part);

}  // namespace ziplibs
