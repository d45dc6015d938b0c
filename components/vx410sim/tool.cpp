// The vx410 command-line tool: drives the simulated scanner by hand and from
// test scripts. Kept portable so that its parsing and output are tested
// natively; the Windows program only resolves the folder and prints.
#include "vx410sim.h"
#include "pagegen.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace vx410sim {
namespace {

constexpr const char* kHelp =
    "vx410 - VX-410 scanner SIMULATOR (no real scanner is used or needed)\n"
    "\n"
    "Drives the simulated VX-410 that the device library, the scanner service and\n"
    "the TWAIN data source use. The state lives in a folder: VX410SIM_DIR, else the\n"
    "registry value HKCU\\Software\\Velmora Works Inc.\\VX-410 Simulator\\StateFolder,\n"
    "else <local application data>\\Velmora Works\\VX-410 Simulator.\n"
    "\n"
    "Commands:\n"
    "  status                    device, panel, feeder and faults\n"
    "  select N                  select job N (1-99) on the panel\n"
    "  press start               press the Start button\n"
    "  panel                     job titles and the message line\n"
    "  title N                   print the title of job N\n"
    "  feed FILES...             put image files (PBM/PGM/PPM binary, BMP) in the feeder\n"
    "  feed --generate N         put N generated document pages in the feeder\n"
    "      before either: --barcode TEXT prints a barcode on every sheet fed (as\n"
    "      often as given); --barcode-type N sets the TWAIN type (TWBT_, default 4\n"
    "      Code 128) of the barcodes after it\n"
    "  cover open|closed         open or close the cover\n"
    "  attach usb|scsi|none      which connection the scanner is attached by\n"
    "  fault jam N               paper jam when page N is fed\n"
    "  fault doublefeed N        double feed when page N is fed\n"
    "  fault lamp on|off         lamp error\n"
    "  fault diag NUM|off        hardware error with diagnostic number NUM (e.g. 0xE33)\n"
    "  fault sense KEY CODE      the next command fails with this sense data\n"
    "  fault source NAME N       the TWAIN data source fails at image N of a batch:\n"
    "                            setupmem, imageinfo (the call fails), zerowidth,\n"
    "                            zerodepth, hugepage (image information), hugebuffer\n"
    "                            (memory transfer set-up), hugestrip (a first strip\n"
    "                            beyond its buffer), nativefail (native image),\n"
    "                            crash (an access violation inside the transfer),\n"
    "                            exit (the program ends inside the transfer)\n"
    "  fault clear               clear all faults\n"
    "  clear                     empty the feeder, clear faults, button and message\n"
    "  help                      this text\n"
    "Exit codes: 0 done, 1 the state could not be used, 2 bad command line.\n";

bool ToInt(const std::string& s, long long lo, long long hi, int& out) {
    if (s.empty())
        return false;
    char* end = nullptr;
    const long long v = std::strtoll(s.c_str(), &end, 0);
    if (*end != '\0' || v < lo || v > hi)
        return false;
    out = int(v);
    return true;
}

std::string Hex(int v, int digits) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%0*X", digits, unsigned(v));
    return b;
}

std::string Status(const CSimDevice& dev, const DeviceState& s) {
    std::ostringstream o;
    o << "VX-410 simulator, state folder " << dev.Folder() << "\n";
    if (s.m_attachment == Attachment::None)
        o << "device: not attached\n";
    else
        o << "device: " << FriendlyName(s.m_attachment) << " as " << s.DeviceName() << "\n";
    o << "panel setting: " << s.m_nPanelSetting << "\n";
    o << "selected job: " << s.m_nSelectedJob << "\n";
    o << "message: [" << DisplayKindName(s.m_nDisplayKind) << "] " << s.m_strPanelMessage << "\n";
    int files = 0;
    for (const FeederEntry& e : s.m_feeder)
        files += e.m_strFile.empty() ? 0 : 1;
    o << "feeder: " << s.m_feeder.size() << " pages (" << files << " files, "
      << s.m_feeder.size() - size_t(files) << " generated), paper "
      << (s.PaperPresent() ? "present" : "absent") << ", " << s.m_nPagesTaken << " taken\n";
    o << "cover: " << (s.m_bCoverOpen ? "open" : "closed") << "\n";
    std::string faults;
    auto add = [&](const std::string& f) { faults += (faults.empty() ? "" : ", ") + f; };
    if (s.m_nJamAtPage)
        add("jam at page " + std::to_string(s.m_nJamAtPage));
    if (s.m_nDoubleFeedAtPage)
        add("double feed at page " + std::to_string(s.m_nDoubleFeedAtPage));
    if (s.m_bJammed)
        add("paper jammed");
    if (s.m_bDoubleFed)
        add("double feed happened");
    if (s.m_bLampError)
        add("lamp error");
    if (s.m_nDiagError)
        add("diagnostic error " + Hex(s.m_nDiagError, 3));
    if (s.m_bSenseArmed)
        add("next command fails with sense key " + std::to_string(s.m_armedSense.m_nKey) +
            " code " + Hex(s.m_armedSense.m_nCode, 4));
    if (!s.m_strSourceFault.empty())
        add("data source fault " + s.m_strSourceFault + " at page " +
            std::to_string(s.m_nSourceFaultAtPage));
    o << "faults: " << (faults.empty() ? "none" : faults) << "\n";
    o << "start button: " << (s.m_bStartPending ? "pressed (pending)" : "not pressed") << "\n";
    o << "runner holds the scanner: " << (s.m_bRunnerHolds ? "yes" : "no") << "\n";
    return o.str();
}

} // namespace

int RunTool(CSimDevice& dev, const std::vector<std::string>& args, std::string& out,
            std::string& err) {
    auto usage = [&](const std::string& text) {
        err += "vx410: " + text + "\n(run \"vx410 help\" for the commands)\n";
        return 2;
    };
    auto failed = [&](const std::string& text) {
        err += "vx410: " + text + "\n";
        return 1;
    };
    auto update = [&](const std::function<bool(DeviceState&)>& fn) {
        std::string e;
        if (!dev.Update(fn, &e))
            return failed(e.empty() ? "nothing changed" : e);
        return 0;
    };
    if (args.empty() || args[0] == "help" || args[0] == "--help" || args[0] == "-h" ||
        args[0] == "/?") {
        out += kHelp;
        return 0;
    }
    const std::string& cmd = args[0];
    const size_t n = args.size();
    std::string e;

    if (cmd == "status" && n == 1) {
        DeviceState s;
        if (!dev.Read(s, &e))
            return failed(e);
        out += Status(dev, s);
        return 0;
    }
    if (cmd == "select") {
        int job = 0;
        if (n != 2 || !ToInt(args[1], 1, kJobCount, job))
            return usage("select takes a job number 1 to 99");
        if (!dev.SetSelectedJob(job, &e))
            return failed(e);
        out += "selected job " + std::to_string(job) + "\n";
        return 0;
    }
    if (cmd == "press") {
        if (n != 2 || args[1] != "start")
            return usage("the only button is: press start");
        if (!dev.PressStart(&e))
            return failed(e);
        out += "Start pressed\n";
        return 0;
    }
    if (cmd == "panel" && n == 1) {
        DeviceState s;
        if (!dev.Read(s, &e))
            return failed(e);
        for (int i = 0; i < kJobCount; ++i)
            if (!s.m_titles[size_t(i)].empty()) {
                char num[8];
                std::snprintf(num, sizeof num, "%02d", i + 1);
                out += std::string(num) + ": " + s.m_titles[size_t(i)] + "\n";
            }
        out += "message [" + DisplayKindName(s.m_nDisplayKind) + "]: " + s.m_strPanelMessage + "\n";
        return 0;
    }
    if (cmd == "title") {
        int job = 0;
        if (n != 2 || !ToInt(args[1], 1, kJobCount, job))
            return usage("title takes a job number 1 to 99");
        DeviceState s;
        if (!dev.Read(s, &e))
            return failed(e);
        out += s.m_titles[size_t(job - 1)] + "\n";
        return 0;
    }
    if (cmd == "feed") {
        std::vector<Barcode> barcodes;
        Barcode next;
        size_t at = 1;
        for (; at + 1 < n && (args[at] == "--barcode" || args[at] == "--barcode-type"); at += 2) {
            int type = 0;
            if (args[at] == "--barcode") {
                next.m_strText = args[at + 1];
                barcodes.push_back(next);
            } else if (ToInt(args[at + 1], 0, kMaxBarcodeType, type)) {
                next.m_nType = uint32_t(type);
            } else {
                return usage("--barcode-type takes a number 0 to " +
                             std::to_string(kMaxBarcodeType));
            }
        }
        const std::string bad = CheckBarcodes(barcodes);
        if (!bad.empty())
            return usage(bad);
        if (at < n && args[at] == "--generate") {
            int count = 0;
            if (n != at + 2 || !ToInt(args[at + 1], 1, 10000, count))
                return usage("feed --generate takes a page count 1 to 10000");
            if (!dev.FeedGenerated(count, barcodes, &e))
                return failed(e);
            out += "fed " + std::to_string(count) + " generated pages\n";
            return 0;
        }
        if (at >= n)
            return usage("feed takes image files or --generate N");
        const std::vector<std::string> files(args.begin() + long(at), args.end());
        if (!dev.FeedFiles(files, barcodes, &e))
            return failed(e);
        out += "fed " + std::to_string(files.size()) + " files\n";
        return 0;
    }
    if (cmd == "cover") {
        if (n != 2 || (args[1] != "open" && args[1] != "closed" && args[1] != "close"))
            return usage("cover takes open or closed");
        const bool open = args[1] == "open";
        if (int rc = update([&](DeviceState& s) {
                s.m_bCoverOpen = open;
                return true;
            }))
            return rc;
        out += std::string("cover ") + (open ? "open" : "closed") + "\n";
        return 0;
    }
    if (cmd == "attach") {
        Attachment a;
        if (n != 2)
            return usage("attach takes usb, scsi or none");
        if (args[1] == "usb")
            a = Attachment::Usb;
        else if (args[1] == "scsi")
            a = Attachment::Scsi;
        else if (args[1] == "none")
            a = Attachment::None;
        else
            return usage("attach takes usb, scsi or none");
        if (int rc = update([&](DeviceState& s) {
                s.m_attachment = a;
                return true;
            }))
            return rc;
        out += a == Attachment::None ? std::string("scanner detached\n")
                                     : std::string("attached as ") + FriendlyName(a) + "\n";
        return 0;
    }
    if (cmd == "fault") {
        if (n < 2)
            return usage("fault takes jam, doublefeed, lamp, diag, sense, source or clear");
        const std::string& what = args[1];
        int v = 0, w = 0;
        std::function<bool(DeviceState&)> fn;
        std::string done;
        if ((what == "jam" || what == "doublefeed") && n == 3 && ToInt(args[2], 1, 1 << 30, v)) {
            const bool jam = what == "jam";
            fn = [=](DeviceState& s) {
                (jam ? s.m_nJamAtPage : s.m_nDoubleFeedAtPage) = v;
                return true;
            };
            done = std::string(jam ? "paper jam" : "double feed") + " at page " + args[2];
        } else if (what == "lamp" && n == 3 && (args[2] == "on" || args[2] == "off")) {
            const bool on = args[2] == "on";
            fn = [=](DeviceState& s) {
                s.m_bLampError = on;
                return true;
            };
            done = std::string("lamp error ") + (on ? "on" : "off");
        } else if (what == "diag" && n == 3 && (args[2] == "off" || ToInt(args[2], 1, 0xFFFF, v))) {
            fn = [=](DeviceState& s) {
                s.m_nDiagError = v;
                return true;
            };
            done = v ? "diagnostic error " + Hex(v, 3) : std::string("diagnostic error off");
        } else if (what == "sense" && n == 4 && ToInt(args[2], 0, 15, v) &&
                   ToInt(args[3], 0, 0xFFFF, w)) {
            fn = [=](DeviceState& s) {
                s.m_bSenseArmed = true;
                s.m_armedSense = SenseData{uint8_t(v), uint16_t(w)};
                return true;
            };
            done = "next command fails with sense key " + std::to_string(v) + " code " + Hex(w, 4);
        } else if (what == "source" && n == 4 && !args[2].empty() && args[2].size() <= 32 &&
                   args[2].find_first_not_of("abcdefghijklmnopqrstuvwxyz") == std::string::npos &&
                   ToInt(args[3], 1, 1 << 30, v)) {
            const std::string name = args[2];
            fn = [=](DeviceState& s) {
                s.m_strSourceFault = name;
                s.m_nSourceFaultAtPage = v;
                return true;
            };
            done = "data source fault " + name + " at page " + args[3];
        } else if (what == "clear" && n == 2) {
            if (!dev.ClearFaults(&e))
                return failed(e);
            out += "faults cleared\n";
            return 0;
        } else {
            return usage("fault jam N | doublefeed N | lamp on|off | diag NUM|off | "
                         "sense KEY CODE | source NAME N | clear");
        }
        if (int rc = update(fn))
            return rc;
        out += done + "\n";
        return 0;
    }
    if (cmd == "clear" && n == 1) {
        if (!dev.ClearAll(&e))
            return failed(e);
        out += "feeder emptied, faults, button and message cleared\n";
        return 0;
    }
    return usage("unknown command or wrong arguments: " + cmd);
}

} // namespace vx410sim
