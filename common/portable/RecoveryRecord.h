// What is known of a job whose pages were kept after it ended without
// delivering them: the record a runner keeps while it works (its run file)
// and the manifest of a recovered job are the same "key=value" lines.
// No Windows needed.
#pragma once

#include <string>
#include <vector>

namespace vlm {

struct RecoveryRecord {
    long m_nJob = 0;
    std::string m_strTitle;
    long m_nFunctionId = -1;
    std::string m_strFunction; // the function's display name
    std::string m_strFileType;
    int m_nPages = 0;
    std::string m_strTime; // local time, "yyyy-mm-dd hh.mm.ss"
    std::string m_strReason;
    // Run file: full paths of the page files. Manifest: their names in the
    // recovered job's folder, in delivery order.
    std::vector<std::string> m_Files;
    // Run file only: the recovery folder a move into it began with.
    std::string m_strRecoveryFolder;
    // Run file only: the save's temporary file being written ("" when none).
    std::string m_strSaveTemp;
};

// One line; a line break in the value would start another key and becomes a space.
std::string RecoveryLine(const char* key, const std::string& value);
std::string RecoveryLine(const char* key, long value);
// Header lines of a run file (job, title, function, file type).
std::string RecoveryJobLines(const RecoveryRecord& r);
// The whole manifest, section line first.
std::string RecoveryManifestText(const RecoveryRecord& r);
// Reads either; unknown keys and lines are skipped, "File" adds, others replace.
RecoveryRecord ParseRecoveryRecord(const std::string& text);

// A title as part of a folder name: characters a file name cannot hold become
// '_', the end is trimmed of dots and spaces, at most maxLength characters.
std::string SafeFileNamePart(const std::string& title, size_t maxLength = 40);
// "<job> <title> <time>"; the title part is left out when empty.
std::string RecoveryFolderName(const RecoveryRecord& r);

// "yyyy-mm-dd hh.mm.ss" into its six fields; false when it is not such a time.
bool ParseRecoveryTime(const std::string& text, int fields[6]);
std::string FormatRecoveryTime(int year, int month, int day, int hour, int minute, int second);

} // namespace vlm
