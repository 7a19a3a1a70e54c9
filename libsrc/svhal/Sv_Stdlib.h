#ifndef SV_STDLIB_H
#define SV_STDLIB_H

// Path, string, environment, process and memory helpers.
//
// Paths: both '\' and '/' are separators on input; paths that the helpers
// build use '/'. Strings returned as "new" are malloc'ed and owned by the
// caller, who releases them with free().

// The directory of a path, separators turned into '/': up to and including
// the last separator with keepSeparator 1, without it with 0. A name without
// a directory that starts with '.' gives "./" or "."; any other name without
// a directory gives null.
char* Sv_UtlGetDirectory(const char* path, int keepSeparator);

// The part after the last separator (the whole path when there is none);
// null for a null or empty path.
char* Sv_UtlGetFileName(const char* path);

// Pointer into path at the last '.' after the last separator; null when none.
const char* Sv_UtlGetExtension(const char* path);

// Non-zero when the name ends in the extension, ignoring case. An extension
// given without its '.' must still follow a '.'.
int Sv_UtlHasExtension(const char* name, const char* extension);

// A new string: the path without its extension, followed by the extension
// (given with or without its '.').
char* Sv_UtlReplaceExtension(const char* path, const char* extension);

char* Sv_UtlStrDup(const char* text);

// Compares ignoring case; 0 when equal. A null first string gives -1, a null
// second string 1.
int Sv_UtlStrCaseCmp(const char* a, const char* b);

// When the string has at least 5 characters and more than n, replaces it in
// place by "... " and its last n - 4 characters (n characters in all).
// Shorter strings, and n below 4, leave it unchanged.
void Sv_UtlTruncateFront(char* text, int n);

// A new copy of the environment variable's value, or null when it is not set.
char* Sv_UtlGetEnv(const char* variable);

// Runs the command line through the shell. With wait 1 waits without limit
// and returns the exit code; with wait 0 returns 0 at once. -1 when the
// command cannot be started.
int Sv_UtlRunProcess(const char* commandLine, int wait);

// Ends the process at once with the code, running no destructors. A hook set
// by Sv_UtlSetExitHook is called first (tests use it to intercept the exit);
// when the hook returns, the process ends anyway.
[[noreturn]] void Sv_UtlExitProcess(int code);
typedef void (*Sv_ExitHook)(int code);
void Sv_UtlSetExitHook(Sv_ExitHook hook);

// Day of the year, 1 to 366; 0 for a month outside 1..12 or a day outside 1..31.
int Sv_UtlDayOfYear(int year, int month, int day);

// Row-pointer grids: a table of rows entries, each pointing to a row of cols
// elements. Null when a size is not positive or an allocation fails.
// Release with Sv_UtlFree2D only, never row by row: the rows may all lie in
// one block with the table (see the layouts below).
unsigned short** Sv_UtlAlloc2DShort(int rows, int cols);
unsigned int** Sv_UtlAlloc2DInt(int rows, int cols);
// Releases a grid of Sv_UtlAlloc2D* (of either layout) with its rows; null
// does nothing. rows is the grid's row count. A table that did not come from
// Sv_UtlAlloc2D* is refused with an error message and left alone.
void Sv_UtlFree2D(void* table, int rows);

// Layouts of the row-pointer grids. Separate rows: every row an allocation
// of its own (row overruns are caught by AddressSanitizer). One block: the
// table and all rows in one allocation, rows one after another, a block of
// 2 MiB or more on huge pages where they pay (Sv_PlatformAllocToFill).
enum { SV_GRID_SEPARATE_ROWS = 0, SV_GRID_ONE_BLOCK = 1 };
// Sets the layout of the grids allocated from now on and returns the one
// before (another value changes nothing). Grids keep the layout they were
// made with. The default is separate rows under AddressSanitizer and one
// block otherwise; tests switch it to run both.
int Sv_UtlSetGridLayout(int layout);
int Sv_UtlGetGridLayout();

#endif
