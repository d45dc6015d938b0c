#include "editor/core/HelpFile.h"

#include <cstring>

namespace {
char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
} // namespace

const char* EdHelpFileForLanguage(const char* langDigits) {
    const char* english = "TASKDECKEN.HLP";
    if (!langDigits || std::strlen(langDigits) != 4)
        return english;
    char d[4];
    for (int i = 0; i < 4; ++i)
        d[i] = Lower(langDigits[i]);
    if (std::memcmp(d, "0411", 4) == 0)
        return "TASKDECKJP.HLP";
    // These languages have their primary id in the last two digits, so
    // every sublanguage (the first digits) gets the same file; of Chinese
    // only 0804 gets its own.
    if (d[2] == '0') {
        switch (d[3]) {
        case 'a':
            return "TASKDECKSP.HLP";
        case 'c':
            return "TASKDECKFR.HLP";
        case '7':
            return "TASKDECKGE.HLP";
        case '4':
            return d[1] == '8' ? "TASKDECKCH.HLP" : english;
        default:
            return english;
        }
    }
    if (d[2] == '1') {
        if (d[3] == '0')
            return "TASKDECKIT.HLP";
        if (d[3] == '3')
            return "TASKDECKDU.HLP";
    }
    return english;
}
