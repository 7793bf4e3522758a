#include "service/caller_allow_list.h"

#include <algorithm>

#include "service/text.h"

namespace tarvelin {

namespace {

bool IsComment(std::string_view line) {
  const auto first = line.find_first_not_of(" \t\r");
  return first == std::string_view::npos || line[first] == '#' || line[first] == ';';
}

// A rights word: "query", "mpps" or both joined by ",". False when it is not one.
bool ParseRights(std::string_view word, CallerRights& rights) {
  CallerRights parsed{false, false};
  for (std::string_view right : Words(word, ",")) {
    if (right == "query")
      parsed.Query = true;
    else if (right == "mpps")
      parsed.Mpps = true;
    else
      return false;
  }
  rights = parsed;
  return true;
}

// `word` in double quotes, for a refusal's reason.
std::string Quoted(std::string_view word) {
  std::string quoted(1, '"');
  quoted.append(word).push_back('"');
  return quoted;
}

}  // namespace

std::optional<CallerAllowList::Entry> CallerAllowList::ParseEntry(std::string_view line, std::string& why) {
  const std::vector<std::string_view> words = Words(line, " \t\r");
  Entry entry;
  entry.callingAE = std::string(words.front());
  if (entry.callingAE.size() > 16) {
    why = "calling AE title " + entry.callingAE + " longer than 16 characters";
    return std::nullopt;
  }
  for (std::size_t i = 1; i < words.size(); ++i) {
    const std::string_view word = words[i];
    if (i == 1 && word.find_first_of("0123456789") == std::string_view::npos) {
      if (!ParseRights(word, entry.rights)) {
        why = Quoted(word) + " is neither rights (query, mpps) nor an address";
        return std::nullopt;
      }
      continue;
    }
    const auto range = AddressRange::Parse(word);
    if (!range) {
      why = Quoted(word) + " is not an IPv4 address or network (a.b.c.d or a.b.c.d/n)";
      return std::nullopt;
    }
    entry.hosts.push_back(*range);
  }
  return entry;
}

CallerAllowList CallerAllowList::Parse(std::string_view text, std::vector<std::string>& errors) {
  CallerAllowList list;
  int number = 0;
  for (std::size_t at = 0; at <= text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    const std::string_view line = text.substr(at, end - at);
    at = end + 1;
    ++number;
    if (IsComment(line)) continue;
    list.on_ = true;
    std::string why;
    if (auto entry = ParseEntry(line, why))
      list.entries_.push_back(std::move(*entry));
    else
      errors.push_back("line " + std::to_string(number) + ": " + why);
  }
  return list;
}

std::optional<CallerRights> CallerAllowList::Admit(std::string_view callingAE, std::string_view address) const {
  if (!on_) return CallerRights{};
  // AE titles travel blank-padded to 16 characters.
  while (!callingAE.empty() && callingAE.back() == ' ') callingAE.remove_suffix(1);
  while (!callingAE.empty() && callingAE.front() == ' ') callingAE.remove_prefix(1);
  for (const Entry& entry : entries_) {
    if (entry.callingAE != callingAE) continue;
    if (entry.hosts.empty() ||
        std::any_of(entry.hosts.begin(), entry.hosts.end(), [&](const AddressRange& r) { return r.Contains(address); }))
      return entry.rights;
  }
  return std::nullopt;
}

}  // namespace tarvelin
