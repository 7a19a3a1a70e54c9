#ifndef TDR_GEOREF_H
#define TDR_GEOREF_H

class TDR_Manager;

// A georeference record (tag TDR_TAG_GEOREF, 15000): how a data set lies on
// the earth. Three type codes (reference type: 0 a regular bounding box;
// geographic unit: 2 UTM; sub-unit: 0 none), x, y and z bounds, cell
// sizes, the minimum x and y, a clockwise rotation in degrees and a colour
// resolution. docs/file-formats.md gives the payload layouts.
class TDR_GeoRef {
 public:
  // Tag version 1, format version 2.0, everything else 0.
  TDR_GeoRef();

  // Reads a 15000 payload at the stream position of the manager's current
  // tag, converting the old layouts. 0 on success; -1 without a manager or
  // for a short or damaged payload (the record is then unchanged).
  int Read(TDR_Manager* manager);
  // Writes the payload in the current layout (preceded by the float32
  // format version when the manager's current tag has version 0).
  // 0 on success, -1 on failure.
  int Write(TDR_Manager* manager);
  // Writes a whole record (tag version 1) that holds the bounds {xmin, xmax,
  // ymin, ymax, zmin, zmax} with every other field at its default, as a
  // scene object gives its box. 0 on success, -1 on failure.
  static int WriteBoundsRecord(TDR_Manager* manager, const float bounds[6]);

  double* GetXBounds() { return m_xBounds; }
  double* GetYBounds() { return m_yBounds; }
  double* GetZBounds() { return m_zBounds; }
  const double* GetXBounds() const { return m_xBounds; }
  const double* GetYBounds() const { return m_yBounds; }
  const double* GetZBounds() const { return m_zBounds; }
  void SetXBounds(double min, double max);
  void SetYBounds(double min, double max);
  void SetZBounds(double min, double max);
  // The three pairs at once, from {xmin, xmax, ymin, ymax, zmin, zmax}.
  void SetBounds(const float bounds[6]);

  // Cell sizes {dx, dy} and the minimum x and y {x, y}.
  void SetCellDeltas(double dx, double dy);
  const double* GetCellDeltas() const { return m_cellDeltas; }
  void SetMinXY(double x, double y);
  const double* GetMinXY() const { return m_minXY; }
  // Clockwise rotation in degrees.
  void SetRotation(double degrees) { m_rotation = degrees; }
  double GetRotation() const { return m_rotation; }
  void SetColorResolution(float resolution) { m_colorResolution = resolution; }
  float GetColorResolution() const { return m_colorResolution; }

  void SetReferenceType(int type) { m_referenceType = type; }
  int GetReferenceType() const { return m_referenceType; }
  void SetGeoUnitType(int type) { m_geoUnitType = type; }
  int GetGeoUnitType() const { return m_geoUnitType; }
  void SetSubUnitType(int type) { m_subUnitType = type; }
  int GetSubUnitType() const { return m_subUnitType; }

  short GetTagVersion() const { return m_tagVersion; }
  float GetFormatVersion() const { return m_formatVersion; }

  // Bytes of the current payload layout (without a leading format version).
  static constexpr int kPayloadSize = 104;
  // Bytes of the old single-precision layout of format versions below 2.0.
  static constexpr int kOldPayloadSize = 32;

  // The geographic unit code; callers read and set it directly.
  int m_geoUnitType;

 private:
  short m_tagVersion;
  float m_formatVersion;
  int m_referenceType;
  int m_subUnitType;
  double m_xBounds[2];
  double m_yBounds[2];
  double m_zBounds[2];
  double m_cellDeltas[2];
  double m_minXY[2];
  double m_rotation;
  float m_colorResolution;
};

#endif
