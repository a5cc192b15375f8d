// Progress and messages to the caller through the callback record of the blocks.
// Texts are made safe to show and to pass as C strings (recordText).
// Used from the calling thread only (the caller pumps its window in callbacks).
// Once a callback answers "stop", no further callback is made and every method
// returns false.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "zipengine/ziplib_abi.h"

namespace ziplibs {

class Reporter {
 public:
  static constexpr std::uint64_t kProgressUnit = 32768;  // bytes per progress callback

  Reporter(ZipLibCallback callback, void* handle, void* caller, bool verbose, bool trace);

  bool fileBegin(std::string_view name, std::uint64_t size);
  // Counts processed bytes of the current file; one callback per full 32 KiB.
  bool progress(std::uint64_t bytes);
  // Reports the bytes of the current file not yet reported (less than 32 KiB).
  bool fileEnd();
  // Always reported. Problems (codes other than 0 and ZIPLIB_NOTICE) are
  // remembered for the summary (errors()). info() sends code 0 only when verbose.
  bool message(std::uint32_t code, std::string_view text);
  bool info(std::string_view text) { return verbose_ ? message(ZIPLIB_OK, text) : !stopped_; }
  // An information told whether verbose or not (an entry left unwritten by choice).
  bool notice(std::string_view text) { return message(ZIPLIB_OK, text); }
  bool trace(std::string_view text) { return trace_ ? message(ZIPLIB_OK, text) : !stopped_; }
  // A callback with nothing processed, so that the caller can keep its window
  // alive and answer "stop" while the library waits.
  bool poll();
  // Files to add are being looked for in folder; found so far.
  bool collecting(std::string_view folder, std::uint64_t found) {
    return call(ZIPLIB_ACTION_COLLECTING, 0, found, folder);
  }
  // Asks the caller for the password of entry (see ZIPLIB_ACTION_PASSWORD): wrong
  // when the password tried last did not fit, asked the requests made for it
  // before. Only a caller with a window is asked; others give kNone.
  enum class PasswordAnswer { kNone, kGiven, kSkip };
  PasswordAnswer askPassword(std::string_view entry, bool wrong, std::uint64_t asked, std::string& password);
  bool totalFiles(std::uint64_t count);
  bool totalSize(std::uint64_t bytes);
  bool batchEnd();

  bool stopped() const { return stopped_; }

  // text as the callback record carries it: control characters written out
  // (zipcore::PrintableName), and a text longer than the record's 512 bytes cut in
  // the middle ("...") so that its end, the reason of a message, stays whole.
  static std::string recordText(std::string_view text);
  bool verbose() const { return verbose_; }
  unsigned errors() const { return errors_; }

 private:
  bool call(std::uint32_t action, std::uint32_t code, std::uint64_t size, std::string_view text);
  // Fills the record, calls back and returns the raw answer (a stop is noted).
  std::uint32_t send(std::uint32_t action, std::uint32_t code, std::uint64_t size, std::string_view text);

  ZipLibCallback callback_;
  ZipCallbackRecord record_{};
  bool verbose_, trace_;
  bool stopped_ = false;
  unsigned errors_ = 0;
  std::uint64_t pending_ = 0;
};

// Percentage saved by compression, as the verbose messages show it ("deflated 63%").
int savedPercent(std::uint64_t original, std::uint64_t packed);

}  // namespace ziplibs
