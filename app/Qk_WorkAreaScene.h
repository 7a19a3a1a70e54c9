#ifndef QK_WORKAREASCENE_H
#define QK_WORKAREASCENE_H

#include "Qk_WorkAreaPart.h"

class Movie;
class Qk_GLWorkArea;
class Sd_AlignmentNode;
class Sd_Node;
class Sv_Lighting;
class Sv_Matrix4;
class Sv_Perspective;

// The scene of the work area: the tree under its root, the light set, the
// camera, the view matrix, the camera path (movie) and the values every
// frame uses (global scale, orthographic flag), and whether the vertical
// exaggeration has been chosen. It reads and writes '.sd' and '.scene' files
// (Qk_WorkAreaScene.cpp, Qk_WorkAreaSceneFile.cpp) and fits the scene
// (Qk_WorkAreaSceneBounds.cpp).
//
// Releasing the tree is the work area's (every holder of a node pointer is
// reset first): the scene hands its root over (TakeRoot) and takes a new
// one (Adopt). What the scene changes for others (exaggeration, global
// scale, bounds) it reports through the work area's signals.
class Qk_WorkAreaScene : private Qk_WorkAreaPart {
 public:
  // The view matrix (identity); nothing else exists before GL starts.
  explicit Qk_WorkAreaScene(Qk_GLWorkArea* area);
  // Unregisters the global scale and the light set from Sd_Node and deletes
  // lights, camera, movie and view matrix (the tree is gone already).
  ~Qk_WorkAreaScene();

  // GL start: root ("Root Node"), lights, camera and movie, each only when
  // missing. A new root gives the current overlay its font.
  void CreateMissing(bool quadBuffer);

  Sd_Node* GetRoot() const { return m_root; }
  Sv_Lighting* GetLights() const { return m_lights; }
  Sv_Perspective* GetCamera() const { return m_camera; }
  Movie* GetMovie() const { return m_movie; }
  Sv_Matrix4* GetViewMatrix() const { return m_viewMatrix; }
  float GetGlobalScale() const { return m_globalScale; }
  void SetGlobalScale(float scale);
  int GetOrthographic() const { return m_orthographic; }
  void SetOrthographic(int on);
  int GetExaggerationChosen() const { return m_exaggerationChosen; }
  void SetExaggerationChosen(int chosen) { m_exaggerationChosen = chosen; }

  // The tree. TakeRoot hands the root over (the scene has none then);
  // Detach takes node out of the current tree when it hangs inside; Adopt
  // makes root the root and movie the camera path (a different old movie
  // is deleted).
  Sd_Node* TakeRoot();
  void Detach(Sd_Node* node);
  void Adopt(Sd_Node* root, Movie* movie);
  Sd_AlignmentNode* NewSceneRoot();
  void DiscardDetachedTree(Sd_Node* root);

  // The work area's operations of the same names (without the history).
  int LoadSD(const char* name, int clear, int showBoundingBox);
  int SaveObject(Sd_Node* node, const char* name);
  int LoadScene(const char* name);
  int SaveScene(const char* name);
  void ComputeSceneBounds();
  int DetectCoordinateType();
  int GetSceneBox(double corners[8][3]) const;
  float GetVertExag();
  void SetVertExag(float exaggeration);
  void SetViewMatrix(const Sv_Matrix4* matrix);

 private:
  Sd_Node* m_root;
  Sv_Lighting* m_lights;
  Sv_Perspective* m_camera;
  Sv_Matrix4* m_viewMatrix;
  Movie* m_movie;
  float m_globalScale;
  int m_orthographic;
  int m_exaggerationChosen;
};

#endif
