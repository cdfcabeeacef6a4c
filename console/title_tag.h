// The temporary title a run gives its console while it looks for the
// console's window: "tavrik" and the searching thread's id, as a signed
// decimal. The end-to-end helper formats and recognises the tag with this
// same pattern, so a decoy and a left-over tag are read as the tool writes
// them.
#pragma once

#include <windows.h>

// Spelt out as UTF-16 units: a WCHAR literal is L"" on Windows and u"" for
// the unit tests' <windows.h>.
constexpr WCHAR kTagPattern[] = {'t', 'a', 'v', 'r', 'i', 'k', '%', 'd', 0};
