#ifndef SV_LIGHTING_H
#define SV_LIGHTING_H

// Parameter codes of Sv_Lighting::SetLightParam and ApplyLightPosition.
enum {
  SV_LIGHT_AMBIENT = 10,
  SV_LIGHT_DIFFUSE = 11,
  SV_LIGHT_POSITION = 16
};

// The light set of a scene: the light-model ambient colour and up to eight
// lights (numbered 1 to 8, GL_LIGHT0 to GL_LIGHT7), each with an ambient and
// a diffuse colour and a position. Parameters are stored here and sent to
// OpenGL by Apply; the lighting and colour-material switches go through
// SetLighting and SetColorMaterial, which remember the last value.
//
// The process has one light set, created by the work area when OpenGL is
// first initialised and reached through Sv_Lighting::GetGlobal(), which is
// null before that. The global pointer does not own the light set.
class Sv_Lighting {
 public:
  static const int kMaxLights = 8;

  // No lights defined; model ambient (0.2, 0.2, 0.2, 1), OpenGL's default.
  Sv_Lighting();
  // Clears the global pointer when it names this light set.
  virtual ~Sv_Lighting();
  Sv_Lighting(const Sv_Lighting&) = delete;
  Sv_Lighting& operator=(const Sv_Lighting&) = delete;

  void SetLightModelAmbient(float r, float g, float b, float a);

  // Stores one parameter of a light (1 to 8): SV_LIGHT_AMBIENT (10),
  // SV_LIGHT_DIFFUSE (11) or SV_LIGHT_POSITION (16), and marks the light as
  // defined. A defined light's parameters that were never set keep
  // OpenGL's initial values for that light. Returns 0, or -1 for a light or
  // parameter out of range (nothing stored).
  int SetLightParam(int light, int param, float r, float g, float b, float a);

  // Sends the model ambient colour and every defined light's ambient,
  // diffuse and position (under the current model-view matrix) to OpenGL
  // and enables those lights. Does not switch GL_LIGHTING.
  void Apply();

  // Re-sends the stored parameter of a light (the position under the
  // current model-view matrix for SV_LIGHT_POSITION). Returns 0, or -1 when
  // the light or parameter is out of range or the light is not defined.
  int ApplyLightPosition(int light, int param);

  // Remembers the flag; 1 enables GL_LIGHTING, any other value disables it.
  void SetLighting(int on);
  // Remembers the flag; 1 enables GL_COLOR_MATERIAL, any other value
  // disables it.
  void SetColorMaterial(int on);
  int GetLighting() const { return m_lighting; }
  int GetColorMaterial() const { return m_colorMaterial; }

  // Whether light 1 to 8 has been given a parameter.
  int IsLightDefined(int light) const;

  // The process-wide light set, or null.
  static Sv_Lighting* GetGlobal();
  static void SetGlobal(Sv_Lighting* lighting);

 private:
  struct Light {
    int defined;
    float ambient[4];
    float diffuse[4];
    float position[4];
  };

  float m_modelAmbient[4];
  Light m_lights[kMaxLights];
  int m_lighting;
  int m_colorMaterial;
};

#endif
