// The title writers: worker threads that write the job titles of the store
// into the scanner, so that its panel lists them. The all-titles writer goes
// through jobs 1 to 99; the one-title writer writes one job after it was
// edited. Nothing reaches the scanner while a job runner lives: the model
// plug-in's IsKestrelExist is asked before the scanner is opened and again
// before every title.
#pragma once
#include <windows.h>
#include <memory>
#include <string>

struct CTitleWriterSetup {
    std::string m_strPlugin;       // "INIT_FILE_NAME": the model plug-in
    std::string m_strKestrelMutex; // "KESTREL_MUTEX": asked when the plug-in cannot answer
    std::string m_strFriendlyUsb;  // "FRIENDLY_NUSB", tried first
    std::string m_strFriendlyScsi; // "FRIENDLY_NSCSI"
    std::string m_strScannerName;  // "SCANNER_NAME": the store's model
};

class CTitleWriters {
public:
    explicit CTitleWriters(const CTitleWriterSetup& setup);
    // The threads keep their own share of the state; they end by themselves.
    ~CTitleWriters() = default;
    CTitleWriters(const CTitleWriters&) = delete;
    CTitleWriters& operator=(const CTitleWriters&) = delete;

    // Starts the all-titles writer; one that is still running writes all
    // titles once more when it is through.
    BOOL StartAll();
    // Starts the writer of one job's title.
    BOOL StartOne(long nJobNumber);
    // The title-writer flag: set while the all-titles writer runs.
    bool IsWritingAll() const;
    // Clears the flag: the all-titles writer stops before its next title.
    void RequestStop();
    // Lets writers run again after a stop request (the window stayed open).
    void Resume();
    // Waits up to nChecks times 100 ms while any writer is alive (a
    // one-title writer is not stopped: it ends its title); true when none is
    // (any more).
    bool WaitWritersEnded(int nChecks) const;

    struct CState;

private:
    std::shared_ptr<CState> m_pState;
};
