// A stand-in for the compressor or the extractor, built only for the engine's
// tests. It reports the version the test asks for, reads the block in the layout
// that version implies, writes down everything the block holds, makes the
// callbacks the test scripts and returns the result the test asks for.
//
// Built once per role (KV_RECORD_ZIP 1: libkvzip.so, 0: libkvunzip.so) and in
// variants without one of the two entry points (KV_RECORD_OMIT_EXEC,
// KV_RECORD_OMIT_VERSION). Controlled by the environment, read at every call (the
// engine loads and unloads the library around each operation):
//   KV_RECORD_ZIP_VERSION, KV_RECORD_UNZ_VERSION  versions reported (151, 152)
//   KV_RECORD_FILE    the record is appended to this file (nothing when unset)
//   KV_RECORD_SCRIPT  callbacks to make, "action,code,size,text" separated by "|"
//   KV_RECORD_RESULT  the result returned (default: the number of specifications)
//
// Record of one call, one item a line:
//   exec zip|unzip, version N, block HEX (the block's bytes), archive TEXT,
//   password HEX (the 81 bytes of the password buffer), tempdir TEXT or "-",
//   spec TEXT (each), recordtails 0|1 (new layout: every file record zero after
//   its address), oldslots N (old layout: non-null address slots of all 4097),
//   answer HEX (each callback's return value), stopped (a callback said stop), end.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zipengine/ziplib_abi.h"

#define KV_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

int envInt(const char* name, int fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::atoi(v) : fallback;
}

int reportedVersion() {
#if KV_RECORD_ZIP
  return envInt("KV_RECORD_ZIP_VERSION", 151);
#else
  return envInt("KV_RECORD_UNZ_VERSION", 152);
#endif
}

// Decimal text without std::to_string, whose digit table is a unique symbol that
// would keep the library loaded after dlclose.
[[maybe_unused]] std::string decimal(long long v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%lld", v);
  return buf;
}

[[maybe_unused]] std::string hex(const void* data, std::size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  const auto* p = static_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i < size; ++i) {
    out.push_back(kDigits[p[i] >> 4]);
    out.push_back(kDigits[p[i] & 15]);
  }
  return out;
}

[[maybe_unused]] bool allZero(const void* data, std::size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i < size; ++i)
    if (p[i]) return false;
  return true;
}

struct Record {
  std::string text;
  void line(const std::string& key, const std::string& value = {}) {
    text += key;
    if (!value.empty()) text += " " + value;
    text += "\n";
  }
  void save() const {
    const char* path = std::getenv("KV_RECORD_FILE");
    if (!path || !*path) return;
    if (std::FILE* f = std::fopen(path, "ab")) {
      std::fwrite(text.data(), 1, text.size(), f);
      std::fclose(f);
    }
  }
};

// Fields both layouts of a role share, and the specification addresses.
template <typename Block>
void recordCommon(Record& r, const Block& b, const std::vector<const char*>& specs) {
  r.line("block", hex(&b, sizeof b));
  r.line("archive", b.ArchiveName ? b.ArchiveName : "-");
  r.line("password", b.Password ? hex(b.Password, 81) : "-");
  for (const char* s : specs) r.line("spec", s ? s : "-");
}

// Makes the scripted callbacks; stops at the first "stop" answer.
[[maybe_unused]] void runScript(Record& r, ZipLibCallback callback, void* handle, void* caller) {
  const char* script = std::getenv("KV_RECORD_SCRIPT");
  if (!script || !callback) return;
  std::string rest = script;
  while (!rest.empty()) {
    std::size_t bar = rest.find('|');
    std::string step = rest.substr(0, bar);
    rest = bar == std::string::npos ? std::string() : rest.substr(bar + 1);
    ZipCallbackRecord rec{};
    rec.Handle = handle;
    rec.Caller = caller;
    rec.Version = static_cast<std::uint32_t>(reportedVersion());
    unsigned long long size = 0;
    int textAt = 0;
    std::sscanf(step.c_str(), "%u,%u,%llu,%n", &rec.ActionCode, &rec.ErrorCode, &size, &textAt);
    rec.Size = size > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(size);
    rec.Size64 = size;
    if (textAt > 0) std::snprintf(rec.Text, sizeof rec.Text, "%s", step.c_str() + textAt);
    std::uint32_t answer = callback(&rec);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08x", answer);
    r.line("answer", buf);
    if (answer == ZIPLIB_STOP) {
      r.line("stopped");
      return;
    }
  }
}

template <typename NewBlock, typename OldBlock, typename FileRecord>
int execute(void* params, bool zip, const char* (*tempDir)(const NewBlock&)) {
  Record r;
  r.line("exec", zip ? "zip" : "unzip");
  const int version = reportedVersion();
  r.line("version", decimal(version));
  const bool newLayout = version >= (zip ? ZIPLIB_ZIP_NEW_LAYOUT_VERSION : ZIPLIB_UNZ_NEW_LAYOUT_VERSION);
  std::vector<const char*> specs;
  ZipLibCallback callback;
  void *handle, *caller;
  std::uint32_t count;
  if (newLayout) {
    const auto& b = *static_cast<const NewBlock*>(params);
    bool tails = true;
    for (std::uint32_t i = 0; b.FileRecords && i < b.SpecCount; ++i) {
      specs.push_back(b.FileRecords[i].Spec);
      tails = tails && allZero(b.FileRecords[i].Reserved, sizeof b.FileRecords[i].Reserved);
    }
    recordCommon(r, b, specs);
    if (tempDir) {
      const char* t = tempDir(b);
      r.line("tempdir", t ? t : "-");
    }
    r.line("recordtails", tails ? "1" : "0");
    callback = b.Callback, handle = b.Handle, caller = b.Caller, count = b.SpecCount;
  } else {
    const auto& b = *static_cast<const OldBlock*>(params);
    for (std::uint32_t i = 0; i < b.SpecCount && i < ZIPLIB_MAX_OLD_SPECS; ++i) specs.push_back(b.Specs[i]);
    recordCommon(r, b, specs);
    int slots = 0;
    for (const char* s : b.Specs) slots += s != nullptr;
    r.line("oldslots", decimal(slots));
    callback = b.Callback, handle = b.Handle, caller = b.Caller, count = b.SpecCount;
  }
  runScript(r, callback, handle, caller);
  r.line("end");
  r.save();
  return envInt("KV_RECORD_RESULT", static_cast<int>(count));
}

}  // namespace

#if KV_RECORD_ZIP

#ifndef KV_RECORD_OMIT_VERSION
KV_EXPORT int32_t GetZipLibVersion(void) { return reportedVersion(); }
#endif
#ifndef KV_RECORD_OMIT_EXEC
KV_EXPORT int32_t ZipLibExec(void* params) {
  return execute<ZipExecParams, ZipExecParamsOld, ZipFileRecord>(params, true,
                                                                 [](const ZipExecParams& b) { return b.TempDir; });
}
#endif

#else

#ifndef KV_RECORD_OMIT_VERSION
KV_EXPORT int32_t GetUnzLibVersion(void) { return reportedVersion(); }
#endif
#ifndef KV_RECORD_OMIT_EXEC
KV_EXPORT int32_t UnzLibExec(void* params) {
  return execute<UnzExecParams, UnzExecParamsOld, UnzFileRecord>(params, false, nullptr);
}
#endif

#endif
