// The recovered scans: one folder per job whose pages a runner kept after
// the job ended without delivering them, under the user's local application
// data. Each holds the page files and, written last, "manifest.ini": a folder
// without it is one whose move was cut short. The runner fills them; the job
// list tool lists, delivers again and deletes them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/portable/RecoveryRecord.h"

namespace vlm {

constexpr const char kRecoveryManifest[] = "manifest.ini";
constexpr int kRecoveryKeepDays = 30;

// "<LocalAppData>\Velmora Works\Recovered scans", created; empty when the
// shell names no such folder.
std::string RecoveredScansRoot();
// The local time now, as the manifests hold it.
std::string RecoveryTimeNow();

// A new, empty folder for the job under the root ("<name>", "<name> (2)",
// ...); empty on failure.
std::string CreateRecoveryFolder(const RecoveryRecord& r);
// Moves the job's page files (full paths in r.m_Files) into folder, then
// writes the manifest. A file found already moved (an earlier move cut
// short) counts as moved. FALSE, with the system's error code in *pError,
// when a file could not be moved or the manifest not written; the files
// that could not be moved stay where they are.
BOOL MoveIntoRecovery(const std::string& folder, RecoveryRecord r, DWORD* pError);
// A move within the volume renames; across volumes the copy is compared
// with its source before the source goes.
BOOL MoveFileVerified(const std::string& from, const std::string& to);

BOOL ReadRecoveryManifest(const std::string& folder, RecoveryRecord& r);
BOOL WriteRecoveryManifest(const std::string& folder, const RecoveryRecord& r);

struct CRecoveredScan {
    std::string m_strFolder;
    RecoveryRecord m_Record; // m_Files: names in the folder
};
// The complete ones (with their manifest), oldest first.
std::vector<CRecoveredScan> ListRecoveredScans();
// Removes the recovered jobs older than days (a folder without manifest by
// its last change); answers how many went.
int PurgeRecoveredScans(int days = kRecoveryKeepDays);
// Deletes the folder with its files.
BOOL DeleteRecoveredScan(const std::string& folder);

} // namespace vlm
