// Stand-in pages for the New/Editing dialog's tests, so that the dialog's
// handling of pages (layout, switching, save, validate) is tested before and
// apart from the real function pages. Each function gets as many test pages
// as it has real ones; page i of function f keeps its text in the job under
// "testpage f.i"; the text "invalid" fails validation.
#pragma once

// Makes the New/Editing dialog use the test pages; mode 2: the pages of
// "Attach to E-mail" cannot be made.
void InstallJobEditTestPages(int nMode);
