// The mail page's address lists: addresses separated by "," in one text, as
// the job's "send" holds them. The address dialog lists the pieces one per
// line and joins them back; nothing here checks an address's form (the SMTP
// client parses the list when it sends).
#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace plover {

// Most addresses a list may hold: a box refuses the 64th "," and the
// address dialog a 65th entry.
constexpr size_t kMaxMailAddresses = 64;

size_t CountAddressSeparators(const std::string& text);
// A text with kMaxMailAddresses or more separators holds too many addresses.
bool HasTooManyAddresses(const std::string& text);
// The pieces between the separators, empty ones included ("a,,b" gives
// "a", "", "b"). An empty text holds no address and gives no piece.
std::vector<std::string> SplitAddressList(const std::string& text);
// The entries joined by "," (no separator after the last).
std::string JoinAddressList(const std::vector<std::string>& entries);
// Whether the add box's text has a character other than a blank.
bool IsAddableAddress(const std::string& text);

} // namespace plover
