// Which compiled help file the job list tool opens for the user's language.
#pragma once
#include <cstdint>

// By the primary language of a Windows language id: German "TASKDECKGE.chm",
// Spanish "TASKDECKSP.chm", French "TASKDECKFR.chm", Italian
// "TASKDECKIT.chm", Japanese "TASKDECKJP.chm", Korean "TASKDECKKR.chm", Dutch
// "TASKDECKDU.chm", simplified Chinese "TASKDECKCH_Sim.chm"; every other
// language the English file.
const char* HelpFileForLanguage(uint16_t langId);
constexpr const char kEnglishHelpFile[] = "TASKDECKEN.chm";
