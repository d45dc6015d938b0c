// Function pages and dialogs that are not built yet. Each group deletes its
// entries here when it lands; what is still here says so where it is
// reached.
#include "editor/EditorError.h"
#include "editor/JobPages.h"

INT_PTR RunCopyDialog(CJobRegGUISettings*, long, BOOL, long, long) {
    EdThrowText("The copy dialog is not built yet.");
}
INT_PTR RunVersionDialog(CJobRegGUISettings*) {
    EdThrowText("The version dialog is not built yet.");
}
INT_PTR RunAdminDialog(CJobRegGUISettings*, int) {
    EdThrowText("The administrator settings dialog is not built yet.");
}
