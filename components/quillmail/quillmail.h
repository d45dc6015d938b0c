// Quill Mail: a small mail application that registers itself as the
// default mail client (HKLM\Software\Clients\Mail, with its Simple MAPI DLL
// path, so that the platform's mapi32.dll forwards to it). Its MAPISendMail
// shows a compose window listing the attachments; Send writes the message as
// an .eml file into the outbox folder, Cancel answers MAPI_USER_ABORT.
#pragma once
#include <windows.h>

#include <string>

namespace quill {

const char kClientName[] = "Quill Mail";
const char kComposeCaption[] = "New Message - Quill Mail";
// HKCU\Software\Quill Mail, value "Outbox": where messages go (default
// %APPDATA%\Quill Mail\Outbox).
const char kSettingsKey[] = "Software\\Quill Mail";

std::string OutboxFolder();

} // namespace quill
