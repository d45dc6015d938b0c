#include "editor/core/AddressList.h"

#include <algorithm>

namespace plover {

size_t CountAddressSeparators(const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), ','));
}

bool HasTooManyAddresses(const std::string& text) {
    return CountAddressSeparators(text) >= kMaxMailAddresses;
}

std::vector<std::string> SplitAddressList(const std::string& text) {
    std::vector<std::string> pieces;
    if (text.empty())
        return pieces;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        pieces.push_back(text.substr(start, comma == std::string::npos ? comma : comma - start));
        if (comma == std::string::npos)
            return pieces;
        start = comma + 1;
    }
}

std::string JoinAddressList(const std::vector<std::string>& entries) {
    std::string text;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i)
            text += ',';
        text += entries[i];
    }
    return text;
}

bool IsAddableAddress(const std::string& text) {
    return text.find_first_not_of(" \t") != std::string::npos;
}

} // namespace plover
