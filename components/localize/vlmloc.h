/* The localisation library's C interface ("vlmloc.dll" / "zxdloc.dll").
   Texts are looked up by their English text in catalogue files; a key with
   no translation for the locale answers the key itself. Sizes are in bytes
   and include the terminator; a call with a too small (or null) buffer
   writes nothing and answers the size needed. */
#ifndef VLMLOC_H
#define VLMLOC_H
#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifdef VLMLOC_BUILD
#define VLMLOC_API __declspec(dllexport)
#else
#define VLMLOC_API __declspec(dllimport)
#endif

/* Chooses the locale (a LANGID such as 0x0407) for later lookups. */
VLMLOC_API BOOL VlmLocalizeSetLocale(LANGID langId);
VLMLOC_API LANGID VlmLocalizeGetLocale(void);
/* Adds a catalogue file; FALSE when it cannot be read. Later files win. */
VLMLOC_API BOOL VlmLocalizeAddFileA(const char* path);
VLMLOC_API BOOL VlmLocalizeAddFileW(const wchar_t* path);
VLMLOC_API void VlmLocalizeClearFiles(void);
/* Lookup by an ANSI or wide key into a wide buffer of cbOut bytes. */
VLMLOC_API int VlmLocalizeLookupAW(const char* key, wchar_t* out, int cbOut);
VLMLOC_API int VlmLocalizeLookupWW(const wchar_t* key, wchar_t* out, int cbOut);
/* Code page conversions (ANSI code page). */
VLMLOC_API int VlmLocalizeA2W(const char* in, wchar_t* out, int cbOut);
VLMLOC_API int VlmLocalizeW2A(const wchar_t* in, char* out, int cbOut);
/* Localises a dialog's caption and its controls' texts; answers how many changed. */
VLMLOC_API int VlmLocalizeDialog(HWND hDlg);

typedef BOOL(__cdecl* PFN_VlmLocalizeSetLocale)(LANGID);
typedef LANGID(__cdecl* PFN_VlmLocalizeGetLocale)(void);
typedef BOOL(__cdecl* PFN_VlmLocalizeAddFileA)(const char*);
typedef BOOL(__cdecl* PFN_VlmLocalizeAddFileW)(const wchar_t*);
typedef void(__cdecl* PFN_VlmLocalizeClearFiles)(void);
typedef int(__cdecl* PFN_VlmLocalizeLookupAW)(const char*, wchar_t*, int);
typedef int(__cdecl* PFN_VlmLocalizeLookupWW)(const wchar_t*, wchar_t*, int);
typedef int(__cdecl* PFN_VlmLocalizeA2W)(const char*, wchar_t*, int);
typedef int(__cdecl* PFN_VlmLocalizeW2A)(const wchar_t*, char*, int);
typedef int(__cdecl* PFN_VlmLocalizeDialog)(HWND);

#ifdef __cplusplus
}
#endif
#endif
