#ifndef SD_TEXTSCAN_H
#define SD_TEXTSCAN_H

#include <cstddef>
#include <string>

#include "Sv_LineReader.h"

// Reading the plain-text files and class configuration files of scene
// objects: lines through the bounded line reader, and numbers read the same way whatever
// the process's locale (a Qt program takes the user's, which may use decimal
// commas, and scanf would follow it).
namespace Sd_TextScan {

// Characters of a line of a data file that count; the rest of a longer
// line is skipped.
constexpr size_t kMaxLine = 1024;

// The next line without its line end (at most kMaxLine characters); false
// at the end of the file.
bool ReadLine(Sv_LineReader* lines, std::string* line);
// The next line that does not begin with '#'.
bool ReadValueLine(Sv_LineReader* lines, std::string* line);

// Reads the next number of a line at p (blanks before it skipped, an
// optional sign): false, leaving p, when there is none, it is not finite or
// it runs straight into other characters.
bool Number(const char*& p, const char* end, double* value);
// The same for a whole number that fits into an int.
bool Integer(const char*& p, const char* end, int* value);

// The numbers of line, read by a pattern of 'i' (whole number) and 'f'
// (number) characters into ints and doubles in their order; true when all
// were read. Text after them is ignored.
bool Scan(const std::string& line, const char* pattern, int* ints, double* reals);

}  // namespace Sd_TextScan

#endif
