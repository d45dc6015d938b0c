// The device state file and its lock.
#include "vx410sim.h"
#include "pagegen.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#include <shlobj.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace vx410sim {
namespace {

constexpr const char* kStateFile = "state.txt";
constexpr const char* kTempFile = "state.tmp";
constexpr const char* kLockFile = "state.lock";
constexpr size_t kMaxFeeder = 10000;
constexpr size_t kMaxStateBytes = 4u << 20;

bool SetError(std::string* pError, const std::string& text) {
    if (pError)
        *pError = text;
    return false;
}

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty())
        return name;
    const char last = folder.back();
    if (last == '/' || last == '\\')
        return folder + name;
#ifdef _WIN32
    return folder + "\\" + name;
#else
    return folder + "/" + name;
#endif
}

// One exclusive lock on the folder's lock file, held for the object's life.
class CFolderLock {
public:
    CFolderLock() = default;
    CFolderLock(const CFolderLock&) = delete;
    CFolderLock& operator=(const CFolderLock&) = delete;
    ~CFolderLock() { Release(); }

    bool Acquire(const std::string& path, std::string* pError) {
#ifdef _WIN32
        m_hFile = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (m_hFile == INVALID_HANDLE_VALUE)
            return SetError(pError, "cannot open lock file " + path + " (error " +
                                        std::to_string(GetLastError()) + ")");
        OVERLAPPED ov = {};
        if (!LockFileEx(m_hFile, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &ov)) {
            const DWORD err = GetLastError();
            CloseHandle(m_hFile);
            m_hFile = INVALID_HANDLE_VALUE;
            return SetError(pError, "cannot lock " + path + " (error " + std::to_string(err) + ")");
        }
        return true;
#else
        m_nFd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (m_nFd < 0)
            return SetError(pError, "cannot open lock file " + path + ": " + std::strerror(errno));
        while (::flock(m_nFd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                const int err = errno;
                ::close(m_nFd);
                m_nFd = -1;
                return SetError(pError, "cannot lock " + path + ": " + std::strerror(err));
            }
        }
        return true;
#endif
    }

    void Release() {
#ifdef _WIN32
        if (m_hFile != INVALID_HANDLE_VALUE) {
            OVERLAPPED ov = {};
            UnlockFileEx(m_hFile, 0, 1, 0, &ov);
            CloseHandle(m_hFile);
            m_hFile = INVALID_HANDLE_VALUE;
        }
#else
        if (m_nFd >= 0) {
            ::flock(m_nFd, LOCK_UN);
            ::close(m_nFd);
            m_nFd = -1;
        }
#endif
    }

private:
#ifdef _WIN32
    HANDLE m_hFile = INVALID_HANDLE_VALUE;
#else
    int m_nFd = -1;
#endif
};

// Values keep every byte: printable ASCII as is, the rest as %XX.
std::string Escape(const std::string& s) {
    std::string out;
    static const char hex[] = "0123456789ABCDEF";
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F && c != '%') {
            out += char(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

bool Unescape(const std::string& s, std::string& out) {
    out.clear();
    auto hexval = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    };
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            out += s[i];
            continue;
        }
        if (i + 2 >= s.size())
            return false;
        const int hi = hexval(s[i + 1]), lo = hexval(s[i + 2]);
        if (hi < 0 || lo < 0)
            return false;
        out += char(hi * 16 + lo);
        i += 2;
    }
    return true;
}

bool ParseInt(const std::string& s, long long lo, long long hi, int& out) {
    if (s.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(s.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v < lo || v > hi)
        return false;
    out = int(v);
    return true;
}

bool ParseBool(const std::string& s, bool& out) {
    if (s == "0" || s == "1") {
        out = s == "1";
        return true;
    }
    return false;
}

bool ReadWholeFile(const std::string& path, std::string& text, bool& exists, std::string* pError) {
    exists = false;
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        std::error_code ec;
        if (!fs::exists(fs::path(path), ec))
            return true;
        return SetError(pError, "cannot open " + path);
    }
    exists = true;
    std::ostringstream ss;
    ss << f.rdbuf();
    text = ss.str();
    if (text.size() > kMaxStateBytes)
        return SetError(pError, path + " is too large");
    return true;
}

bool WriteAtomically(const std::string& folder, const std::string& text, std::string* pError) {
    const std::string tmp = Join(folder, kTempFile), dst = Join(folder, kStateFile);
    {
        std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
        if (!f)
            return SetError(pError, "cannot create " + tmp);
        f.write(text.data(), std::streamsize(text.size()));
        f.flush();
        if (!f)
            return SetError(pError, "cannot write " + tmp);
    }
#ifdef _WIN32
    // A virus scanner or indexer may hold the target for a moment.
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExA(tmp.c_str(), dst.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        if (attempt == 20)
            return SetError(pError, "cannot replace " + dst + " (error " +
                                        std::to_string(GetLastError()) + ")");
        Sleep(10);
    }
#else
    if (std::rename(tmp.c_str(), dst.c_str()) != 0)
        return SetError(pError, "cannot replace " + dst + ": " + std::strerror(errno));
    return true;
#endif
}

// Reads and parses under a lock the caller holds.
bool LoadLocked(const std::string& folder, DeviceState& s, std::string* pError) {
    std::string text;
    bool exists = false;
    if (!ReadWholeFile(Join(folder, kStateFile), text, exists, pError))
        return false;
    s = DeviceState{};
    if (!exists)
        return true;
    std::string err;
    if (!ParseState(text, s, &err))
        return SetError(pError, Join(folder, kStateFile) + ": " + err);
    return true;
}

bool EnsureFolder(const std::string& folder, std::string* pError) {
    if (folder.empty())
        return SetError(pError, "no state folder");
    std::error_code ec;
    fs::create_directories(fs::path(folder), ec);
    if (!fs::is_directory(fs::path(folder), ec))
        return SetError(pError, "state folder " + folder + " cannot be created");
    return true;
}

void RemovePageFile(const std::string& folder, const FeederEntry& e) {
    if (e.m_strFile.empty())
        return;
    std::error_code ec;
    fs::remove(fs::path(Join(folder, e.m_strFile)), ec);
}

} // namespace

std::string DisplayKindName(int kind) {
    switch (kind) {
    case kDisplayNone:
        return "none";
    case kDisplayNormal:
        return "normal";
    case kDisplayWarning:
        return "warning";
    case kDisplayError:
        return "error";
    default:
        return "unknown (" + std::to_string(kind) + ")";
    }
}

const char* FriendlyName(Attachment a) {
    switch (a) {
    case Attachment::Usb:
        return kFriendlyNameUsb;
    case Attachment::Scsi:
        return kFriendlyNameScsi;
    default:
        return "";
    }
}

std::array<uint8_t, kSenseSize> SenseData::Bytes() const {
    std::array<uint8_t, kSenseSize> b{};
    b[0] = 0x70; // current error, fixed format
    b[2] = uint8_t(m_nKey & 0x0F);
    b[7] = uint8_t(kSenseSize - 8);
    b[12] = uint8_t(m_nCode >> 8);
    b[13] = uint8_t(m_nCode & 0xFF);
    return b;
}

std::string DeviceState::DeviceName() const {
    char num[16];
    std::snprintf(num, sizeof num, "%04d", m_nDeviceIndex);
    return std::string(kStiClassPrefix) + num;
}

std::string SerializeState(const DeviceState& s) {
    std::ostringstream o;
    o << "# VX-410 simulator state (written by the simulator; edit with the vx410 tool)\n";
    o << "attachment="
      << (s.m_attachment == Attachment::Usb    ? "usb"
          : s.m_attachment == Attachment::Scsi ? "scsi"
                                               : "none")
      << "\n";
    o << "device_index=" << s.m_nDeviceIndex << "\n";
    o << "panel_setting=" << s.m_nPanelSetting << "\n";
    o << "selected_job=" << s.m_nSelectedJob << "\n";
    o << "panel_message=" << Escape(s.m_strPanelMessage) << "\n";
    o << "display_kind=" << s.m_nDisplayKind << "\n";
    o << "cover_open=" << int(s.m_bCoverOpen) << "\n";
    o << "pages_taken=" << s.m_nPagesTaken << "\n";
    o << "next_generated=" << s.m_nNextGenerated << "\n";
    o << "next_file=" << s.m_nNextFile << "\n";
    o << "jam_at_page=" << s.m_nJamAtPage << "\n";
    o << "double_feed_at_page=" << s.m_nDoubleFeedAtPage << "\n";
    o << "jammed=" << int(s.m_bJammed) << "\n";
    o << "double_fed=" << int(s.m_bDoubleFed) << "\n";
    o << "lamp_error=" << int(s.m_bLampError) << "\n";
    char hex[32];
    std::snprintf(hex, sizeof hex, "0x%X", unsigned(s.m_nDiagError));
    o << "diag_error=" << hex << "\n";
    if (s.m_bSenseArmed) {
        std::snprintf(hex, sizeof hex, "%d,0x%04X", s.m_armedSense.m_nKey,
                      unsigned(s.m_armedSense.m_nCode));
        o << "armed_sense=" << hex << "\n";
    } else {
        o << "armed_sense=none\n";
    }
    o << "source_fault=" << s.m_strSourceFault << "\n";
    o << "source_fault_at_page=" << s.m_nSourceFaultAtPage << "\n";
    o << "start_pending=" << int(s.m_bStartPending) << "\n";
    o << "runner_holds=" << int(s.m_bRunnerHolds) << "\n";
    o << "commands=" << s.m_nCommands << "\n";
    for (int i = 0; i < kJobCount; ++i)
        if (!s.m_titles[size_t(i)].empty())
            o << "title." << (i + 1) << "=" << Escape(s.m_titles[size_t(i)]) << "\n";
    for (const FeederEntry& e : s.m_feeder) {
        if (e.m_strFile.empty())
            o << "page=gen:" << e.m_nGenerated << "\n";
        else
            o << "page=file:" << Escape(e.m_strFile) << "\n";
        // Each belongs to the page line above it.
        for (const Barcode& b : e.m_barcodes)
            o << "page.barcode=" << b.m_nType << ":" << Escape(b.m_strText) << "\n";
    }
    return o.str();
}

bool ParseState(const std::string& text, DeviceState& s, std::string* pError) {
    DeviceState r;
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    constexpr int kBig = 1 << 30;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        const size_t eq = line.find('=');
        auto bad = [&](const char* what) {
            return SetError(pError, "line " + std::to_string(lineNo) + ": " + what);
        };
        if (eq == std::string::npos)
            return bad("no '='");
        const std::string key = line.substr(0, eq), val = line.substr(eq + 1);
        bool ok = true;
        if (key == "attachment") {
            if (val == "usb")
                r.m_attachment = Attachment::Usb;
            else if (val == "scsi")
                r.m_attachment = Attachment::Scsi;
            else if (val == "none")
                r.m_attachment = Attachment::None;
            else
                ok = false;
        } else if (key == "device_index") {
            ok = ParseInt(val, 0, 9999, r.m_nDeviceIndex);
        } else if (key == "panel_setting") {
            ok = ParseInt(val, 0, 255, r.m_nPanelSetting);
        } else if (key == "selected_job") {
            ok = ParseInt(val, 1, kJobCount, r.m_nSelectedJob);
        } else if (key == "panel_message") {
            ok = Unescape(val, r.m_strPanelMessage) &&
                 r.m_strPanelMessage.size() <= kPanelTextMaxBytes;
        } else if (key == "display_kind") {
            ok = ParseInt(val, 0, 255, r.m_nDisplayKind);
        } else if (key == "cover_open") {
            ok = ParseBool(val, r.m_bCoverOpen);
        } else if (key == "pages_taken") {
            ok = ParseInt(val, 0, kBig, r.m_nPagesTaken);
        } else if (key == "next_generated") {
            ok = ParseInt(val, 1, kBig, r.m_nNextGenerated);
        } else if (key == "next_file") {
            ok = ParseInt(val, 1, kBig, r.m_nNextFile);
        } else if (key == "jam_at_page") {
            ok = ParseInt(val, 0, kBig, r.m_nJamAtPage);
        } else if (key == "double_feed_at_page") {
            ok = ParseInt(val, 0, kBig, r.m_nDoubleFeedAtPage);
        } else if (key == "jammed") {
            ok = ParseBool(val, r.m_bJammed);
        } else if (key == "double_fed") {
            ok = ParseBool(val, r.m_bDoubleFed);
        } else if (key == "lamp_error") {
            ok = ParseBool(val, r.m_bLampError);
        } else if (key == "diag_error") {
            ok = ParseInt(val, 0, 0xFFFF, r.m_nDiagError);
        } else if (key == "armed_sense") {
            if (val == "none") {
                r.m_bSenseArmed = false;
            } else {
                const size_t comma = val.find(',');
                int k = 0, c = 0;
                ok = comma != std::string::npos && ParseInt(val.substr(0, comma), 0, 15, k) &&
                     ParseInt(val.substr(comma + 1), 0, 0xFFFF, c);
                r.m_bSenseArmed = ok;
                r.m_armedSense = SenseData{uint8_t(k), uint16_t(c)};
            }
        } else if (key == "source_fault") {
            ok = val.size() <= 32 &&
                 val.find_first_not_of("abcdefghijklmnopqrstuvwxyz") == std::string::npos;
            r.m_strSourceFault = val;
        } else if (key == "source_fault_at_page") {
            ok = ParseInt(val, 0, kBig, r.m_nSourceFaultAtPage);
        } else if (key == "start_pending") {
            ok = ParseBool(val, r.m_bStartPending);
        } else if (key == "runner_holds") {
            ok = ParseBool(val, r.m_bRunnerHolds);
        } else if (key == "commands") {
            ok = ParseInt(val, 0, 0x7FFFFFFF, r.m_nCommands);
        } else if (key.rfind("title.", 0) == 0) {
            int job = 0;
            std::string title;
            ok = ParseInt(key.substr(6), 1, kJobCount, job) && Unescape(val, title) &&
                 title.size() <= kTitleMaxBytes;
            if (ok)
                r.m_titles[size_t(job - 1)] = title;
        } else if (key == "page") {
            FeederEntry e;
            if (val.rfind("gen:", 0) == 0) {
                ok = ParseInt(val.substr(4), 1, kBig, e.m_nGenerated);
            } else if (val.rfind("file:", 0) == 0) {
                // Only plain names inside the folder: the file is deleted later.
                ok = Unescape(val.substr(5), e.m_strFile) && !e.m_strFile.empty() &&
                     e.m_strFile.find_first_of("/\\:") == std::string::npos && e.m_strFile != "." &&
                     e.m_strFile != "..";
            } else {
                ok = false;
            }
            if (ok) {
                if (r.m_feeder.size() >= kMaxFeeder)
                    return bad("too many pages");
                r.m_feeder.push_back(e);
            }
        } else if (key == "page.barcode") {
            const size_t colon = val.find(':');
            Barcode b;
            int type = 0;
            ok = !r.m_feeder.empty() && colon != std::string::npos &&
                 ParseInt(val.substr(0, colon), 0, int(kMaxBarcodeType), type) &&
                 Unescape(val.substr(colon + 1), b.m_strText);
            if (ok) {
                b.m_nType = uint32_t(type);
                std::vector<Barcode>& list = r.m_feeder.back().m_barcodes;
                list.push_back(b);
                ok = CheckBarcodes(list).empty();
            }
        }
        // other keys: ignored, so that older tools read newer files
        if (!ok)
            return bad(("bad value for " + key).c_str());
    }
    s = std::move(r);
    return true;
}

const char* TakeResultName(TakeResult r) {
    switch (r) {
    case TakeResult::Page:
        return "page";
    case TakeResult::Empty:
        return "no paper";
    case TakeResult::CoverOpen:
        return "cover open";
    case TakeResult::Jam:
        return "paper jam";
    case TakeResult::DoubleFeed:
        return "double feed";
    case TakeResult::LampError:
        return "lamp error";
    case TakeResult::HardwareError:
        return "hardware error";
    case TakeResult::NotReady:
        return "not ready";
    }
    return "?";
}

CSimDevice::CSimDevice(std::string folder) : m_strFolder(std::move(folder)) {}

bool CSimDevice::Read(DeviceState& out, std::string* pError) const {
    if (!EnsureFolder(m_strFolder, pError))
        return false;
    // Readers lock too: on Windows a reader's open handle would make the
    // writer's replace fail.
    CFolderLock lock;
    if (!lock.Acquire(Join(m_strFolder, kLockFile), pError))
        return false;
    return LoadLocked(m_strFolder, out, pError);
}

bool CSimDevice::Update(const std::function<bool(DeviceState&)>& fn, std::string* pError) {
    if (!EnsureFolder(m_strFolder, pError))
        return false;
    CFolderLock lock;
    if (!lock.Acquire(Join(m_strFolder, kLockFile), pError))
        return false;
    DeviceState s;
    if (!LoadLocked(m_strFolder, s, pError))
        return false;
    if (!fn(s)) {
        if (pError)
            pError->clear();
        return false;
    }
    return WriteAtomically(m_strFolder, SerializeState(s), pError);
}

bool CSimDevice::SetSelectedJob(int job, std::string* pError) {
    if (job < 1 || job > kJobCount)
        return SetError(pError, "job number must be 1 to 99");
    return Update(
        [&](DeviceState& s) {
            s.m_nSelectedJob = job;
            return true;
        },
        pError);
}

bool CSimDevice::PressStart(std::string* pError) {
    return Update(
        [](DeviceState& s) {
            s.m_bStartPending = true;
            return true;
        },
        pError);
}

bool CSimDevice::TakeStartPress() {
    return Update([](DeviceState& s) {
        if (!s.m_bStartPending)
            return false;
        s.m_bStartPending = false;
        return true;
    });
}

bool CSimDevice::SetRunnerHolds(bool bHolds, std::string* pError) {
    return Update(
        [&](DeviceState& s) {
            s.m_bRunnerHolds = bHolds;
            return true;
        },
        pError);
}

std::string CheckBarcodes(const std::vector<Barcode>& barcodes) {
    if (barcodes.size() > kMaxBarcodes)
        return "a sheet carries at most " + std::to_string(kMaxBarcodes) + " barcodes";
    for (const Barcode& b : barcodes) {
        if (b.m_strText.empty() || b.m_strText.size() > kMaxBarcodeText)
            return "a barcode text has 1 to " + std::to_string(kMaxBarcodeText) + " bytes";
        if (b.m_nType > kMaxBarcodeType)
            return "a barcode type is 0 to " + std::to_string(kMaxBarcodeType);
    }
    return std::string();
}

bool CSimDevice::FeedFiles(const std::vector<std::string>& paths,
                           const std::vector<Barcode>& barcodes, std::string* pError) {
    if (paths.empty())
        return SetError(pError, "no files to feed");
    const std::string bad = CheckBarcodes(barcodes);
    if (!bad.empty())
        return SetError(pError, bad);
    // Check every file first so that a bad one feeds nothing.
    std::vector<std::string> exts;
    for (const std::string& p : paths) {
        PageImage img;
        if (!ReadImageFile(p, img, pError))
            return false;
        std::string ext = fs::path(p).extension().string();
        if (ext.size() > 8 || ext.find_first_of("/\\:") != std::string::npos)
            ext = ".img";
        exts.push_back(ext);
    }
    std::string err;
    std::vector<std::string> copied;
    const bool ok = Update(
        [&](DeviceState& s) {
            if (s.m_feeder.size() + paths.size() > kMaxFeeder) {
                err = "the feeder holds at most " + std::to_string(kMaxFeeder) + " pages";
                return false;
            }
            if (s.m_feeder.empty())
                s.m_nPagesTaken = 0;
            for (size_t i = 0; i < paths.size(); ++i) {
                char name[64];
                std::snprintf(name, sizeof name, "page-%06d", s.m_nNextFile++);
                const std::string file = name + exts[i];
                std::error_code ec;
                fs::copy_file(fs::path(paths[i]), fs::path(Join(m_strFolder, file)),
                              fs::copy_options::overwrite_existing, ec);
                if (ec) {
                    err = "cannot copy " + paths[i] + ": " + ec.message();
                    for (const std::string& c : copied)
                        fs::remove(fs::path(Join(m_strFolder, c)), ec);
                    return false;
                }
                copied.push_back(file);
                s.m_feeder.push_back(FeederEntry{file, 0, barcodes});
            }
            return true;
        },
        pError);
    if (!ok && !err.empty())
        return SetError(pError, err);
    return ok;
}

bool CSimDevice::FeedGenerated(int count, const std::vector<Barcode>& barcodes,
                               std::string* pError) {
    if (count < 1 || size_t(count) > kMaxFeeder)
        return SetError(pError, "page count must be 1 to " + std::to_string(kMaxFeeder));
    const std::string bad = CheckBarcodes(barcodes);
    if (!bad.empty())
        return SetError(pError, bad);
    std::string err;
    const bool ok = Update(
        [&](DeviceState& s) {
            if (s.m_feeder.size() + size_t(count) > kMaxFeeder) {
                err = "the feeder holds at most " + std::to_string(kMaxFeeder) + " pages";
                return false;
            }
            if (s.m_feeder.empty())
                s.m_nPagesTaken = 0;
            for (int i = 0; i < count; ++i)
                s.m_feeder.push_back(FeederEntry{"", s.m_nNextGenerated++, barcodes});
            return true;
        },
        pError);
    if (!ok && !err.empty())
        return SetError(pError, err);
    return ok;
}

TakeResult CSimDevice::TakeNextPage(PageSource& out, std::string* pError) {
    TakeResult result = TakeResult::NotReady;
    FeederEntry lost;
    std::string err;
    if (!Update(
            [&](DeviceState& s) {
                if (s.m_attachment == Attachment::None) {
                    result = TakeResult::NotReady;
                    err = "no scanner attached";
                    return false;
                }
                if (s.m_nDiagError != 0) {
                    result = TakeResult::HardwareError;
                    return false;
                }
                if (s.m_bLampError) {
                    result = TakeResult::LampError;
                    return false;
                }
                if (s.m_bCoverOpen) {
                    result = TakeResult::CoverOpen;
                    return false;
                }
                if (s.m_bJammed) { // the sheet is still stuck
                    result = TakeResult::Jam;
                    return false;
                }
                if (s.m_feeder.empty()) {
                    result = TakeResult::Empty;
                    return false;
                }
                const int due = s.m_nPagesTaken + 1;
                if (s.m_nJamAtPage == due) {
                    s.m_nJamAtPage = 0;
                    s.m_bJammed = true;
                    result = TakeResult::Jam;
                    return true;
                }
                const FeederEntry e = s.m_feeder.front();
                s.m_feeder.erase(s.m_feeder.begin());
                s.m_nPagesTaken = due;
                if (s.m_nDoubleFeedAtPage == due) {
                    s.m_nDoubleFeedAtPage = 0;
                    s.m_bDoubleFed = true;
                    lost = e;
                    result = TakeResult::DoubleFeed;
                    return true;
                }
                s.m_bDoubleFed = false;
                out = PageSource{};
                out.m_bIsFile = !e.m_strFile.empty();
                out.m_strPath = out.m_bIsFile ? Join(m_strFolder, e.m_strFile) : std::string();
                out.m_nGenerated = e.m_nGenerated;
                out.m_nPageInBatch = due;
                out.m_barcodes = e.m_barcodes;
                result = TakeResult::Page;
                return true;
            },
            &err)) {
        if (result == TakeResult::NotReady && pError)
            *pError = err.empty() ? "state folder unusable" : err;
        return result;
    }
    if (result == TakeResult::DoubleFeed)
        RemovePageFile(m_strFolder, lost);
    return result;
}

void CSimDevice::ReleasePageFile(const PageSource& page) {
    if (!page.m_bIsFile || page.m_strPath.empty())
        return;
    std::error_code ec;
    fs::remove(fs::path(page.m_strPath), ec);
}

bool CSimDevice::ClearFaults(std::string* pError) {
    return Update(
        [](DeviceState& s) {
            s.m_nJamAtPage = 0;
            s.m_nDoubleFeedAtPage = 0;
            s.m_bJammed = false;
            s.m_bDoubleFed = false;
            s.m_bLampError = false;
            s.m_nDiagError = 0;
            s.m_bSenseArmed = false;
            s.m_armedSense = SenseData{};
            s.m_strSourceFault.clear();
            s.m_nSourceFaultAtPage = 0;
            return true;
        },
        pError);
}

bool CSimDevice::ClearAll(std::string* pError) {
    std::vector<FeederEntry> removed;
    const bool ok = Update(
        [&](DeviceState& s) {
            removed = s.m_feeder;
            DeviceState fresh;
            fresh.m_attachment = s.m_attachment;
            fresh.m_nDeviceIndex = s.m_nDeviceIndex;
            fresh.m_nPanelSetting = s.m_nPanelSetting;
            fresh.m_titles = s.m_titles;
            fresh.m_nSelectedJob = s.m_nSelectedJob;
            fresh.m_nNextGenerated = s.m_nNextGenerated;
            fresh.m_nNextFile = s.m_nNextFile;
            fresh.m_nCommands = s.m_nCommands;
            s = fresh;
            return true;
        },
        pError);
    if (ok)
        for (const FeederEntry& e : removed)
            RemovePageFile(m_strFolder, e);
    return ok;
}

bool DeviceNameMatches(const DeviceState& s, const char* name) {
    if (!name || s.m_attachment == Attachment::None)
        return false;
    const std::string want = s.DeviceName();
    if (std::strlen(name) != want.size())
        return false;
    for (size_t i = 0; i < want.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(name[i])) !=
            std::tolower(static_cast<unsigned char>(want[i])))
            return false;
    return true;
}

std::string ProbeFriendlyName(const DeviceState& s, const char* friendlyName) {
    if (!friendlyName || s.m_attachment == Attachment::None)
        return {};
    return std::strcmp(friendlyName, FriendlyName(s.m_attachment)) == 0 ? s.DeviceName()
                                                                        : std::string();
}

std::string ResolveStateFolder(std::string* pError) {
    std::string folder;
#ifdef _WIN32
    // The process environment, not a C runtime's copy: a DLL and its host
    // may not share one.
    char env[MAX_PATH * 2] = {};
    const DWORD envLen = GetEnvironmentVariableA("VX410SIM_DIR", env, sizeof env);
    if (envLen > 0 && envLen < sizeof env)
        folder = env;
    if (folder.empty()) {
        HKEY hKey = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Velmora Works Inc.\\VX-410 Simulator", 0,
                          KEY_QUERY_VALUE, &hKey) == ERROR_SUCCESS) {
            char buf[MAX_PATH * 2] = {};
            DWORD type = 0, size = sizeof buf - 1;
            if (RegQueryValueExA(hKey, "StateFolder", nullptr, &type, reinterpret_cast<BYTE*>(buf),
                                 &size) == ERROR_SUCCESS &&
                (type == REG_SZ || type == REG_EXPAND_SZ)) {
                buf[std::min<size_t>(size, sizeof buf - 1)] = '\0';
                if (type == REG_EXPAND_SZ) {
                    char expanded[MAX_PATH * 2] = {};
                    const DWORD n = ExpandEnvironmentStringsA(buf, expanded, sizeof expanded);
                    if (n > 0 && n <= sizeof expanded)
                        folder = expanded;
                } else {
                    folder = buf;
                }
            }
            RegCloseKey(hKey);
        }
    }
    if (folder.empty()) {
        char appData[MAX_PATH] = {};
        if (FAILED(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0,
                                    appData))) {
            SetError(pError, "the local application data folder is unknown");
            return {};
        }
        folder = std::string(appData) + "\\Velmora Works\\VX-410 Simulator";
    }
#else
    if (const char* envDir = std::getenv("VX410SIM_DIR"); envDir && *envDir)
        folder = envDir;
    if (folder.empty()) {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            SetError(pError, "neither VX410SIM_DIR nor HOME is set");
            return {};
        }
        folder = std::string(home) + "/.vx410sim";
    }
#endif
    if (!EnsureFolder(folder, pError))
        return {};
    return folder;
}

} // namespace vx410sim
