#ifndef SD_SHIPPARENT_H
#define SD_SHIPPARENT_H

#include "Sd_AlignmentNode.h"

class TDR_PayloadReader;

// A survey ship ("Ship Node", type id 5, records SD_SHIPPARENT 9965 and its
// settings SD_SHIPPARENT_ATB 9966): a group node that marks the ship's track
// and its sonobuoys with small four-coloured pyramids inside its own box and
// holds children like any group.
//
// Positions are data coordinates, mapped into the box -0.5 ... 0.5 through
// the node's bounds when drawn (an axis whose bounds have no range maps to
// the middle). Track markers stand at height 0.1 of the box, sonobuoy
// markers at their own depth. At most kMaxTrackPoints track points and
// kMaxSonobuoys sonobuoys are held; longer lists from records, the class
// file "ShipParentClass" or text files keep their first entries.
//
// The markers are drawn whatever the node's visibility, which gates only
// the children, bounding box and profile points. With the animate flag, each
// whole Render draws a window of the track that moves on by one point per
// call; the progressive pass draws the whole track.
class Sd_ShipParent : public Sd_AlignmentNode {
 public:
  static constexpr int kMaxTrackPoints = 750;
  static constexpr int kMaxSonobuoys = 20;
  // Track and sonobuoy text files larger than this are refused.
  static constexpr long long kMaxPositionFileBytes = 64LL << 20;

  // Bounds x 0 ... 1, y 0 ... 1, z -5000 ... 5000, no points, then the
  // class file.
  Sd_ShipParent();
  ~Sd_ShipParent() override;

  // Nothing: the positions are the node's data until it is deleted.
  void FreeData() override;
  // The object record (bounds, track, sonobuoys), then the common tags with
  // the settings records among them (in any order; a later one wins). A
  // damaged object record fails (non-zero) and leaves the node unchanged.
  int LoadObject(TDR_Manager* manager) override;
  int SaveObject(TDR_Manager* manager, int withCommonTags, int flag) override;
  // The common tags, then the settings record.
  int WriteCommonTags(TDR_Manager* manager) override;
  // Writes a small ship with a track and sonobuoys (the factory's sample).
  static int WriteSample(TDR_Manager* manager);

  // The group's drawing with the markers; an animated track moves on.
  void Render() override;
  // The group's pass, always in the node's own transform; the whole track.
  int StepRender() override;

  static constexpr int kTypeId = 5;
  const char* className() const override;
  // Asks every visible child (when the node is visible) inside the node's
  // transform, whatever they answer; the ship itself reports no hit (0).
  int QueryPoint(SDN_PickIn* request, SDN_PickOut* out) override;

  // "ShipParentClass": six values, each on the first line after it that
  // does not begin with '#': show-track setting, show-sonobuoys flag,
  // animate flag, animation window length, sonobuoy count, track point
  // count. Reading stops at the first value missing or not a number.
  void ReadClassConfiguration();
  // Text files of track points ("count", then per line four whole numbers
  // that are not used, the value, y and x) and of sonobuoys ("count", then
  // "y x z" per line). Lines without their numbers are skipped; the bounds
  // are set from the positions read when x and y have none yet, else
  // widened to hold them. -1, changing nothing, when the file cannot be
  // opened or does not begin with a count.
  int ReadTrackFile(const char* path);
  int ReadSonobuoyFile(const char* path);
  // One marker at the origin of the current frame: a track marker (marker
  // kind 0) or a sonobuoy marker (kind 1).
  void DrawMarker();

  // The next window of an animated track: the first and last point to draw
  // (last < first when there is none), then the animation position moves
  // on by one, back to 0 at the end of the track.
  void NextAnimationWindow(int* first, int* last);

  // Replaces the track with count points (values and x, y pairs) or the
  // sonobuoys with count x, y, z triples; at most the capacity is kept.
  // Returns the number stored.
  int SetTrack(const float* values, const float* xy, int count);
  int SetSonobuoys(const float* xyz, int count);
  // Entry i of the arrays (i below the capacity; entries from the count on
  // are not drawn).
  int GetTrackCount() const { return m_positions.trackCount; }
  int GetSonobuoyCount() const { return m_positions.sonobuoyCount; }
  float GetTrackValue(int i) const { return m_positions.values[i]; }
  const float* GetTrackPoint(int i) const { return m_positions.track[i]; }
  const float* GetSonobuoy(int i) const { return m_positions.sonobuoys[i]; }

  float GetShowTrack() const { return m_showTrack; }
  void SetShowTrack(float on) { m_showTrack = on; }
  int GetShowSonobuoys() const { return m_showSonobuoys; }
  void SetShowSonobuoys(int on) { m_showSonobuoys = on; }
  int GetAnimate() const { return m_animate; }
  void SetAnimate(int on) { m_animate = on; }
  int GetAnimationWindow() const { return m_window; }
  void SetAnimationWindow(int points) { m_window = points; }
  int GetAnimationPosition() const { return m_animationPosition; }
  void SetMarkerKind(int kind) { m_markerKind = kind; }

 protected:
  // Takes the settings records; a damaged one changes nothing.
  int ReadOwnRecord(TDR_Manager* manager, int tag) override;
  // The markers, in the node's scaled frame.
  void DrawOwn() override;

 private:
  // What the records and text files give: the counts and the positions.
  struct Positions {
    int trackCount;
    int sonobuoyCount;
    float values[kMaxTrackPoints];
    float track[kMaxTrackPoints][2];     // x, y
    float sonobuoys[kMaxSonobuoys][3];  // x, y, z
  };
  // count entries of entryBytes from in, the first capacity of them
  // through take(i); false when count is negative or the entries do not
  // fit into the record.
  template <class Take>
  static bool ReadEntries(TDR_PayloadReader& in, int count, int capacity, int entryBytes, Take take);
  // v of axis (0 x, 1 y, 2 z) in the box -0.5 ... 0.5.
  float MapIntoBox(float v, int axis) const;
  // Sets the x and y bounds to [lo, hi] when they have none, else widens
  // them to hold it.
  void SetOrWidenXY(const float lo[2], const float hi[2]);
  // Reads a text file of positions: its count line, then up to that many
  // lines of the numbers of pattern (Sd_TextScan::Scan), of which the first
  // capacity are handed to store with their index (the reals; the whole
  // numbers are not used); lines without their numbers are skipped. Sets
  // z bounds of -5000 ... 5000 where both are 0. Returns the number stored,
  // or -1 (with openMessage at debug level when it cannot be opened) when
  // the file cannot be opened or has no count.
  template <class Store>
  int ReadPositionFile(const char* path, const char* openMessage, const char* pattern, int capacity, Store store);

  Positions m_positions;
  int m_animate;
  float m_showTrack;
  int m_showSonobuoys;
  int m_window;
  int m_animationPosition;
  int m_markerKind;
  // Set while Render draws: the animated track window is drawn and moves.
  int m_wholeRender;
};

#endif
