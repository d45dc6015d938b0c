// The simulated VX-410 scanner.
//
// There is no scanner on the build and test machines, so every device-side
// component (devlink, the scanner service, the TWAIN data source and the
// vx410 tool) works against one simulated device whose whole state lives in a
// state folder:
//   state.txt    key=value lines (readable, hand-editable)
//   state.lock   lock file; every change is read-modify-write under it
//   page-*.*     image files copied in by "vx410 feed"
// Several processes use the folder at once: readers and writers take the
// lock (LockFileEx on Windows, flock elsewhere) and state.txt is replaced
// atomically (temporary file + rename), so a reader never sees half a file.
//
// Nothing here throws; failures are false results with a text in *pError.
//
// Device information block (128 bytes, READ data type 0x8C qualifier 1):
//   bytes 0-7   vendor "VELMORA " (blank padded)
//   bytes 8-23  product "VX-410" (blank padded)
//   byte  24    panel setting byte (handed to the panel text library)
//   bytes 25-28 firmware revision "1.00"
//   byte  29    attachment: 1 USB, 2 SCSI
//   rest        0
//
// Diagnostic results, panel message data, titles and sense data follow
// contracts/DeviceCommand.h, which the application's device channel shares.
// Sense codes the simulator answers with:
//   key 0 code 0       no sense
//   key 3 code 0x3A00  no paper          key 3 code 0x8001  cover open
//   key 3 code 0x8000  paper jam         key 3 code 0x8101  double feed
//   key 3 code 0x6000  lamp error        key 4 code 0x8004  hardware error,
//                                                           read diagnostics
//   key 5 code 0x2000  unknown command   key 5 code 0x2400  bad field/length
//   key 2 code 0x0400  device not ready (state folder unusable)
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "contracts/DeviceCommand.h"

namespace vx410sim {

// Block layouts, sense keys and codes, display kinds.
using namespace devcmd;

constexpr const char* kFriendlyNameUsb = "VELMORA VX-410 USB";
constexpr const char* kFriendlyNameScsi = "VELMORA VX-410 SCSI";
// Still-image device names are "<imaging class>\NNNN".
constexpr const char* kStiClassPrefix = "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\";

enum class Attachment { None = 0, Usb = 1, Scsi = 2 };

// "none", "normal", "warning", "error", or "unknown (N)".
std::string DisplayKindName(int kind);
const char* FriendlyName(Attachment a); // "" for None

struct SenseData {
    uint8_t m_nKey = 0;
    uint16_t m_nCode = 0;
    std::array<uint8_t, kSenseSize> Bytes() const; // fixed format
    bool operator==(const SenseData&) const = default;
};

// A barcode printed on a sheet, which the data source reports with the
// sheet's front image: its type in TWAIN's numbering (TWBT_) and its text.
struct Barcode {
    uint32_t m_nType = 4; // TWBT_CODE128
    std::string m_strText;
    bool operator==(const Barcode&) const = default;
};
constexpr size_t kMaxBarcodes = 32;       // per sheet
constexpr size_t kMaxBarcodeText = 255;   // bytes, at least 1
constexpr uint32_t kMaxBarcodeType = 255; // TWBT_ values are small
// "" when the list is one a sheet may carry, else why not.
std::string CheckBarcodes(const std::vector<Barcode>& barcodes);

// One sheet waiting in the feeder: an image file in the state folder or a
// generated page (GeneratePage with its number), with its barcodes.
struct FeederEntry {
    std::string m_strFile; // file name inside the state folder; empty for generated
    int m_nGenerated = 0;  // page number for GeneratePage when m_strFile is empty
    std::vector<Barcode> m_barcodes;
    bool operator==(const FeederEntry&) const = default;
};

struct DeviceState {
    // identity
    Attachment m_attachment = Attachment::Usb;
    int m_nDeviceIndex = 0; // the NNNN of the still-image device name
    int m_nPanelSetting = 0;
    // panel: titles as raw bytes (system ANSI code page), index 0 = job 1
    std::array<std::string, kJobCount> m_titles;
    std::string m_strPanelMessage; // up to 32 bytes as the panel shows it
    int m_nDisplayKind = kDisplayNone;
    int m_nSelectedJob = 1;
    // feeder
    std::vector<FeederEntry> m_feeder;
    int m_nPagesTaken = 0;    // since the feeder was last loaded while empty
    int m_nNextGenerated = 1; // number of the next generated page fed
    int m_nNextFile = 1;      // number for the next copied page file name
    bool m_bCoverOpen = false;
    // faults
    int m_nJamAtPage = 0;        // 0: none; counted like m_nPagesTaken + 1
    int m_nDoubleFeedAtPage = 0; // 0: none
    bool m_bJammed = false;      // a jam happened and was not cleared
    bool m_bDoubleFed = false;   // a double feed happened and was not cleared
    bool m_bLampError = false;
    int m_nDiagError = 0; // nonzero: hardware error, diagnostic number
    bool m_bSenseArmed = false;
    SenseData m_armedSense; // returned by the next command, then disarmed
    // A fault of the TWAIN data source itself, for tests of the programs
    // that drive it: the data source's name for it (lower-case letters, ""
    // for none) and the image of each batch it strikes (from 1).
    std::string m_strSourceFault;
    int m_nSourceFaultAtPage = 0;
    // buttons and ownership
    bool m_bStartPending = false;
    bool m_bRunnerHolds = false;
    // counters for tests and the status command
    int m_nCommands = 0;

    bool PaperPresent() const { return !m_feeder.empty(); }
    std::string DeviceName() const; // "{6BDD...}\\0000"
    bool operator==(const DeviceState&) const = default;
};

std::string SerializeState(const DeviceState& s);
// Unknown keys are ignored (newer tools may add some); bad values fail.
bool ParseState(const std::string& text, DeviceState& s, std::string* pError = nullptr);

// What TakeNextPage found.
enum class TakeResult {
    Page,          // a sheet was taken: see PageSource
    Empty,         // no paper
    CoverOpen,     // cover open, nothing fed
    Jam,           // paper jam at this page; the sheet stays, m_bJammed set
    DoubleFeed,    // double feed at this page; the sheet is gone, m_bDoubleFed set
    LampError,     // lamp error
    HardwareError, // diagnostic error set
    NotReady,      // the state folder could not be used (see error text)
};
const char* TakeResultName(TakeResult r);

struct PageSource {
    bool m_bIsFile = false;
    std::string m_strPath;  // full path of the image file when m_bIsFile
    int m_nGenerated = 0;   // GeneratePage number otherwise
    int m_nPageInBatch = 0; // 1-based count since the feeder was loaded
    std::vector<Barcode> m_barcodes;
};

// The simulated device over one state folder. Cheap to construct; every
// operation opens, locks and closes the files itself, so objects in
// different processes or threads over the same folder stay consistent.
class CSimDevice {
public:
    explicit CSimDevice(std::string folder);
    const std::string& Folder() const { return m_strFolder; }

    // Reads the state (a missing state file gives the defaults).
    bool Read(DeviceState& out, std::string* pError = nullptr) const;
    // Read-modify-write under the lock. fn returns false to leave the file
    // untouched (its result is then this call's result, with no error text).
    bool Update(const std::function<bool(DeviceState&)>& fn, std::string* pError = nullptr);

    // The panel and the buttons.
    bool SetSelectedJob(int job, std::string* pError = nullptr); // 1..99
    bool PressStart(std::string* pError = nullptr);
    // True when a Start press was pending; the press is consumed.
    bool TakeStartPress();
    bool SetRunnerHolds(bool bHolds, std::string* pError = nullptr);

    // Feeder. Files are copied into the folder (PBM/PGM/PPM P4/P5/P6 or
    // uncompressed BMP; checked before anything is copied).
    // Every sheet of one feed carries the given barcodes.
    bool FeedFiles(const std::vector<std::string>& paths, const std::vector<Barcode>& barcodes,
                   std::string* pError = nullptr);
    bool FeedFiles(const std::vector<std::string>& paths, std::string* pError = nullptr) {
        return FeedFiles(paths, {}, pError);
    }
    bool FeedGenerated(int count, const std::vector<Barcode>& barcodes,
                       std::string* pError = nullptr);
    bool FeedGenerated(int count, std::string* pError = nullptr) {
        return FeedGenerated(count, {}, pError);
    }
    // Takes the next sheet for a scan. A Page result removes the sheet from
    // the feeder; the image file stays in the folder until the caller
    // calls ReleasePageFile (the data source reads it first).
    TakeResult TakeNextPage(PageSource& out, std::string* pError = nullptr);
    void ReleasePageFile(const PageSource& page);
    // Empties the feeder, clears faults, the start press and the panel
    // message; titles, identity and the selected job stay.
    bool ClearAll(std::string* pError = nullptr);
    bool ClearFaults(std::string* pError = nullptr);

private:
    std::string m_strFolder;
};

// Executes one command block against the device. Phases are those of the
// device library: Out = StiWrite, In = StiRead, None = StiNone.
// Returns true when the device accepted the command; false is a check
// condition with *pSense filled. For In, the data buffer is filled
// (the whole buffer is zeroed first; at most the transfer length is written).
enum class Phase { None, Out, In };
bool ExecuteBlock(CSimDevice& dev, Phase phase, const uint8_t* cdb, size_t cdbLen, uint8_t* data,
                  size_t dataLen, SenseData* pSense);

// True when the name opens the simulated device: its still-image device name
// (case-insensitive) while a scanner is attached.
bool DeviceNameMatches(const DeviceState& s, const char* name);
// The device name for a friendly name, or "" when no such device is attached.
std::string ProbeFriendlyName(const DeviceState& s, const char* friendlyName);

// The state folder: env VX410SIM_DIR, else (Windows) the registry value
// HKCU\Software\Velmora Works Inc.\VX-410 Simulator "StateFolder", else
// "<local application data>\Velmora Works\VX-410 Simulator" (natively
// "$HOME/.vx410sim"). The folder is created when missing.
std::string ResolveStateFolder(std::string* pError = nullptr);

// The vx410 command-line tool (its logic, so that it is tested natively):
// args without the program name; returns the process exit code.
int RunTool(CSimDevice& dev, const std::vector<std::string>& args, std::string& out,
            std::string& err);

} // namespace vx410sim
