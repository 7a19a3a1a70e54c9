#ifndef ORVANTA_TESTS_SD_ALL_CONTRACTSUPPORT_H
#define ORVANTA_TESTS_SD_ALL_CONTRACTSUPPORT_H

// Classes that exist only in test files join the object factory through
// AddTestClass: Sd_IOSupport::AddClass, and a mark that keeps them out of
// the committed fuzz corpus. Call it from a namespace-scope initialiser, so
// the class is in the table before the class contract suite is instantiated.

#include <set>

#include "Sd_IOSupport.h"

namespace sd_contract {

inline std::set<int>& TestClassTags() {
  static std::set<int> tags;
  return tags;
}

inline int AddTestClass(const Sd_IOSupport::ClassEntry& entry) {
  TestClassTags().insert(entry.tag);
  return Sd_IOSupport::AddClass(entry);
}

inline bool IsTestClass(int tag) { return TestClassTags().count(tag) != 0; }

}  // namespace sd_contract

#endif
