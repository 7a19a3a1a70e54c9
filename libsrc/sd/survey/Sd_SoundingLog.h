#ifndef SD_SOUNDINGLOG_H
#define SD_SOUNDINGLOG_H

#include <cstdio>

#include "Sd_SoundingRecords.h"

// Field-by-field comparison of sounding, frame and run records, one text
// line per difference, and the printout of a sounding record: the building
// blocks of an edit log. Each record kind has one table of fields (name,
// how it compares, its message, and how the pair form differs); the index
// and pair forms of the sounding classes run the same table.
//
// Comparison: integers and flag bits exactly; floating-point fields either
// exactly or "near" (widened to double, equal when they differ by less than
// 1e-7). A flag group is compared only when the whole flag bytes differ,
// then bit by bit, each bit printed as 0 or 1. In every line the first
// value is that of a, the second that of b.
namespace Sd_SoundingLog {

// Which form runs the table: the index form (a record against a stored one)
// or the pair form (two records; its own blanks and rows).
enum class Form { kIndex, kPair };

void CompareHTF(const HTFSndRecord& a, const HTFSndRecord& b, Form form, FILE* out);
void CompareFSD(const FsdSndRecord& a, const FsdSndRecord& b, Form form, FILE* out);
void CompareFrame(const FsdFrameRecord& a, const FsdFrameRecord& b, Form form, FILE* out);
void CompareRun(const FsdRunRecord& a, const FsdRunRecord& b, Form form, FILE* out);

void PrintHTF(const HTFSndRecord& r, FILE* out);
void PrintFSD(const FsdSndRecord& r, FILE* out);

}  // namespace Sd_SoundingLog

#endif
