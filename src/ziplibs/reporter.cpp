#include "ziplibs/reporter.h"

#include <algorithm>
#include <cstring>

namespace ziplibs {

Reporter::Reporter(ZipLibCallback callback, void* handle, void* caller, bool verbose, bool trace)
    : callback_(callback), verbose_(verbose || trace), trace_(trace) {
  record_.Handle = handle;
  record_.Caller = caller;
  record_.Version = ZIPLIB_VERSION;
}

bool Reporter::call(std::uint32_t action, std::uint32_t code, std::uint64_t size, std::string_view text) {
  if (stopped_) return false;
  if (!callback_) return true;
  record_.ActionCode = action;
  record_.ErrorCode = code;
  record_.Size = size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(size);
  record_.Size64 = size;
  std::size_t n = std::min(text.size(), sizeof record_.Text - 1);
  // Cut on a character boundary: never leave half a UTF-8 sequence.
  if (n < text.size())
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  if (n) std::memcpy(record_.Text, text.data(), n);
  record_.Text[n] = '\0';
  if (callback_(&record_) == ZIPLIB_STOP) stopped_ = true;
  return !stopped_;
}

bool Reporter::fileBegin(std::string_view name, std::uint64_t size) {
  pending_ = 0;
  return call(ZIPLIB_ACTION_FILE_BEGIN, 0, size, name);
}

bool Reporter::progress(std::uint64_t bytes) {
  pending_ += bytes;
  while (pending_ >= kProgressUnit) {
    pending_ -= kProgressUnit;
    if (!call(ZIPLIB_ACTION_PROGRESS, 0, kProgressUnit, {})) return false;
  }
  return !stopped_;
}

bool Reporter::fileEnd() {
  std::uint64_t rest = pending_;
  pending_ = 0;
  return rest ? call(ZIPLIB_ACTION_PROGRESS, 0, rest, {}) : !stopped_;
}

bool Reporter::message(std::uint32_t code, std::string_view text) {
  if (code != ZIPLIB_OK) ++errors_;
  return call(ZIPLIB_ACTION_MESSAGE, code, 0, text);
}

bool Reporter::totalFiles(std::uint64_t count) { return call(ZIPLIB_ACTION_TOTAL_FILES, 0, count, {}); }
bool Reporter::totalSize(std::uint64_t bytes) { return call(ZIPLIB_ACTION_TOTAL_SIZE, 0, bytes, {}); }
bool Reporter::batchEnd() { return call(ZIPLIB_ACTION_BATCH_END, 0, 0, {}); }

int savedPercent(std::uint64_t original, std::uint64_t packed) {
  if (original == 0 || packed >= original) return 0;
  return static_cast<int>(((original - packed) * 100 + original / 2) / original);
}

}  // namespace ziplibs
