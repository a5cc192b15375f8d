#include "mail/mailbox.h"

#include <cstring>

namespace mail {

namespace {

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool IsAlnum(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

bool IsAtext(char c) { return IsAlnum(c) || (c != '\0' && std::strchr("!#$%&'*+-/=?^_`{|}~", c) != nullptr); }

std::string Quoted(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  if (u < 32 || u >= 127) return "a character outside ASCII or a control character";
  return std::string("the character \"") + c + "\"";
}

std::string LocalPartProblem(std::string_view local) {
  if (local.empty()) return "nothing before the \"@\"";
  if (local.size() > 64) return "more than 64 characters before the \"@\"";
  if (local.front() == '"') {
    if (local.size() < 2 || local.back() != '"') return "an unclosed quotation mark";
    for (std::size_t i = 1; i + 1 < local.size(); ++i) {
      char c = local[i];
      unsigned char u = static_cast<unsigned char>(c);
      if (c == '\\') {
        if (i + 2 >= local.size()) return "a backslash at the end of the quoted part";
        unsigned char next = static_cast<unsigned char>(local[++i]);
        if (next < 32 || next > 126) return Quoted(local[i]);
        continue;
      }
      if (c == '"' || u < 32 || u > 126) return Quoted(c);
    }
    return {};
  }
  if (local.front() == '.' || local.back() == '.') return "a dot at the start or end of the part before the \"@\"";
  for (std::size_t i = 0; i < local.size(); ++i) {
    char c = local[i];
    if (c == '.') {
      if (local[i + 1] == '.') return "two dots in a row";
      continue;
    }
    if (!IsAtext(c)) return Quoted(c);
  }
  return {};
}

std::string DomainProblem(std::string_view domain) {
  if (domain.empty()) return "nothing after the \"@\"";
  if (domain.front() == '[') {
    if (domain.size() < 3 || domain.back() != ']') return "an unclosed address literal";
    for (std::size_t i = 1; i + 1 < domain.size(); ++i) {
      unsigned char u = static_cast<unsigned char>(domain[i]);
      if (u < 33 || u > 126 || u == '[' || u == ']' || u == '\\') return Quoted(domain[i]);
    }
    return {};
  }
  if (domain.size() > 253) return "a domain longer than 253 characters";
  std::size_t start = 0;
  while (start <= domain.size()) {
    std::size_t dot = domain.find('.', start);
    std::string_view label = domain.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
    if (label.empty()) return "an empty part in the domain";
    if (label.size() > 63) return "a domain part longer than 63 characters";
    for (char c : label)
      if (!IsAlnum(c) && c != '-') return Quoted(c);
    if (label.front() == '-' || label.back() == '-') return "a domain part that starts or ends with \"-\"";
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return {};
}

}  // namespace

std::string ExtractMailbox(std::string_view address) {
  std::size_t lt = address.find('<');
  if (lt != std::string_view::npos) {
    std::size_t gt = address.find('>', lt + 1);
    return std::string(TrimBlanks(address.substr(lt + 1, gt == std::string_view::npos ? gt : gt - lt - 1)));
  }
  std::size_t colon = address.find(':');
  if (colon != std::string_view::npos) {
    std::size_t next = address.find(':', colon + 1);
    return std::string(TrimBlanks(address.substr(colon + 1, next == std::string_view::npos ? next : next - colon - 1)));
  }
  return std::string(TrimBlanks(address));
}

bool HasControlCharacter(std::string_view text) {
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    if ((u < 32 && c != '\t') || u == 127) return true;
  }
  return false;
}

std::string MailboxProblem(std::string_view mailbox) {
  if (mailbox.empty()) return "no address";
  if (mailbox.size() > 254) return "more than 254 characters";
  std::size_t at = mailbox.rfind('@');
  if (at == std::string_view::npos) return "no \"@\"";
  if (std::string p = LocalPartProblem(mailbox.substr(0, at)); !p.empty()) return p;
  return DomainProblem(mailbox.substr(at + 1));
}

std::string AddressError(std::string_view field, std::string_view address, bool bare) {
  std::string problem;
  if (HasControlCharacter(address))
    problem = "a line break or another control character";
  else
    problem = bare ? MailboxProblem(TrimBlanks(address)) : MailboxProblem(ExtractMailbox(address));
  if (problem.empty()) return {};
  std::string shown(address);
  for (char& c : shown)
    if (static_cast<unsigned char>(c) < 32 || c == 127) c = '?';
  return "The address \"" + shown + "\" in the field \"" + std::string(field) + "\" is not a valid mailbox: it has " +
         problem + ".";
}

}  // namespace mail
