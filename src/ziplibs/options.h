// What a compressor or extractor block asks for, read out of either layout.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zipengine/ziplib_abi.h"

namespace ziplibs {

struct CallbackTarget {
  ZipLibCallback callback = nullptr;
  void* handle = nullptr;
  void* caller = nullptr;
  bool verbose = false, trace = false;
};

struct AddOptions {
  CallbackTarget cb;
  std::string archive;
  std::vector<std::string> specs;
  std::string password;
  bool passwordGiven = false;  // password is one even when empty (a non-empty one always is)
  bool hasPassword() const { return passwordGiven || !password.empty(); }
  int level = 9;
  bool encrypt = false, hidden = false, dirEntries = false, stripDirs = false, recurse = false;
  bool forceDos = false, move = false, deleteEntries = false, update = false, freshen = false, zipTime = false;
  bool literal = false;  // specs are plain names, not patterns
};

struct ExtractOptions {
  CallbackTarget cb;
  std::string archive;
  std::vector<std::string> specs;  // empty: every entry
  std::string password;
  bool passwordGiven = false;  // password is one even when empty (a non-empty one always is)
  bool hasPassword() const { return passwordGiven || !password.empty(); }
  bool test = false, update = false, freshen = false, dirNames = false, overwrite = false;
  bool literal = false;  // specs are plain names, not patterns
};

// Reads a compressor block of either layout; false (error says why) when the
// block is not recognised or lacks the archive name.
bool readAddBlock(const void* params, AddOptions& o, std::string& error);
bool readExtractBlock(const void* params, ExtractOptions& o, std::string& error);

}  // namespace ziplibs
