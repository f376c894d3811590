#pragma once
// The download worker's rules for the file name and the bar position, apart from the worker so they
// can be checked on their own.
#include "String.h"

#include <windows.h>

// The extension, dot included, of the last segment of |url|'s path, query and fragment left out.
// Empty when that segment has no extension or the extension holds a character that a file name
// cannot hold. The extension decides what the shell does with the file, so a sound one is kept.
CString FileExtensionFromUrl(const wchar_t* url);

// Position of the progress bar, 0 to 100, for |received| of |total|: the fraction in double
// precision, truncated. Without a known (positive) total the bar stays at 0.
int ProgressPercent(LONGLONG received, LONGLONG total);
