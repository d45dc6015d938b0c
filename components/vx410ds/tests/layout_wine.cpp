// The platform's TWAIN header alone (it cannot share a unit with ours):
// checks it against the expected layout and exports what it measured.
#include <windows.h>
#define DECLSPEC_EXPORT __declspec(dllexport)
#include "twain.h"

#include <cstddef>

#define VLM_EOJ u.EOJ
#define VLM_SIZE(T, n) static_assert(sizeof(T) == n, #T " size");
#define VLM_OFFSET(T, f, n) static_assert(offsetof(T, f) == n, #T "." #f " offset");
#include "layout_fields.inc"
#undef VLM_SIZE
#undef VLM_OFFSET

#define VLM_SIZE(T, n) sizeof(T),
#define VLM_OFFSET(T, f, n) offsetof(T, f),
extern const size_t g_wineLayout[] = {
#include "layout_fields.inc"
};
extern const size_t g_wineLayoutCount = sizeof(g_wineLayout) / sizeof(g_wineLayout[0]);
