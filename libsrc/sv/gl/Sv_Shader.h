#ifndef SV_SHADER_H
#define SV_SHADER_H

// Hill shading of a height grid, one row at a time, with a colour map.
//
// The shader never sees the grid itself: it asks its owner for rows through
// callbacks (function, user data) and keeps copies of the three rows around
// the row it shades (the row below, the row, the row above), so a callback
// may hand out the same buffer on every call.
//
// Heights are 16-bit codes; 0 means "no value". The colour of a node is
// taken from the colour map (256 packed colours, red in the low byte) by its
// code (index = code / 256), from the code of a second ("alternate") source
// in alternate mode, or from a colour row when a colour source is installed.
// That colour is then lit by a sun from the six shading parameters (see
// SetSun and docs/design/sv-gl.md, "Row shader"): flat ground keeps the map's
// colour, slopes facing the sun get brighter, slopes facing away darker.
//
// A sweep shades every row once, in the order GetRowStep gives: from row 0
// upward when the sun's azimuth is 0 or more, else from the last row down.
class Sv_Shader {
 public:
  typedef unsigned short* (*HeightRowSource)(int row, void* data);
  typedef unsigned int* (*ColorRowSource)(int row, void* data);

  // Defaults of the six shading parameters, in SetSun's order.
  static constexpr float kDefaultAzimuth = 0.7853982f;
  static constexpr float kDefaultStrength = 0.5f;
  static constexpr float kDefaultAmbient = 0.1f;
  static constexpr float kDefaultRelief = 0.10622f;
  static constexpr float kDefaultElevation = 0.5f;
  static constexpr float kDefaultHighlight = 0.35f;

  // A shader over rows rows of samplesPerRow samples. The colour map starts
  // as the built-in grey ramp (index i gives grey i, TDR_UtlBuiltInColormap)
  // until LoadColormap succeeds. Sizes below 1 give a shader that shades
  // nothing.
  Sv_Shader(int rows, int samplesPerRow);
  // Frees the row copies and the colour table.
  virtual ~Sv_Shader();
  Sv_Shader(const Sv_Shader&) = delete;
  Sv_Shader& operator=(const Sv_Shader&) = delete;

  // Loads the colour map from a colour-map file. 0 on success; -1 (after a
  // debug message) when the file cannot be read or no name is given, and
  // the colour map stays as it was. A missing file is reported once per
  // process, so shading again does not repeat the message.
  int LoadColormap(const char* file);
  // The current colour map (256 entries).
  const unsigned int* GetColormap() const { return m_colormap; }

  // Source of the height rows; the shader shades nothing without one. A
  // source that returns null for a row makes that row count as all "no
  // value".
  void SetHeightCallback(HeightRowSource fn, void* data);
  // The heights that the codes 1 ... 65535 stand for. The colour map spans
  // this range, so the colour index depends on the code alone; an empty or
  // inverted range (zmax <= zmin) is a flat surface, lit as flat ground.
  void SetHeightRange(double zmin, double zmax);
  // Second code source, used for the colour index in alternate mode.
  void SetAltHeightCallback(HeightRowSource fn, void* data);
  // The values that the alternate codes stand for (kept for callers; the
  // colour map spans them, so the index again depends on the code alone).
  void SetAltHeightRange(double min, double max);
  // 1: the colour index comes from the alternate source (when one is
  // installed), the lighting still from the heights. 0: both from heights.
  void SetAltHeightMode(int on);
  // Source of base colours: when installed, node colours come from these
  // rows (alpha kept) instead of the colour map; they are lit the same way.
  void SetColorSourceCallback(ColorRowSource fn, void* data);

  // The six shading parameters: sun azimuth in radians (clockwise from the
  // grid's +y axis towards +x; its sign also picks the sweep direction),
  // strength of the shading (0 flat colours ... 1 full), ambient light
  // (0 ... 1), relief (height of the full code range relative to the
  // grid's longer side), sun elevation in radians (0 ... pi/2) and
  // highlight (0 ... 1, whitening of slopes lit more than flat ground).
  // Values outside their ranges are clamped; values that are not numbers
  // take the defaults. Restarts the sweep.
  void SetSun(float azimuth, float strength, float ambient, float relief, float elevation, float highlight);

  // +1 when the azimuth is 0 or more (the sweep runs from row 0 upward),
  // -1 otherwise (from the last row down).
  int GetRowStep() const;
  // The row that the next ShadeRow shades, or -1 when the sweep is over.
  int GetNextRow() const;

  // Shades the next row of the sweep into destination (samplesPerRow packed
  // colours) and advances. 0 on success; -1 when the sweep is over, there
  // is no height source or destination is null (nothing is written).
  int ShadeRow(unsigned int* destination);

  // The light factor of one node: 1.0 on flat ground, more on slopes facing
  // the sun, less on slopes facing away; gx and gy are the height gradient
  // (height units per horizontal unit) along +x and +y.
  float LightFactor(float gx, float gy, float* highlight) const;
  // The base colour lit by a factor and highlight weight (alpha kept).
  static unsigned int ApplyLight(unsigned int colour, float factor, float highlight);

 private:
  unsigned short* FetchRow(int row, unsigned short* into);
  void StartSweep();
  void ShadeInto(unsigned int* destination);

  int m_rows;
  int m_samples;
  unsigned int* m_colormap;

  HeightRowSource m_heightFn;
  void* m_heightData;
  HeightRowSource m_altFn;
  void* m_altData;
  ColorRowSource m_colorFn;
  void* m_colorData;
  int m_altMode;
  double m_heightRange[2];
  double m_altRange[2];

  // Shading parameters.
  float m_azimuth;
  float m_strength;
  float m_ambient;
  float m_relief;
  float m_elevation;
  float m_highlight;
  // Derived: sun direction and the light of flat ground.
  float m_sun[3];
  float m_flatLight;

  // Sweep state: the next row and copies of the rows below, at and above it
  // (null where the grid ends).
  int m_nextRow;
  bool m_started;
  unsigned short* m_buffers[3];
  unsigned short* m_below;
  unsigned short* m_at;
  unsigned short* m_above;
};

#endif
