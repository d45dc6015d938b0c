// Which help file the editor opens for a language.
#pragma once

// The help file's name for a language id written as four hexadecimal digits
// (as the platform's locale information gives it, e.g. "040c"; letters in
// either case). Spanish, French, German, Italian and Dutch have their own
// file for every sublanguage, Chinese only for 0804, Japanese only for 0411;
// everything else, and text that is not four digits, gets the English file.
const char* EdHelpFileForLanguage(const char* langDigits);
