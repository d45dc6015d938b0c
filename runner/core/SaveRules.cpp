#include "SaveRules.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>

namespace kestrel {

namespace {
char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

std::string LowerText(const std::string& s) {
    std::string out(s);
    for (char& c : out)
        c = Lower(c);
    return out;
}

bool IsDriveLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
} // namespace

bool BeginsWithUncPrefix(const std::string& path) {
    return path.size() >= 2 && path[0] == '\\' && path[1] == '\\';
}

std::string TrimTrailingBackslashes(const std::string& folder) {
    size_t n = folder.size();
    while (n > 0 && folder[n - 1] == '\\')
        --n;
    return folder.substr(0, n);
}

std::string DestinationPath(const std::string& folder, const std::string& file) {
    const size_t slash = file.rfind('\\');
    const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
    return TrimTrailingBackslashes(folder) + "\\" + name;
}

std::string SaveTempName(unsigned n) {
    char name[16];
    snprintf(name, sizeof name, "vlm%04X.tmp", n & 0xFFFF);
    return name;
}

bool IsSaveTempPath(const std::string& path) {
    const size_t slash = path.rfind('\\');
    const std::string name = LowerText(slash == std::string::npos ? path : path.substr(slash + 1));
    if (name.size() != 11 || name.compare(0, 3, "vlm") != 0 || name.compare(7, 4, ".tmp") != 0)
        return false;
    return std::all_of(name.begin() + 3, name.begin() + 7,
                       [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

std::string PathRoot(const std::string& path) {
    if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':')
        return path.substr(0, 2);
    if (!BeginsWithUncPrefix(path))
        return std::string();
    // "\\server\share": up to the separator after the share name.
    const size_t server = path.find('\\', 2);
    if (server == std::string::npos)
        return path;
    const size_t share = path.find('\\', server + 1);
    return share == std::string::npos ? path : path.substr(0, share);
}

bool LiesUnderWatchedFolder(const std::string& saveFolder, bool saveIsNetwork,
                            const std::string& watchedFolder, bool watchedIsNetwork) {
    if (!(saveIsNetwork && watchedIsNetwork)) {
        const std::string root = PathRoot(saveFolder);
        if (root.empty() || LowerText(root) != LowerText(PathRoot(watchedFolder)))
            return false;
    }
    // A trailing separator is not part of the folder's name: "C:\\Scans\\"
    // watches "C:\\Scans" itself.
    const std::string save = LowerText(TrimTrailingBackslashes(saveFolder));
    const std::string watched = LowerText(TrimTrailingBackslashes(watchedFolder));
    if (watched.empty())
        return false;
    for (size_t p = save.find(watched); p != std::string::npos; p = save.find(watched, p + 1)) {
        const size_t end = p + watched.size();
        if (end == save.size() || save[end] == '\\')
            return true;
    }
    return false;
}

uint64_t AddSaturated(uint64_t a, uint64_t b) {
    const uint64_t sum = a + b;
    return sum < a ? std::numeric_limits<uint64_t>::max() : sum;
}

std::vector<uint16_t> ErrorTextLanguages(uint16_t threadLanguage) {
    // MAKELANGID(primary, SUBLANG_DEFAULT): the sublanguage sits above bit 10.
    const uint16_t primaryDefault = static_cast<uint16_t>((threadLanguage & 0x3FF) | (1u << 10));
    std::vector<uint16_t> out;
    for (uint16_t lang : {threadLanguage, primaryDefault, uint16_t(1033), uint16_t(0)}) {
        bool seen = false;
        for (uint16_t l : out)
            seen = seen || l == lang;
        if (!seen)
            out.push_back(lang);
    }
    return out;
}

std::string FirstErrorText(uint32_t code, const std::vector<uint16_t>& languages,
                           const std::function<bool(uint16_t, std::string&)>& lookup) {
    for (uint16_t lang : languages) {
        std::string text;
        if (lookup && lookup(lang, text))
            return text;
    }
    char buf[32];
    snprintf(buf, sizeof buf, "error %d", static_cast<int>(code));
    return buf;
}

} // namespace kestrel
