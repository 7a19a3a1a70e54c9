#ifndef SV_CMDPROCESSOR_H
#define SV_CMDPROCESSOR_H

#include <string>
#include <vector>

// Command-line option processor. Constructed with its own "-debug" option,
// which shows debug messages when given.
class Sv_CmdProcessor {
 public:
  enum { TYPE_INT = 1, TYPE_STRING = 5 };
  enum { STRING_SIZE = 256 };

  Sv_CmdProcessor();

  // Adds an option. Type 1: an int; with expected count 0 a flag set to 1
  // when present. Type 5: a string copied into the caller's buffer of
  // STRING_SIZE characters; Parse refuses a longer argument (a name cut to
  // fit would name another file). Returns 0, or -1 for an unknown
  // type, a null name or target, or a count this type cannot take.
  int AddCommand(const char* name, int type, void* target, int argCount, int required);

  // Usage lines, printed joined as one info message by the help option.
  void SetHelp(const char* const* lines, int count, const char* helpOption);

  // The version option prints the version with the build date and time.
  void SetVersion(const char* versionOption, const char* buildDate, const char* buildTime);

  // 0 when every argument matched an option with the expected number of
  // arguments and every required option was given; -1 after printing the
  // usage, the version, or the error (also for a string argument of
  // STRING_SIZE characters or more).
  int Parse(int argc, char** argv);

  // The text the help option prints.
  std::string Usage() const;

  static const char* Version() { return "6.1.2b"; }

 private:
  struct Command {
    std::string name;
    int type;
    void* target;
    int argCount;
    int required;
    bool seen;
  };
  Command* Find(const char* name);
  bool IsOptionWord(const char* word) const;

  std::vector<Command> m_commands;
  std::vector<std::string> m_help;
  std::string m_helpOption;
  std::string m_versionOption;
  std::string m_buildDate;
  std::string m_buildTime;
  int m_debug;
};

#endif
