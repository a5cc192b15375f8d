// Mailboxes: the address part of a recipient or sender text, and the rules a
// mailbox must keep before it is put into an SMTP command or a header line.
#pragma once

#include <string>
#include <string_view>

namespace mail {

// The mailbox of an address as the user wrote it: the part between "<" and the next
// ">" when the text contains "<"; otherwise the part after the first ":" up to the
// next ":" when it contains ":"; otherwise the whole text. Surrounding blanks are
// dropped. "Ann Lee <ann@example.org>" gives "ann@example.org".
std::string ExtractMailbox(std::string_view address);

// Why a mailbox breaks the rules, or an empty text when it keeps them. The rules:
// local part "@" domain, ASCII only; the local part is dot-separated atoms of the
// characters letters, digits and !#$%&'*+-/=?^_`{|}~, or a quoted string; the domain
// is dot-separated labels of letters, digits and "-" (not at a label's ends), or an
// address literal in square brackets; at most 64 characters before the "@" and 254
// in all.
std::string MailboxProblem(std::string_view mailbox);

// The message that refuses an address, naming the field it came from, or an empty
// text when the address can be sent: it must hold no line break or other control
// character (which could smuggle in a header line or an SMTP command) and its
// mailbox must keep the rules. bare: the field holds a mailbox alone (a sender
// address), not an address as written.
std::string AddressError(std::string_view field, std::string_view address, bool bare);

// True when the text holds a CR, LF or another control character except the tab.
bool HasControlCharacter(std::string_view text);

}  // namespace mail
