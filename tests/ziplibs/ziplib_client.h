// Calls the compressor and extractor libraries the way the engine does: loaded
// with dlopen, a zero-filled parameter block filled field by field, a callback
// that records every call and can answer "stop".
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "zipengine/ziplib_abi.h"

namespace ziptest {

struct Event {
  std::uint32_t action = 0, code = 0;
  std::uint64_t size = 0;
  std::uint32_t size32 = 0;
  std::string text;
  void* caller = nullptr;
};

struct AddRequest {
  std::string archive;
  std::vector<std::string> specs;
  std::string password;
  int level = 9;
  bool encrypt = false, hidden = false, separateDirs = false, dirNames = true, recurse = false;
  bool forceDos = false, move = false, update = false, freshen = false, zipTime = false, verbose = true;
  bool literal = false;  // specs are plain names
  bool oldLayout = false;
  std::string folder;  // the current folder during the call ("" = leave it)
};

struct ExtractRequest {
  std::string archive;
  std::vector<std::string> specs;
  std::string password;
  std::string folder;  // the current folder during the call ("" = leave it)
  bool test = false, update = false, freshen = false, dirNames = true, overwrite = false, verbose = true;
  bool literal = false;  // specs are plain names
  bool oldLayout = false;
  bool window = false;  // the block has a window handle: the extractor may ask for passwords
};

class ZipLibClient {
 public:
  // Library files from the build's bin folder (KV_BIN); the fault-injecting
  // test builds when faulty is set.
  explicit ZipLibClient(bool faulty = false);
  ~ZipLibClient();
  ZipLibClient(const ZipLibClient&) = delete;
  ZipLibClient& operator=(const ZipLibClient&) = delete;

  bool loaded() const { return zipExec_ && unzExec_; }
  const std::string& loadError() const { return error_; }
  int zipVersion() const { return zipVersion_ ? zipVersion_() : -1; }
  int unzVersion() const { return unzVersion_ ? unzVersion_() : -1; }

  int add(const AddRequest& r);
  // Deletes r.specs from r.archive, with r's other fields in the block.
  int remove(const AddRequest& r) { return runZip(r, true); }
  int remove(const std::string& archive, const std::vector<std::string>& specs, bool literal = false,
             bool oldLayout = false);
  int extract(const ExtractRequest& r);

  // Calls an entry point with a block the test filled itself.
  int rawZip(void* block) {
    events.clear();
    return zipExec_(block);
  }
  int rawUnz(void* block) {
    events.clear();
    return unzExec_(block);
  }
  static std::uint32_t callback(ZipCallbackRecord* record) { return trampoline(record); }

  // Arms a fault in the test builds (kind, after, errno); see ziplibs/sysio.h.
  void fault(int kind, long long after, int error);

  // Events of the last call, and the texts of its problem messages (code != 0).
  std::vector<Event> events;
  std::vector<std::string> problems() const;
  std::vector<std::string> infos() const;
  bool anyProblemContains(const std::string& part) const;
  // When set, the callback answers "stop" as soon as this returns true.
  std::function<bool(const Event&)> stopWhen;
  // When set, answers password requests: the callback's answer, with the password
  // written into the record for ZIPLIB_ANSWER_PASSWORD.
  std::function<std::uint32_t(const Event&, std::string& password)> answerPassword;

 private:
  static std::uint32_t trampoline(ZipCallbackRecord* record);
  int runZip(const AddRequest& r, bool deleting);

  void* zipHandle_ = nullptr;
  void* unzHandle_ = nullptr;
  ZipLibExecProc zipExec_ = nullptr, unzExec_ = nullptr;
  ZipLibVersionProc zipVersion_ = nullptr, unzVersion_ = nullptr;
  void (*zipFault_)(int, long long, int) = nullptr;
  void (*unzFault_)(int, long long, int) = nullptr;
  std::string error_;
};

// Path of a file in the build's bin folder.
std::string binPath(const std::string& file);

}  // namespace ziptest
