#ifndef TDR_TEST_UTIL_H
#define TDR_TEST_UTIL_H

#include <gtest/gtest.h>

#include <string>

#include "Sv_Debug.h"
#include "Sv_Types.h"

namespace tdr_test {

// Shows debug messages and collects everything written to the error stream
// while it lives (debug messages never reach a message callback).
class DebugOutput {
 public:
  DebugOutput() : m_level(Sv_Debug::GetLevel()) {
    Sv_Debug::SetLevel(SV_LEVEL_DEBUG);
    testing::internal::CaptureStderr();
  }
  ~DebugOutput() {
    if (!m_taken) testing::internal::GetCapturedStderr();
    Sv_Debug::SetLevel(m_level);
  }
  // The text captured so far; ends the capture.
  const std::string& Text() {
    if (!m_taken) {
      m_text = testing::internal::GetCapturedStderr();
      m_taken = true;
    }
    return m_text;
  }
  bool Contains(const std::string& fragment) { return Text().find(fragment) != std::string::npos; }

 private:
  int m_level;
  bool m_taken = false;
  std::string m_text;
};

// A 32-bit value in a file's byte order (1 little-endian, 0 big-endian).
inline std::string Word(unsigned int v, int order) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[order ? i : 3 - i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

}  // namespace tdr_test

#endif
