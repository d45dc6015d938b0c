#include "tool/core/HelpFile.h"

const char* HelpFileForLanguage(uint16_t langId) {
    const unsigned primary = langId & 0x3FFu;
    const unsigned sub = langId >> 10;
    switch (primary) {
    case 0x07:
        return "TASKDECKGE.chm";
    case 0x0A:
        return "TASKDECKSP.chm";
    case 0x0C:
        return "TASKDECKFR.chm";
    case 0x10:
        return "TASKDECKIT.chm";
    case 0x11:
        return "TASKDECKJP.chm";
    case 0x12:
        return "TASKDECKKR.chm";
    case 0x13:
        return "TASKDECKDU.chm";
    case 0x04:
        // Only the simplified script has a file of its own.
        if (sub == 0x02)
            return "TASKDECKCH_Sim.chm";
        break;
    }
    return kEnglishHelpFile;
}
