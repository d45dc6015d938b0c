// A frame with OK and Cancel around one function page, for tests of a page
// without the New/Editing dialog: OK takes the page's values, saves them to
// the job, validates and commits, as the New/Editing dialog does.
#pragma once
#include <memory>
#include "editor/JobPages.h"

INT_PTR RunPageHost(CJobRegGUISettings* pSettings, IJobData* pJob,
                    std::unique_ptr<CJobEditPage> page);
