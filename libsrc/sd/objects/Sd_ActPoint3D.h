#ifndef SD_ACTPOINT3D_H
#define SD_ACTPOINT3D_H

#include <set>
#include <string>

#include "Sd_Point3D.h"

// Decides whether a command stored in a data file may run. The viewer
// installs one that asks the user; a program that installs none runs no
// stored command at all.
class Sd_CommandApprover {
 public:
  virtual ~Sd_CommandApprover() = default;
  // True when the command, read from the file (empty when the set was not
  // read from a file), may run. Called before a command runs that the set
  // has not had approved, and again after every refusal; once it agrees,
  // that exact command of the set runs without asking until the set is
  // released or loaded again. Any other command is asked about anew.
  virtual bool ApproveCommand(const char* command, const char* file) = 0;
};

// An active point set (object record SD_ACTPOINT3D 10522, node type 34): a
// point set whose points each carry a command line. A click on one of its
// points in the view (the selecting tool's release pick: query kind 1,
// action code 1) starts the nearest point's command, exactly as stored, as
// a child process through the shell; the viewer does not wait for it.
// Nothing else runs a command: not loading, drawing, coordinate readouts,
// other picks or the labels. A file from someone else must not run code
// unasked: before a command of a set runs for the first time, the installed
// Sd_CommandApprover is asked with that exact command (without one the
// command is refused with a warning).
//
// Settings, colours, symbols, labels and drawing are the point set's. Its
// record differs from the point set's in its 16-bit label lengths, the
// command that follows every point, and in keeping its bounds as stored
// (docs/file-formats.md).
class Sd_ActPoint3D : public Sd_Point3D {
 public:
  Sd_ActPoint3D();
  // A set made as Sd_Point3D's array constructor makes it, with one command
  // per point (commands may be null, and so may any of its entries).
  Sd_ActPoint3D(int count, int dimension, const double* const* xyz, const double* values, const char* const* labels,
                const char* const* commands);
  ~Sd_ActPoint3D() override;

  // Reads the object record, then the common tags and settings records.
  // 0 for a usable set (also when the labels' font cannot be loaded); -1
  // for a record that cannot be read, leaving the set without points and
  // commands.
  int LoadObject(TDR_Manager* manager) override;
  // Writes the object record and, when withCommonTags is non-zero, the
  // common tags with the settings record. -1 when a write fails or a label
  // or command is longer than 65535 bytes.
  int SaveObject(TDR_Manager* manager, int withCommonTags, int unused) override;
  const char* className() const override;
  // A small two-dimensional set with labels and harmless commands (the
  // factory's sample).
  static int WriteSample(TDR_Manager* manager);

  // Reads the point under the request's pixel from the depth buffer. Only
  // a release pick of the selecting tool (query kind 1, action code 1) on
  // something drawn acts: when the nearest point (the lowest index among
  // equally near ones) lies closer than the symbol size, its command is
  // started without waiting (once that command is approved) and 1
  // is returned, also when the command is refused; otherwise 0. The pick
  // record is not touched.
  int QueryPoint(SDN_PickIn* request, SDN_PickOut* out) override;

  // The approver asked before commands run (none at first); returns the
  // one it replaces. The caller keeps ownership.
  static Sd_CommandApprover* SetCommandApprover(Sd_CommandApprover* approver);
  static Sd_CommandApprover* GetCommandApprover();
  // The file the set was read from (empty when it was not read).
  const char* GetSourceFile() const { return m_sourceFile.c_str(); }
  // Whether this exact command may run without asking again.
  bool CommandApproved(const std::string& command) const { return m_approvedCommands.count(command) != 0; }
  // Runs command i through the shell as QueryPoint does for a pick on it:
  // asks the approver when that command is not approved yet (a point
  // without a command runs nothing and asks nothing). True when it was
  // started.
  bool RunCommand(int i);

  // The command of point i; null when it has none.
  const char* GetCommand(int i) const { return m_commands.Get(i); }
  // Gives point i (0 ... count - 1) a command; false outside the set. The
  // commands start again from none when the set has changed its count.
  bool SetCommand(int i, const char* command);
  // The point nearest to (x, y, z) in data units, the lowest index among
  // equally near ones; -1 for an empty set. *distance gets its distance.
  int NearestPoint(double x, double y, double z, double* distance) const;

 protected:
  int ObjectTag() const override { return TDR_TAG_SD_ACTPOINT3D; }

 private:
  static const BlockLayout kLayout;
  Sd_PointTexts m_commands;
  std::string m_sourceFile;
  // The commands the approver agreed to, byte for byte.
  std::set<std::string> m_approvedCommands;
};

#endif
