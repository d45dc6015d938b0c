// CLocalize: the numbered message table (ids 0..1024). An id above 1024
// answers "ID too large"; an id without a text answers entry 0's text.
#pragma once
#include <initializer_list>
#include <string>
#include <vector>

class CLocalize {
public:
    static constexpr unsigned kMaxId = 1024;
    static constexpr size_t kMaxText = 1024; // characters kept per entry

    CLocalize() : m_texts(kMaxId + 1) {}
    std::string GetString(unsigned id) const;
    // Texts longer than kMaxText are cut. FALSE for an id above kMaxId.
    bool SetString(unsigned id, const std::string& text);

private:
    std::vector<std::string> m_texts;
};

// A localised text is no format string: its first "%s" takes value and every
// other character, a stray '%' included, stays as the catalogue has it.
std::string VlmFillIn(const std::string& text, const std::string& value);
// The same for texts of several values: each "%s" or "%d" in turn takes the
// next value; once the values are used up the rest stays as it is.
std::string VlmFillInEach(const std::string& text, std::initializer_list<std::string> values);
