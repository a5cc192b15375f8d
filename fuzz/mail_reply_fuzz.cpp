// Feeds arbitrary bytes to the reader of SMTP server replies: the line splitter (in
// pieces of varying size), the reply number and continuation rule of every line,
// and the EHLO keyword reader. Every input must end with lines or a clean overflow:
// no crash, no read out of bounds, no growth past the line limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "mail/smtpreply.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte chooses the piece size, so lines are split at every place.
  std::size_t piece = 1 + data[0] % 64;
  std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  mail::TReplyLineBuffer buffer(256);
  std::vector<std::string> reply;
  for (std::size_t i = 0; i < input.size(); i += piece) {
    buffer.Append(input.substr(i, piece));
    if (buffer.Pending() > 256 + piece) std::abort();
    while (auto line = buffer.NextLine()) {
      if (line->size() > 256) std::abort();
      std::int64_t n = mail::ReplyNumberOf(*line);
      if (n < 0 || n > 9999999999LL) std::abort();
      reply.push_back(*line);
      if (!mail::IsContinuationLine(*line)) {
        mail::ParseEhloReply(reply);
        reply.clear();
      }
    }
    if (buffer.Overflowed()) break;
  }
  mail::ParseEhloReply(reply);
  return 0;
}
