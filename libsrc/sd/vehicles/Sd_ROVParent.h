#ifndef SD_ROVPARENT_H
#define SD_ROVPARENT_H

#include <string>

#include "Sd_AlignmentNode.h"
#include "Sv_Attitude.h"
#include "Sv_Matrix4.h"
#include "Sv_SharedMemory.h"

class TDR_PayloadReader;

// A remotely operated vehicle ("ROV Node", type id 6, records SD_ROVPARENT
// 9975 and its settings SD_ROVPARENT_ATB 9976): a group node that draws a
// vehicle at the pose another program publishes in the shared-memory block
// "ROVMEMDATA", with a yellow marker line through the node's box at the
// vehicle's place, and holds children like any group.
//
// The node attaches to the block when it is made (it never creates one) and
// reads it at every draw, so the vehicle follows the publisher whenever the
// view is redrawn. The block is another program's memory, which that
// program may shrink or make anew at any moment: each draw copies the pose
// once, through the block's handle (a short block gives a short read, never
// a bus error), and draws that copy, so one frame never mixes two poses.
// While the block is shorter than its 336 bytes the last whole pose stays
// on the screen (said once per such spell); a block that its writer removed
// and made anew is attached again. A pose that cannot be drawn (a value
// that is not a finite number, a normalised axis without range) leaves the
// vehicle out of that frame. The viewer writes into the block only the
// node's bounds after a fit (SetGeoBoundInfo) and the vehicle scale
// (SetScale), never past its end, and not at all into a block published
// read-only, which is attached for reading. Without a block there is no
// vehicle, no marker and no write; the children draw as usual.
class Sd_ROVParent : public Sd_AlignmentNode {
 public:
  static constexpr int kTypeId = 6;
  // The block: 42 doubles in this machine's order.
  enum {
    kBlockDoubles = 42,
    kBlockBytes = kBlockDoubles * 8,
    kPosition = 0,        // x, y, z of the vehicle
    kAngles = 3,          // the three angles handed to Sv_Attitude
    kCoordinateMode = 6,  // exactly 1.0: the position is in the node's data coordinates
    kVehicleScale = 8,    // uniform scale handed to Sv_Attitude
    kScaleXYZ = 9,        // scale after the attitude
    kOffset = 12,         // translation before the attitude
    kBounds = 15,         // written here: xmin, xmax, ymin, ymax, zmin, zmax
    kBoundsValid = 21,    // written here: 1.0 once the bounds are valid
    kHistoryName = 184,   // byte offset of the history file name
    kHistoryNameBytes = 152
  };

  // Attaches to the block (see SetBlockName); without one it says so at
  // debug level and goes on.
  Sd_ROVParent();
  // Lets go of the block.
  ~Sd_ROVParent() override;

  // The group's data; the block stays attached until the node goes (every
  // draw reads it).
  void FreeData() override;
  // The object record, then the common tags with the settings records
  // among them (in any order; a later one wins). -1 for an object record
  // shorter than its 8 bytes or a damaged common tag.
  int LoadObject(TDR_Manager* manager) override;
  // The object record, then, when asked, the common tags and the settings.
  int SaveObject(TDR_Manager* manager, int withCommonTags, int flag) override;
  // The common tags, then the settings record.
  int WriteCommonTags(TDR_Manager* manager) override;
  // Writes a small ROV node with its common tags and settings (the
  // factory's sample).
  static int WriteSample(TDR_Manager* manager);

  // The group's pass, always in the node's own transform; the vehicle is
  // drawn in its first step.
  int StepRender() override;
  const char* className() const override;
  // The group's fit, then SetGeoBoundInfo.
  void FitToScene(Sd_Node* scene, int flag) override;

  // Writes the node's bounds and the valid flag into the block.
  void SetGeoBoundInfo();
  // The vehicle scale, kept in the block (0 without a block).
  using Sd_Node::GetScale;
  using Sd_Node::SetScale;
  void SetScale(float scale);
  double GetScale() const;
  // Adds the track named in the block as the last child, an Sd_Lines3D
  // named "ROV History" read from that line file. 0 when it was read; -1
  // without a block, name or readable regular file (nothing is added).
  int LoadHistory();
  // Says at debug level that there is nothing to tell.
  void Information();

  // The two settings of the settings record; nothing consults them.
  void SetFirstSetting(int value) { m_settings[0] = value; }
  int GetFirstSetting() const { return m_settings[0]; }
  int GetSecondSetting() const { return m_settings[1]; }

  // Whether the block is attached.
  bool IsAttached() const { return m_memory.GetMemory() != nullptr; }
  // Whether the attachment may write into the block (false for a block
  // published read-only).
  bool CanWriteBlock() const { return m_memory.IsWritable(); }
  // The name of the block that nodes made from now on attach to; null
  // restores "ROVMEMDATA". For tests, which publish blocks of their own.
  static void SetBlockName(const char* name);
  static const char* GetBlockName();

 protected:
  // Takes the settings records; a damaged one changes nothing.
  int ReadOwnRecord(TDR_Manager* manager, int tag) override;
  // The vehicle and its marker, in the node's scaled frame.
  void DrawOwn() override;

 private:
  // One draw's copy of the block.
  struct Pose {
    double v[kBlockDoubles];
  };
  // Takes the block's pose into m_pose when the block still holds all of
  // it; otherwise keeps the last one. False while no whole pose was ever
  // read (or nothing is attached).
  bool TakePose();
  // Writes count doubles from index on into the block (not past its end).
  void WriteBlock(int index, const double* values, int count);
  // Draws the vehicle and marker of one pose; nothing when a value needed
  // is not a finite number.
  void DrawVehicle(const Pose& pose);

  int m_settings[2];
  Sv_SharedMemory m_memory;
  std::string m_blockName;  // the block attached to
  Pose m_pose;              // the last whole pose read from the block
  bool m_havePose;
  bool m_shortBlock;  // the block was found short; said once per spell
  Sv_Attitude m_attitude;
  Sv_Matrix4 m_vehicleTransform;
};

#endif
