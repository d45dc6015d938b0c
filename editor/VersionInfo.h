// The "FileVersion" of a module's version resource.
#pragma once
#include <windows.h>
#include <string>

// From the first language and code page of "\VarFileInfo\Translation";
// "" when the module has no such resource or value.
std::string ModuleFileVersion(const char* modulePath);
// The same for the program that hosts the editor.
std::string HostFileVersion();
