// The save-to-folder rules that need no Windows: destination paths, path
// roots, the "save folder lies under a watched folder" test, the folder-size
// limit check and the language order of system error texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kestrel {

// True for a path that begins with "\\" (a UNC name).
bool BeginsWithUncPrefix(const std::string& path);

// The folder without its trailing backslashes ("C:\\scans\\\\" -> "C:\\scans").
std::string TrimTrailingBackslashes(const std::string& folder);

// Where a file is copied: the folder without trailing backslashes, one "\\",
// then the file's own name (the part after its last "\\").
std::string DestinationPath(const std::string& folder, const std::string& file);

// The save's temporary file names: "vlmXXXX.tmp" with n's last four hex
// digits, and whether a path's file name is one of them (without case).
std::string SaveTempName(unsigned n);
bool IsSaveTempPath(const std::string& path);

// The root of an absolute path: "C:" for a drive path, "\\\\server\\share" for a
// UNC path; "" for anything else.
std::string PathRoot(const std::string& path);

// The save folder lies under the watched folder: both are network paths or
// share their root (compared without case), and the watched folder's text
// occurs in the save folder's text (without case) ending at a component
// boundary, so that "C:\\Scans" does not cover "C:\\Scans2". Both paths are
// expected in normal form (dots resolved, components as stored on disk).
bool LiesUnderWatchedFolder(const std::string& saveFolder, bool saveIsNetwork,
                            const std::string& watchedFolder, bool watchedIsNetwork);

// current + output, held at the largest value instead of wrapping.
uint64_t AddSaturated(uint64_t a, uint64_t b);

// The first entry, in index order, that is on and whose current size plus the
// output so far reaches its limit; -1 when none. Entry: m_bOn, m_ullLimit,
// m_ullCurrent.
template <class Entry, size_t N>
int FirstEntryOverLimit(const Entry (&entries)[N], uint64_t outputSoFar) {
    for (size_t i = 0; i < N; ++i) {
        const Entry& e = entries[i];
        if (e.m_bOn && AddSaturated(e.m_ullCurrent, outputSoFar) >= e.m_ullLimit)
            return static_cast<int>(i);
    }
    return -1;
}

// Language ids to try for a system error text, in order and without repeats:
// the thread's language, its primary language with the default sublanguage,
// English (United States, 1033), the neutral language (0).
std::vector<uint16_t> ErrorTextLanguages(uint16_t threadLanguage);

// Asks lookup for each language in order; the first text found is the answer,
// else "error %d" with the code.
std::string FirstErrorText(uint32_t code, const std::vector<uint16_t>& languages,
                           const std::function<bool(uint16_t, std::string&)>& lookup);

} // namespace kestrel
