#include "Sv_CmdProcessor.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Sv_Debug.h"

Sv_CmdProcessor::Sv_CmdProcessor() : m_debug(0) {
  AddCommand("-debug", TYPE_INT, &m_debug, 0, 0);
}

int Sv_CmdProcessor::AddCommand(const char* name, int type, void* target, int argCount, int required) {
  if (!name || !*name || !target) return -1;
  if (type == TYPE_INT) {
    if (argCount != 0 && argCount != 1) return -1;
  } else if (type == TYPE_STRING) {
    if (argCount != 1) return -1;
  } else {
    return -1;
  }
  if (Command* c = Find(name)) {
    *c = Command{name, type, target, argCount, required, false};
    return 0;
  }
  m_commands.push_back(Command{name, type, target, argCount, required, false});
  return 0;
}

void Sv_CmdProcessor::SetHelp(const char* const* lines, int count, const char* helpOption) {
  m_help.clear();
  for (int i = 0; lines && i < count; ++i) m_help.push_back(lines[i] ? lines[i] : "");
  m_helpOption = helpOption ? helpOption : "";
}

void Sv_CmdProcessor::SetVersion(const char* versionOption, const char* buildDate, const char* buildTime) {
  m_versionOption = versionOption ? versionOption : "";
  m_buildDate = buildDate ? buildDate : "";
  m_buildTime = buildTime ? buildTime : "";
}

std::string Sv_CmdProcessor::Usage() const {
  std::string u;
  for (size_t i = 0; i < m_help.size(); ++i) {
    if (i) u += '\n';
    u += m_help[i];
  }
  return u;
}

Sv_CmdProcessor::Command* Sv_CmdProcessor::Find(const char* name) {
  for (Command& c : m_commands) {
    if (c.name == name) return &c;
  }
  return nullptr;
}

// A word that starts an option: a leading '-' not followed by a digit or a
// '.', so that negative numbers remain arguments.
bool Sv_CmdProcessor::IsOptionWord(const char* word) const {
  if (!word || word[0] != '-' || word[1] == '\0') return false;
  return !(isdigit(static_cast<unsigned char>(word[1])) || word[1] == '.');
}

int Sv_CmdProcessor::Parse(int argc, char** argv) {
  for (Command& c : m_commands) c.seen = false;
  const std::string usage = Usage();

  for (int i = 1; i < argc; ++i) {
    const char* word = argv[i];
    if (!word) continue;
    if (!m_helpOption.empty() && m_helpOption == word) {
      Sv_Debug::Message(SV_LEVEL_INFO, usage.c_str());
      return -1;
    }
    if (!m_versionOption.empty() && m_versionOption == word) {
      char text[512];
      snprintf(text, sizeof(text), "\nVersion %s, Created on: %s at the time of: %s\n", Version(),
               m_buildDate.c_str(), m_buildTime.c_str());
      Sv_Debug::Message(SV_LEVEL_INFO, text);
      return -1;
    }
    Command* c = Find(word);
    if (!c) {
      Sv_Debug::Message(SV_LEVEL_ERROR, "Command Line Error - Unknown Argument");
      if (!usage.empty()) Sv_Debug::Message(SV_LEVEL_INFO, usage.c_str());
      return -1;
    }
    int received = 0;
    while (i + 1 + received < argc && !IsOptionWord(argv[i + 1 + received])) ++received;
    if (received != c->argCount) {
      char text[512];
      snprintf(text, sizeof(text), "Bad # of arguments for command \"%s\" (expected %d but received %d )\n",
               c->name.c_str(), c->argCount, received);
      Sv_Debug::Message(SV_LEVEL_ERROR, text);
      return -1;
    }
    const char* arg = received ? argv[i + 1] : nullptr;
    if (c->type == TYPE_INT) {
      int* target = static_cast<int*>(c->target);
      if (!arg) {
        *target = 1;
      } else {
        errno = 0;
        char* end = nullptr;
        long v = strtol(arg, &end, 10);
        if (errno || end == arg || *end || v < INT_MIN || v > INT_MAX) {
          char text[512];
          snprintf(text, sizeof(text), "Command Line Error - Bad integer argument for \"%s\"", c->name.c_str());
          Sv_Debug::Message(SV_LEVEL_ERROR, text);
          return -1;
        }
        *target = static_cast<int>(v);
      }
    } else {
      // A name cut to fit would open another file: a longer one is refused.
      const size_t length = strlen(arg);
      if (length >= STRING_SIZE) {
        char text[512];
        snprintf(text, sizeof(text), "Command Line Error - Argument of \"%s\" too long (%zu bytes, at most %d)",
                 c->name.c_str(), length, STRING_SIZE - 1);
        Sv_Debug::Message(SV_LEVEL_ERROR, text);
        return -1;
      }
      memcpy(c->target, arg, length + 1);
    }
    c->seen = true;
    i += received;
  }

  std::string missing;
  for (const Command& c : m_commands) {
    if (c.required && !c.seen) {
      missing += missing.empty() ? "" : " ";
      missing += c.name;
    }
  }
  if (!missing.empty()) {
    std::string text = "Command Line Error - Missing required argument(s): " + missing;
    Sv_Debug::Message(SV_LEVEL_ERROR, text.c_str());
    if (!usage.empty()) Sv_Debug::Message(SV_LEVEL_INFO, usage.c_str());
    return -1;
  }
  if (m_debug) Sv_Debug::OpenConsole();
  return 0;
}
