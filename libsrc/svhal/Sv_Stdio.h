#ifndef SV_STDIO_H
#define SV_STDIO_H

#include <cstdio>

// Block input and output in a file's byte order, configuration-file lookup
// and file helpers.
//
// Byte order codes: 1 means little-endian in the file, 0 big-endian. The
// block functions swap exactly when the file's order differs from this
// machine's, so they are correct on hosts of either order.

// Reads count elements of elementSize bytes; returns the number read. Each
// element whose order differs from the host's is reversed as one unit.
int Sv_UtlFread(void* buffer, int elementSize, int count, FILE* file, int byteOrder);

// Writes count elements; returns the number written. When a swap is needed
// the caller's buffer is reversed in place before writing (and stays so).
int Sv_UtlFwrite(void* buffer, int elementSize, int count, FILE* file, int byteOrder);

// As Sv_UtlFwrite, but swaps a temporary copy; the caller's data stay as they are.
int Sv_UtlFwriteCopy(const void* buffer, int elementSize, int count, FILE* file, int byteOrder);

// Reverses the bytes of each of count elements of size bytes, in place.
// Size 1 does nothing; a size below 1 is fatal.
void Sv_UtlSwapBytes(void* data, int size, int count);

// 1 when data in the given byte order must be swapped on this machine.
int Sv_UtlNeedsSwap(int byteOrder);

// The one way to open a file for reading whose name comes from data, the
// user, the options file or the configuration: only a regular file is
// opened, and nothing is waited for (a named pipe, a device, a socket or a
// directory is refused at once). A name that exists but is not a regular
// file is reported at level as "ERROR:  Not a regular file that can be
// read" with the path; a missing or unreadable file is left to the caller
// to report (errno tells which). Null on refusal.
FILE* Sv_UtlOpenForReading(const char* path, int level);

class Sv_LineReader;

// Opens the configuration file of that name into lines: WRUCONFIGURATIONS/name
// when that variable is set, else WRUHOME/configurations/name. The file is
// read within the bounds of a configuration file (Sv_LineReader: at most
// kConfigurationBytes, lines cut to kConfigurationLine characters). Lines
// that begin with '#' are skipped; the first other line is parsed as the
// version ("%d", -1 when it is not a number). True with lines positioned
// after the version line; false when no directory is known or the file is
// missing or refused; the caller then keeps its built-in defaults. A missing
// WRUHOME and each missing file are reported once per process (debug
// messages), a refused file each time (a warning naming it).
bool Sv_UtlOpenConfigLines(const char* name, int* version, Sv_LineReader* lines);
// The same as a stream: the lines after the version line, as read by
// Sv_UtlOpenConfigLines, in a stream held in memory; null when
// Sv_UtlOpenConfigLines fails. The caller closes it.
FILE* Sv_UtlOpenConfigFile(const char* name, int* version);
// The number ("%d") that line `line` (1 the first) after the version line
// of the configuration file name starts with; lines are taken as they come
// (comment lines not skipped), as the class configuration files are read.
// True with *value set; false, *value as it was, when the file or the line
// is missing or holds no number.
bool Sv_UtlReadConfigInt(const char* name, int line, int* value);

// A new string (free() it): WRUHOME/relative. Null when WRUHOME is unset or
// empty; that is reported once per process as a debug message
// ("WRUHOME is not set: built-in defaults are used"), and the caller falls
// back to its built-in defaults.
char* Sv_UtlHomePath(const char* relative);

// A new string (free() it): $HOME/pc_<name>, with "6.1" appended when
// versioned. Creates the HOME directory when needed. Without HOME the process
// ends with -1 after "ERROR: Please set the $HOME environment variable".
char* Sv_UtlPrefFileName(const char* name, int versioned);

// Leaves the path in this platform's form; on this platform paths use '/'
// and nothing is changed.
void Sv_UtlToBackslashes(char* path);

// 1 when the file or directory exists, else 0.
int Sv_UtlFileExists(const char* path);

// 1 when an existing file is writable, or for a new file when its directory
// (the current directory for a bare name) is writable; else 0.
int Sv_UtlCanWrite(const char* path);
// 1 when a new file can really be created in the folder (tried with a
// temporary file that is removed again), else 0; unlike a permission
// check this also tells read-only file systems and the superuser apart.
int Sv_UtlCanCreateIn(const char* folder);

#endif
