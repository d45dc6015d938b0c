// Function pages and dialogs that are not built yet. Each group deletes its
// entries here when it lands; what is still here says so where it is
// reached.
#include "editor/EditorError.h"
#include "editor/JobPages.h"

