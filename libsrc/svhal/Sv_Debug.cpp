#include "Sv_Debug.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

namespace {

int g_threshold = SV_LEVEL_INFO;
Sv_Debug::Callback g_callback = nullptr;

// Keys of MessageOnce; loads may run on more than one thread.
std::mutex g_reportedMutex;
std::set<std::string>& Reported() {
  static std::set<std::string> keys;
  return keys;
}

std::string FormatV(const char* format, va_list args) {
  if (!format) return std::string();
  va_list copy;
  va_copy(copy, args);
  char small[512];
  int n = vsnprintf(small, sizeof(small), format, copy);
  va_end(copy);
  if (n < 0) return std::string();
  if (static_cast<size_t>(n) < sizeof(small)) return std::string(small, static_cast<size_t>(n));
  std::string big(static_cast<size_t>(n) + 1, '\0');
  vsnprintf(&big[0], big.size(), format, args);
  big.resize(static_cast<size_t>(n));
  return big;
}

}  // namespace

const char* Sv_Debug::LevelName(int level) {
  switch (level) {
    case SV_LEVEL_ERROR: return "ERROR";
    case SV_LEVEL_WARNING: return "WARNING";
    case SV_LEVEL_INFO: return "INFO";
    case SV_LEVEL_DEBUG: return "DEBUG";
    default: return "MESSAGE";
  }
}

namespace {
unsigned long g_messageCount = 0;
std::string g_lastMessage;
}  // namespace

unsigned long Sv_Debug::MessageCount() { return g_messageCount; }
const char* Sv_Debug::LastMessage() { return g_lastMessage.c_str(); }

void Sv_Debug::Message(int level, const char* text, const char* detail) {
  std::string msg = text ? text : "";
  if (detail) {
    msg += ": ";
    msg += detail;
  }
  ++g_messageCount;
  g_lastMessage = msg;
  if (level > g_threshold) return;
  if (g_callback && level != SV_LEVEL_DEBUG) {
    g_callback(level, msg.c_str());
    return;
  }
  const bool hasNewline = !msg.empty() && msg.back() == '\n';
  fprintf(stderr, "%s: %s%s", LevelName(level), msg.c_str(), hasNewline ? "" : "\n");
  fflush(stderr);
}

// Formatted even when the filter hides it: every message is counted and
// kept, so that a caller can tell why an operation failed.
#define SV_DEBUG_FORWARD(level)            \
  do {                                     \
    va_list args;                          \
    va_start(args, format);                \
    std::string s = FormatV(format, args); \
    va_end(args);                          \
    Message((level), s.c_str(), nullptr);  \
  } while (0)

void Sv_Debug::Debug(const char* format, ...) { SV_DEBUG_FORWARD(SV_LEVEL_DEBUG); }
void Sv_Debug::Info(const char* format, ...) { SV_DEBUG_FORWARD(SV_LEVEL_INFO); }
void Sv_Debug::Warning(const char* format, ...) { SV_DEBUG_FORWARD(SV_LEVEL_WARNING); }
void Sv_Debug::Error(const char* format, ...) { SV_DEBUG_FORWARD(SV_LEVEL_ERROR); }

#undef SV_DEBUG_FORWARD

void Sv_Debug::SetCallback(Callback callback) { g_callback = callback; }
Sv_Debug::Callback Sv_Debug::GetCallback() { return g_callback; }
void Sv_Debug::SetLevel(int threshold) { g_threshold = threshold; }
int Sv_Debug::GetLevel() { return g_threshold; }
void Sv_Debug::OpenConsole() { g_threshold = SV_LEVEL_DEBUG; }

int Sv_Debug::MessageOnce(const char* key, int level, const char* text, const char* detail) {
  {
    std::lock_guard<std::mutex> lock(g_reportedMutex);
    if (!Reported().insert(key ? key : "").second) return 0;
  }
  Message(level, text, detail);
  return 1;
}

void Sv_Debug::ForgetReported() {
  std::lock_guard<std::mutex> lock(g_reportedMutex);
  Reported().clear();
}
