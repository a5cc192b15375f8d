// Drives the built libkvrar.so the way the RAR reader does (dlopen, the seven
// entry points) and records what happened to every entry.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "rarlib/kvrar.h"

namespace rartest {

struct Item {
  std::string name;
  std::uint32_t flags = 0;
  std::uint64_t packed = 0, size = 0;
  std::uint32_t storedCrc = 0, fileTime = 0;
  std::string link;
  int result = 0;              // of RARProcessFile
  std::uint64_t dataSize = 0;  // bytes the data callback saw
  std::uint32_t dataCrc = 0;
};

struct Run {
  int open = 0;  // the open result
  int end = 0;   // what RARReadHeader ended with
  std::string comment;
  std::vector<Item> items;
  std::vector<std::string> volumes;  // "mode name" per volume callback
};

struct Request {
  std::string archive;
  int operation = RAR_TEST;  // RAR_SKIP lists
  std::string folder;        // RAR_EXTRACT: the target
  std::string password;
  std::uint32_t options = 0;
  // Answers the data callback (after the CRC is counted); default: go on.
  std::function<int(const std::string& entry, int size)> onData;
  std::function<int(char* name, int mode)> onVolume;
};

class RarLib {
 public:
  RarLib();  // from the build's bin folder (KV_BIN)
  ~RarLib();
  RarLib(const RarLib&) = delete;
  RarLib& operator=(const RarLib&) = delete;
  bool loaded() const { return open_ != nullptr; }

  Run run(const Request& request);

 private:
  void* handle_ = nullptr;
  RAROpenArchiveProc open_ = nullptr;
  RARCloseArchiveProc close_ = nullptr;
  RARReadHeaderProc read_ = nullptr;
  RARProcessFileProc process_ = nullptr;
  RARSetChangeVolProcProc setVolume_ = nullptr;
  RARSetProcessDataProcProc setData_ = nullptr;
  RARSetPasswordProc setPassword_ = nullptr;
};

// The sample folder tests/data/rar.
std::string samples();

}  // namespace rartest
