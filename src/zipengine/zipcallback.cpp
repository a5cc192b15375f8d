// The callback routine the libraries call during an operation: it turns each
// callback record into an event of the engine, keeps the user interface alive and
// answers whether the library should stop.
//
// File names and message texts keep their "/" separators, the native ones here.
//
// No exception may leave it (the libraries are C): one thrown by an event handler
// is noted, the library is asked to stop, and the operation reports it once the
// library has returned.
#include <algorithm>
#include <cstring>

#include "platform/pump.h"
#include "platform/ui.h"
#include "zipengine/zipblocks.h"
#include "zipengine/ziplib_abi.h"
#include "zipengine/zipengine.h"

namespace {

// The record's text: at most 512 bytes, NUL-terminated within the record.
std::string recordText(const ZipCallbackRecord& r) { return std::string(r.Text, ::strnlen(r.Text, sizeof r.Text)); }

// The record's size or count. Libraries of this project's version also carry it at
// full width, for sizes that do not fit the 32-bit field.
std::int64_t recordSize(const ZipCallbackRecord& r) {
  if (r.Size == 0xFFFFFFFFu && r.Version >= ZIPLIB_VERSION && r.Size64 <= static_cast<std::uint64_t>(INT64_MAX))
    return static_cast<std::int64_t>(r.Size64);
  return r.Size;
}

}  // namespace

std::uint32_t TZipEngine::CallbackEntry(ZipCallbackRecord* record) {
  if (!record || !record->Caller) return ZIPLIB_CONTINUE;
  return static_cast<TZipEngine*>(record->Caller)->LibCallback(*record);
}

std::uint32_t TZipEngine::LibCallback(ZipCallbackRecord& r) noexcept {
  if (CallbackFailed_) return ZIPLIB_STOP;
  try {
    switch (r.ActionCode) {
      case ZIPLIB_ACTION_PASSWORD: return CancelRequested ? ZIPLIB_STOP : AnswerPassword(r);
      case ZIPLIB_ACTION_FILE_BEGIN: RaiseProgress(ptFileBegin, recordText(r), recordSize(r)); break;
      case ZIPLIB_ACTION_PROGRESS: RaiseProgress(ptFileProgress, {}, recordSize(r)); break;
      case ZIPLIB_ACTION_BATCH_END: RaiseProgress(ptBatchEnd, {}, 0); break;
      case ZIPLIB_ACTION_MESSAGE: {
        std::string text = recordText(r);
        text.erase(text.find_last_not_of(' ') + 1);
        LastMessage_ = text;
        if (r.ErrorCode != 0 && r.ErrorCode != ZIPLIB_NOTICE) {
          LastErrorCode_ = static_cast<int>(r.ErrorCode & 0xFF);
          FullErrorCode_ = r.ErrorCode;
        }
        if (OnMessage) OnMessage(*this, static_cast<int>(r.ErrorCode), text);
        break;
      }
      case ZIPLIB_ACTION_TOTAL_FILES: RaiseProgress(ptTotalFiles, {}, recordSize(r)); break;
      case ZIPLIB_ACTION_TOTAL_SIZE:
        BatchTotalSize_ = recordSize(r);
        RaiseProgress(ptTotalSize, {}, BatchTotalSize_);
        break;
      case ZIPLIB_ACTION_COLLECTING: RaiseProgress(ptCollecting, recordText(r), recordSize(r)); break;
      default: break;  // an action this engine does not know: nothing to show
    }
    // The answer is taken before the pump runs: a cancel set by an event handler
    // stops the library at this very callback, one set by a click during the pump
    // at the next.
    std::uint32_t answer = CancelRequested ? ZIPLIB_STOP : ZIPLIB_CONTINUE;
    platform::pumpEvents();
    return answer;
  } catch (...) {
    CallbackFailed_ = true;
    return ZIPLIB_STOP;
  }
}

std::optional<std::string> TZipEngine::AskPassword() {
  return platform::ui().password("Password required", "Password:");
}

std::uint32_t TZipEngine::AnswerPassword(ZipCallbackRecord& r) {
  // Nobody is asked in unattended runs: the entry fails as it did before.
  if (Unattended || PasswordPrompts_ >= kMaxPasswordPrompts) return ZIPLIB_CONTINUE;
  ++PasswordPrompts_;
  std::optional<std::string> answer = AskPassword();
  if (CancelRequested) return ZIPLIB_STOP;
  if (!answer) return ZIPLIB_ANSWER_SKIP;
  const std::size_t n = std::min(answer->size(), kLibPasswordMax);
  std::memcpy(r.Text, answer->data(), n);
  r.Text[n] = '\0';
  return ZIPLIB_ANSWER_PASSWORD;
}

void TZipEngine::RaiseProgress(ProgressType type, const std::string& name, std::int64_t size) {
  if (OnProgress) OnProgress(*this, type, name, size);
}
