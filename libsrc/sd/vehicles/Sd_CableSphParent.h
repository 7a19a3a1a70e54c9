#ifndef SD_CABLESPHPARENT_H
#define SD_CABLESPHPARENT_H

#include "Sd_AlignmentNode.h"

struct CablePoint;
class CablePointList;
class TDR_PayloadReader;

// A whole-earth scene ("Cable Sphere Parent", type id 7, records
// SD_CABLESPHPARENT 9980 and its settings SD_CABLESPHPARENT_ATB 9981): a
// group node that draws a globe of radius about 0.5 around its origin (a
// latitude-longitude mesh in one of four styles), latitude rings, three axis
// lines and a cable given by latitude, longitude and height as a lit tube
// over the globe. Its children, typically a terrain on the globe (type 14),
// are drawn in the same frame.
//
// Rows i = 0 ... 16 of the meshes lie at latitude 10 i - 80 degrees, columns
// j = 0 ... 35 at longitude 10 j; a point at radius R lies at
// (R cos lat cos lon, R cos lat sin lon, R sin lat). Heights are in metres:
// a point of height h lies at radius h e / 12742000 + the base radius
// offset e / 12742000 + 0.5, with e the vertical exaggeration and offset the
// height offset.
//
// The globe, rings and axes are drawn whatever the node's visibility, and
// without lighting; the cable needs the scene's light set and is left out
// without one.
class Sd_CableSphParent : public Sd_AlignmentNode {
 public:
  static constexpr int kTypeId = 7;
  static constexpr int kRows = 17;
  static constexpr int kColumns = 36;
  // Earth's diameter in metres: heights relative to the globe of diameter 1.
  static constexpr double kEarthDiameter = 12742000.0;

  // The defaults, the globe of style 3, then the class file "CableSphClass".
  Sd_CableSphParent();
  // Frees the point list.
  ~Sd_CableSphParent() override;

  // Nothing: the point list is the node's data until it is deleted.
  void FreeData() override;
  // Loading is the alignment node's: the group record, then the common tags
  // with the settings records among them (in any order; a later one wins).
  int SaveObject(TDR_Manager* manager, int withCommonTags, int flag) override;
  // The common tags, then the settings record with the points.
  int WriteCommonTags(TDR_Manager* manager) override;
  // Writes a small globe with a cable (the factory's sample).
  static int WriteSample(TDR_Manager* manager);

  // The group's pass, always in the node's own transform.
  int StepRender() override;
  const char* className() const override;

  // Stores the exaggeration, hands it to every child terrain on the globe
  // (type 14) and places the cable again.
  void SetExaggeration(float exaggeration);
  float GetExaggeration() const { return m_exaggeration; }
  // Store the value and place the cable again.
  void SetCableRadius(float radius);
  void SetHeightOffset(int offset);
  // Stores the style and builds the globe again.
  void SetGlobeStyle(int style);
  // Stores the reserved setting; nothing draws from it.
  void SetReserved(int value);
  void SetCableColour(float r, float g, float b);
  void GetCableColour(float* r, float* g, float* b) const;
  // Takes the cable's heights from the first child terrain on the globe
  // (type 14), 0 where it has none, and places the cable again.
  void DrapeOnSphereDTM();
  // Prints a point's latitude, longitude and height to standard output.
  void PrintPosition(const CablePoint* point) const;
  // Reading cables from other files is not offered: says so and does nothing.
  void LoadCable(const char* name);

  // The point at radius at latitude and longitude (degrees).
  static void OnSphere(double radius, double latitude, double longitude, double out[3]);

  // The height scale (exaggeration / Earth's diameter) and base radius.
  void UpdateRadiusScale();
  // The scene position of every cable point on the globe.
  void ToSphereCoordinates();
  // The tube around the cable's scene positions; a cable of fewer than two
  // points has none. 0 when a tube was built.
  int BuildPipe();
  // The globe's colours and radius by its style: 0 black at 0.47, 1 as
  // they are at 0.5 (drawn as no globe), 2 blue fading to the poles at 0.5,
  // 3 grey darkening to the poles at 0.48; other styles keep the colours at
  // 0.5.
  void BuildGlobe();

  // Replaces the cable with count points of latitude, longitude (degrees)
  // and height triples, placed and built at once; count 0 or a null list
  // removes it. -1 when the points cannot be held (nothing changes).
  int SetPoints(const double* latLonHeight, int count);
  const CablePointList* GetPointList() const { return m_points; }
  double GetHeightScale() const { return m_heightScale; }
  double GetBaseRadius() const { return m_baseRadius; }
  int GetGlobeStyle() const { return m_globeStyle; }
  int GetHeightOffset() const { return m_heightOffset; }
  float GetCableRadius() const { return m_cableRadius; }
  int GetCableSegments() const { return m_cableSegments; }
  int GetReserved() const { return m_reserved; }
  // Globe mesh vertex (x, y, z) and RGBA colour of row i, column j.
  const float* GetGlobeVertex(int i, int j) const { return m_globe[i][j]; }
  const unsigned char* GetGlobeColour(int i, int j) const { return m_globeColours[i][j]; }
  int GetShowAxes() const { return m_showAxes; }
  void SetShowAxes(int on) { m_showAxes = on; }
  int GetShowRings() const { return m_showRings; }
  void SetShowRings(int on) { m_showRings = on; }
  int GetShowGlobe() const { return m_showGlobe; }
  void SetShowGlobe(int on) { m_showGlobe = on; }
  int GetShowCable() const { return m_showCable; }
  void SetShowCable(int on) { m_showCable = on; }

 protected:
  // Takes the settings records; a damaged or refused one changes nothing.
  int ReadOwnRecord(TDR_Manager* manager, int tag) override;
  // The globe, rings, axes and cable in the node's scaled frame.
  void DrawOwn() override;

 private:
  // The class file: its third line after the version gives cable radius,
  // segment count and colour.
  void ReadClassConfiguration();
  // Places the cable on the globe and builds its tube, when there is one.
  void PlaceCable();
  void DrawSphere();

  double m_heightScale;
  double m_baseRadius;
  int m_showAxes;
  int m_showRings;
  int m_showGlobe;
  int m_globeStyle;
  int m_reserved;
  float m_exaggeration;
  CablePointList* m_points;
  int m_showCable;
  int m_heightOffset;
  int m_cableSegments;
  float m_cableRadius;
  float m_cableColour[3];
  float m_globe[kRows][kColumns][3];
  unsigned char m_globeColours[kRows][kColumns][4];
  // Whether the missing light set has been reported by this node.
  int m_lightMissingReported;
};

#endif
