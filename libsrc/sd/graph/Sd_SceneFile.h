#ifndef SD_SCENEFILE_H
#define SD_SCENEFILE_H

class Sd_Node;
class TDR_Manager;

// What a scene file stores besides its tree: scene-wide settings of the
// scene graph, the camera's clip planes and base scale, and the view
// matrix (4 rows of 4, as the viewer keeps it).
struct Sd_SceneSettings {
  int tagVersion = 3;      // of the scene record as read (or to be written)
  int oldLayout = 0;       // 1: read from the format-1.0 layout, which stores
                           // only the base scale value and the view matrix
  short aspectMode = 1;    // Sd_Node's aspect mode
  short coordinateType = 0;
  float nearScale = 0.01f;  // camera clip planes: near scale, far plane (cm)
  float farClip = 250000.0f;
  float globalScale = 3500.0f;
  float baseScaleValue = 3500.0f;  // the global scale's base value
  float viewMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  int hasCameraBaseScale = 1;  // tag version 3 stores the camera base scale
  float cameraBaseScale = 50.0f;
};

// Reader and writer of scene files ('.scene'): a TDR file holding the scene
// record (TDR_TAG_BK_SCENE), the scene hierarchy (Sd_IOSupport) and the end
// tag. docs/file-formats.md gives the record byte by byte. Nothing here
// draws: a file is read into a tree that belongs to nobody yet, and the
// caller applies the settings only when the whole file was good.
class Sd_SceneFile {
 public:
  // The record's tag version that Write uses.
  static constexpr int kTagVersion = 3;
  // The header comment of a written scene file.
  static const char* const kComment;

  // Reads the payload of the scene record whose header ReadTag has just
  // read. Tag version 0 opens with a float format version; format 1.0 is
  // the old layout (aspect mode 1 then; the coordinate type is the caller's
  // to decide). 0, or -1 when the payload is too short for its layout.
  static int ReadRecord(TDR_Manager* manager, Sd_SceneSettings* out);
  // Writes the scene record (header, payload, EndTag) with tag version 3,
  // 2 (no camera base scale) or 0 (the old layout, format 1.0). 0 or -1.
  static int WriteRecord(TDR_Manager* manager, const Sd_SceneSettings& settings, int tagVersion = kTagVersion);

  // Reads a whole scene file: header, scene record, hierarchy. Returns the
  // top group of the tree, which the caller owns, with the settings in
  // *out; for the old layout the tree has computed its bounds and the
  // coordinate type is that of the first node (depth-first) that has a
  // georeference. Null after the message of what was wrong ("Could not
  // open the scene ...", "File ... is not a valid scene file."); the file
  // is closed exactly once on every path and nothing is left allocated.
  static Sd_Node* Read(const char* path, Sd_SceneSettings* out);
  // Writes a scene file (record with tag version 3, then root's hierarchy)
  // atomically: -1 when the file cannot be opened or any write or the
  // close fails, and the old file is then as it was.
  static int Write(const char* path, const Sd_SceneSettings& settings, Sd_Node* root);
  // Same with an open manager that has not written its header yet;
  // leaves the closing (or discarding) to the caller.
  static int WriteTo(TDR_Manager* manager, const Sd_SceneSettings& settings, Sd_Node* root);
};

#endif
