#ifndef SD_SPHERETERRAIN_H
#define SD_SPHERETERRAIN_H

// What a terrain drawn on a globe (node type 14) offers the scene objects
// that place things on it, such as the cable-sphere node: its vertical
// exaggeration and its height at a geographic position. The terrain class
// lives in a library above this one, so callers reach it through this
// interface (dynamic_cast from the child node) rather than by name.
class Sd_SphereTerrain {
 public:
  virtual ~Sd_SphereTerrain() = default;

  // Sets the vertical exaggeration and recomputes the radius and height
  // scale that follow from it.
  virtual void SetExaggeration(float exaggeration) = 0;
  // Terrain height in metres at (longitude, latitude) in degrees.
  virtual double GetElevation(double longitude, double latitude) = 0;

 protected:
  Sd_SphereTerrain() = default;
  Sd_SphereTerrain(const Sd_SphereTerrain&) = default;
  Sd_SphereTerrain& operator=(const Sd_SphereTerrain&) = default;
};

#endif
