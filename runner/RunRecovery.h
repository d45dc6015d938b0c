// What keeps a job's pages when the job cannot deliver them. Every runner of
// a model shares the model's temporary folder; each holds its own run file
// there ("kestrel <pid> <ticks>.run"), open without sharing for as long as it
// lives, and writes into it what the job is and every page file before the
// file is made. A run file that can be opened belongs to a runner that died
// (killed, crashed, power lost): its page files are moved to the recovered
// scans. One that cannot is a live runner's, whose files are never touched.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "common/portable/RecoveryRecord.h"
#include "framework/Handles.h"

namespace kestrel {

constexpr const char kRunFileExtension[] = ".run";

class CRunFile {
public:
    // Creates this runner's run file in folder; FALSE when it cannot.
    BOOL Create(const std::string& folder);
    BOOL IsOpen() const { return m_h.IsValid(); }
    const std::string& Path() const { return m_strPath; }
    // Appends lines (RecoveryLine), written through before it returns.
    void Append(const std::string& lines);
    // The job's end: with bDelete the file goes; without it (its pages could
    // not be kept) the next runner finds it as a dead runner's and tries again.
    void Close(bool bDelete);

private:
    vlm::CHandle m_h;
    std::string m_strPath;
};

// Moves the pages of r (full paths) into a recovered job's folder (the one
// an earlier, cut-short move began, else a new one), handing note the
// folder's line for the run file before the first page moves. Answers the
// folder; empty when the pages could not all be kept, with why in *pError.
std::string KeepInRecovery(vlm::RecoveryRecord r,
                           const std::function<void(const std::string&)>& note,
                           std::string* pError);

// Recovers the pages of every dead runner in folder, the reason given for
// each, and deletes the partial file its save was writing (the one it noted,
// nothing else); log gets one line per runner found and per partial file.
// Answers how many jobs were kept.
int RecoverDeadRunners(const std::string& folder, const std::string& reason,
                       const std::function<void(const std::string&)>& log);

// The run files in folder other than own (full paths): of runners alive, or
// dead and not yet recovered.
std::vector<std::string> RunFilesIn(const std::string& folder, const std::string& own);

} // namespace kestrel
