// Function pages and dialogs that are not built yet. Each group deletes its
// entries here when it lands; what is still here says so where it is
// reached.
#include "editor/EditorError.h"
#include "editor/JobPages.h"

std::unique_ptr<CJobEditPage> CreateSavePage(CJobRegGUISettings*, BOOL) {
    EdThrowText("The save settings page is not built yet.");
}
std::unique_ptr<CJobEditPage> CreateMailPage(CJobRegGUISettings*) {
    EdThrowText("The mail settings page is not built yet.");
}
std::unique_ptr<CJobEditPage> CreatePrintPage(CJobRegGUISettings*) {
    EdThrowText("The print settings page is not built yet.");
}
std::unique_ptr<CJobEditPage> CreateAppPage(CJobRegGUISettings*) {
    EdThrowText("The application settings page is not built yet.");
}
INT_PTR RunCopyDialog(CJobRegGUISettings*, long, BOOL, long, long) {
    EdThrowText("The copy dialog is not built yet.");
}
INT_PTR RunVersionDialog(CJobRegGUISettings*) {
    EdThrowText("The version dialog is not built yet.");
}
INT_PTR RunAdminDialog(CJobRegGUISettings*, int) {
    EdThrowText("The administrator settings dialog is not built yet.");
}
