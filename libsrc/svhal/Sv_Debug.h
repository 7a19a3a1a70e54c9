#ifndef SV_DEBUG_H
#define SV_DEBUG_H

#include "Sv_Types.h"

// The one message log of the process.
//
// A message has a level (-99 error, -3 warning, -2 info, -1 debug) and a
// text, optionally followed by ": " and a detail (usually the reporting
// function's name). A message passes the filter when its level is at or
// below the threshold; the default threshold passes errors, warnings and
// information and hides debug messages.
//
// Without a callback a passing message is written to the error stream as
// "%s: %s" (level prefix and text). With a callback every passing message
// that is not a debug message goes to the callback, without its prefix;
// debug messages always go to the error stream.
class Sv_Debug {
 public:
  typedef void (*Callback)(int level, const char* text);

  static void Message(int level, const char* text, const char* detail = nullptr);
  static void Debug(const char* format, ...) __attribute__((format(printf, 1, 2)));
  static void Info(const char* format, ...) __attribute__((format(printf, 1, 2)));
  static void Warning(const char* format, ...) __attribute__((format(printf, 1, 2)));
  static void Error(const char* format, ...) __attribute__((format(printf, 1, 2)));

  // Reports the message only the first time the key is given in this
  // process; later calls with the same key are silent, whatever their text.
  // For conditions that would otherwise repeat on every load, such as a
  // missing WRUHOME or a missing configuration or colour-map file (the key
  // names the variable or the file). The key counts as used even when the
  // level filter hides the message. 1 when this call reported, else 0.
  static int MessageOnce(const char* key, int level, const char* text, const char* detail = nullptr);
  // Forgets the keys MessageOnce has seen, so each is reported again.
  static void ForgetReported();

  // Every Message, passing the filter or not, is counted and its text (with
  // its detail) kept, so that a caller can tell why an operation it called
  // failed: compare the count before and after, then take the last text.
  static unsigned long MessageCount();
  static const char* LastMessage();
  // The level of the last message: whether its text was meant for the user
  // (a warning or an error) or only for the log.
  static int LastLevel();

  // Replaces the callback; null returns to the error stream.
  static void SetCallback(Callback callback);
  static Callback GetCallback();

  // Threshold of the level filter: messages with level <= threshold pass.
  static void SetLevel(int threshold);
  static int GetLevel();

  // "-debug": show debug messages as well. The error stream is the console.
  static void OpenConsole();

  // The prefix written before a message of this level ("ERROR" ...).
  static const char* LevelName(int level);
};

#endif
