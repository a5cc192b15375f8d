#include "ziplibs/reporter.h"

#include <algorithm>
#include <cstring>

#include "zipcore/names.h"
#include "ziplibs/zipcrypto.h"

namespace ziplibs {

namespace {

// Bytes kept from the end of a text too long for the record: the reason of a
// message comes last ("name: reason"), so a long name loses its middle instead.
constexpr std::size_t kKeptTail = 320;
constexpr std::string_view kElision = "...";

// n moved back to the start of the UTF-8 character it falls in.
std::size_t charStart(std::string_view s, std::size_t n) {
  while (n > 0 && n < s.size() && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  return n;
}

}  // namespace

std::string Reporter::recordText(std::string_view text) {
  // Names may hold any byte: control characters are written out, so that a NUL
  // cannot cut the text short and nothing reaches a terminal raw.
  std::string shown = zipcore::PrintableName(text);
  constexpr std::size_t room = sizeof(ZipCallbackRecord::Text) - 1;
  if (shown.size() <= room) return shown;
  const std::size_t tail = charStart(shown, shown.size() - kKeptTail);
  const std::size_t head = charStart(shown, room - kElision.size() - (shown.size() - tail));
  return shown.substr(0, head) + std::string(kElision) + shown.substr(tail);
}

Reporter::Reporter(ZipLibCallback callback, void* handle, void* caller, bool verbose, bool trace)
    : callback_(callback), verbose_(verbose || trace), trace_(trace) {
  record_.Handle = handle;
  record_.Caller = caller;
  record_.Version = ZIPLIB_VERSION;
}

bool Reporter::call(std::uint32_t action, std::uint32_t code, std::uint64_t size, std::string_view text) {
  if (stopped_) return false;
  if (!callback_) return true;
  send(action, code, size, text);
  return !stopped_;
}

std::uint32_t Reporter::send(std::uint32_t action, std::uint32_t code, std::uint64_t size, std::string_view text) {
  record_.ActionCode = action;
  record_.ErrorCode = code;
  record_.Size = size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(size);
  record_.Size64 = size;
  const std::string shown = recordText(text);
  if (!shown.empty()) std::memcpy(record_.Text, shown.data(), shown.size());
  record_.Text[shown.size()] = '\0';
  const std::uint32_t answer = callback_(&record_);
  if (answer == ZIPLIB_STOP) stopped_ = true;
  return answer;
}

Reporter::PasswordAnswer Reporter::askPassword(std::string_view entry, bool wrong, std::uint64_t asked,
                                               std::string& password) {
  if (stopped_ || !callback_ || !record_.Handle) return PasswordAnswer::kNone;
  const std::uint32_t answer = send(ZIPLIB_ACTION_PASSWORD, wrong ? ZIPLIB_E_PASSWORD : 0, asked, entry);
  if (answer == ZIPLIB_ANSWER_PASSWORD) password = std::string(blockPassword(record_.Text));
  std::memset(record_.Text, 0, sizeof record_.Text);  // the password stays in no record
  if (answer == ZIPLIB_ANSWER_PASSWORD) return PasswordAnswer::kGiven;
  return answer == ZIPLIB_ANSWER_SKIP ? PasswordAnswer::kSkip : PasswordAnswer::kNone;
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
  if (code != ZIPLIB_OK && code != ZIPLIB_NOTICE) ++errors_;
  return call(ZIPLIB_ACTION_MESSAGE, code, 0, text);
}

bool Reporter::poll() { return call(ZIPLIB_ACTION_PROGRESS, 0, 0, {}); }
bool Reporter::totalFiles(std::uint64_t count) { return call(ZIPLIB_ACTION_TOTAL_FILES, 0, count, {}); }
bool Reporter::totalSize(std::uint64_t bytes) { return call(ZIPLIB_ACTION_TOTAL_SIZE, 0, bytes, {}); }
bool Reporter::batchEnd() { return call(ZIPLIB_ACTION_BATCH_END, 0, 0, {}); }

int savedPercent(std::uint64_t original, std::uint64_t packed) {
  if (original == 0 || packed >= original) return 0;
  return static_cast<int>(((original - packed) * 100 + original / 2) / original);
}

}  // namespace ziplibs
