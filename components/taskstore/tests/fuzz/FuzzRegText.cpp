// Any bytes either fail to parse or parse into a store that writes back to a
// text which parses to the same store and writes identically.
#include "RegText.h"
#include "TestProtector.h"

#include <cstdlib>

using namespace taskstore;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CTestProtector prot;
    std::string input(reinterpret_cast<const char*>(data), size);
    CStoreData parsed;
    CRegError err;
    if (!ParseRegText(input, parsed, err, &prot)) {
        if (err.m_nLine < 1 || err.m_strText.empty())
            std::abort(); // every refusal names a line and a reason
        return 0;
    }
    std::string text;
    if (!FormatRegText(parsed, text, err, &prot))
        std::abort();
    CStoreData again;
    if (!ParseRegText(text, again, err, &prot) || !(again == parsed))
        std::abort();
    std::string text2;
    if (!FormatRegText(again, text2, err, &prot) || text2 != text)
        std::abort();
    return 0;
}
