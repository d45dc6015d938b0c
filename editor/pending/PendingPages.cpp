// Function pages and dialogs that are not built yet. Each group deletes its
// entries here when it lands; what is still here says so where it is
// reached.
#include "editor/EditorError.h"
#include "editor/JobPages.h"

std::unique_ptr<CJobEditPage> CreateMailPage(CJobRegGUISettings*) {
    EdThrowText("The mail settings page is not built yet.");
}
std::unique_ptr<CJobEditPage> CreatePrintPage(CJobRegGUISettings*) {
    EdThrowText("The print settings page is not built yet.");
}
std::unique_ptr<CJobEditPage> CreateAppPage(CJobRegGUISettings*) {
    EdThrowText("The application settings page is not built yet.");
}
