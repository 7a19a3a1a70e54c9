#ifndef SD_CABLEPARENT_H
#define SD_CABLEPARENT_H

#include "Sd_AlignmentNode.h"

class CablePointList;
class TDR_PayloadReader;

// A cable ("Cable Parent", type id 4, records SD_CABLEPARENT 9960 and its
// settings SD_CABLEPARENT_ATB 9961): a group node that draws a lit grey
// tube along the points of its settings record, in its own box, and holds
// children like any group.
//
// The points are data coordinates, stored y, x, z. The tube is built
// (BuildPipe) when the node is fitted into the scene or after a scene is
// loaded: each point is mapped into 0 ... scale on each axis through the
// node's bounds and scale, the tube is built around that line and lifted
// in z. Changing the bounds, scale or points therefore reaches the tube only
// at the next build. The tube is drawn after the node's translation and
// rotation, shifted by -0.5 scale, and whatever the node's visibility; it
// needs the scene's light set and is left out without one.
class Sd_CableParent : public Sd_AlignmentNode {
 public:
  static constexpr int kTypeId = 4;
  Sd_CableParent();
  // Frees the point list.
  ~Sd_CableParent() override;

  // Nothing: the point list is the node's data until it is deleted.
  void FreeData() override;
  // Builds the tube.
  void PostLoadOperations(int flag) override;
  // Loading is the alignment node's: the group record, then the common tags
  // with the settings records among them (in any order; a later one wins).
  int SaveObject(TDR_Manager* manager, int withCommonTags, int flag) override;
  // The common tags, then the settings record with the points.
  int WriteCommonTags(TDR_Manager* manager) override;
  // Writes a small cable with its settings and points (the factory's sample).
  static int WriteSample(TDR_Manager* manager);

  // The group's pass, always in the node's own transform.
  int StepRender() override;
  const char* className() const override;
  // The group's fit (a spherical scene is fitted like a projected one),
  // then BuildPipe.
  void FitToScene(Sd_Node* scene, int flag) override;

  // Store the value, then BuildPipe. A segment count outside
  // Sd_VectorPipe::kMinSegments ... kMaxSegments is refused (nothing
  // changes; -1).
  void SetPipeRadius(float radius);
  void SetPipeLift(float lift);
  int SetPipeSegments(int segments);
  // Reading cables from other files is not offered: says so and does nothing.
  void LoadCable(const char* name);

  // Maps the points into the node's box and builds the tube around them,
  // then lifts every ring vertex. A cable of fewer than two points has no
  // tube. 0 when a tube was built.
  int BuildPipe();

  // Replaces the points with count points of data coordinates x, y, z
  // (count triples); count 0 or a null xyz removes them. The tube follows
  // at the next build. -1 when the points cannot be held (nothing changes).
  int SetPoints(const double* xyz, int count);
  // The point list (null when there is none), with each point's source
  // values y, x, z and, once built, its scene position and ring.
  const CablePointList* GetPointList() const { return m_points; }
  int GetShowPipe() const { return m_showPipe; }
  void SetShowPipe(int on) { m_showPipe = on; }
  float GetPipeLift() const { return m_lift; }
  int GetPipeSegments() const { return m_segments; }
  float GetPipeRadius() const { return m_radius; }

 protected:
  // Takes the settings records; a damaged or refused one changes nothing.
  int ReadOwnRecord(TDR_Manager* manager, int tag) override;
  // The tube, unscaled, shifted by -0.5 scale.
  void DrawOwn() override;

 private:
  // The fields of a settings record after the tag's format version; the
  // new point list in *points (null for none). False refuses the record.
  bool ReadSettings(TDR_PayloadReader& in, const float* formatVersion, CablePointList** points);

  CablePointList* m_points;
  int m_showPipe;
  float m_lift;
  int m_segments;
  float m_radius;
  // Whether the missing light set has been reported by this node.
  int m_lightMissingReported;
};

#endif
