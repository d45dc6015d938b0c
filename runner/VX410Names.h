// The VX-410's named objects, shared by the model part and the job dialog.
// Another model has its own; only their uniqueness per model matters.
#pragma once

#include "contracts/WindowMessages.h"

namespace vx410 {

// Caption of the job dialog: a later runner finds the running job by it.
constexpr char kJobDialogCaption[] = "VX410KESTREL_83D649F0-02A1-4a3f-BB2A-B312F6B8E49";
// Folder under the user's temporary folder holding the job's files.
constexpr char kTempFolderName[] = "VX410JOB_83D649F0-02A1-4a3f-BB2A-B312F6B8E49";
// The driver settings file in that folder.
constexpr char kSettingsFileName[] = "VX410SETTINGS";
// Mutex, created not owned: exists while a runner lives.
constexpr char kToolMutexName[] = "VX410-Taskdeck-83D649F0-02A1-4a3f-BB2A-B312F6B8E49";
constexpr char kServicePipeName[] = "VX-410 Service Pipe for Kestrel";
constexpr char kTwainDsName[] = "Velmora VX-410 TWAIN";
constexpr char kModelName[] = "VX-410";
// Registered message broadcast at start-up (closes earlier error dialogs).
constexpr const char* kErrorModeMessageName = kVX410ErrorModeMessageName;

} // namespace vx410
