#ifndef SD_SOLIDMODEL_H
#define SD_SOLIDMODEL_H

#include "Sd_Node.h"

// A lit triangle mesh ("Solid Model", type id 24, records SD_SOLIDMODEL
// 10510 and SD_SOLIDMODEL_ATB 10511): structures, platforms, vehicles.
// Vertices are kept in data coordinates and, normalised into the unit box
// -0.5 ... 0.5 through their bounds, drawn with a normal per corner,
// optional texture coordinates and a material per face. The node's
// transform places the box; with exaggeration compensation on, the
// parent's z scale (the vertical exaggeration) is undone first, so the
// model keeps its true proportions. Drawn through the scene's light set;
// without one it draws nothing.
//
// Every index a face holds is checked against its array when a record is
// read or a model is set: a record whose counts the payload cannot hold,
// whose indices point outside their arrays or whose material names are
// longer than kMaxNameLength is refused as a whole.
class Sd_SolidModel : public Sd_Node {
 public:
  static constexpr int kTypeId = 24;
#pragma pack(push, 2)
  // A triangle as stored in memory and in the file (26 bytes): vertex,
  // normal and texture-coordinate indices of corners a, b, c and the
  // material index, 0-based. A texture index of kNoTexture means none.
  struct Face {
    int a, b, c;
    unsigned short normal[3];
    unsigned short texture[3];
    unsigned short material;
  };
#pragma pack(pop)
  struct Vertex {
    double x, y, z;
  };
  struct Normal {
    float x, y, z;
  };
  // A vertex moved into the unit box -0.5 ... 0.5 (single precision is
  // plenty there).
  struct UnitVertex {
    float x, y, z;
  };
  struct TexCoord {
    float u, v;
  };
  // Colours are R, G, B, A. The value is kept and written back, not used
  // for drawing. Shininess is passed to OpenGL clamped to 0 ... 128; flag
  // bit 0 marks a textured material (its faces send texture coordinates).
  struct Material {
    unsigned char ambient[4];
    unsigned char diffuse[4];
    unsigned char specular[4];
    float value;
    short shininess;
    short flags;
    int name;  // offset of the name in the model's name block
  };

  static constexpr unsigned short kNoTexture = 65535;
  // Longest material name stored in a record, terminator included; names
  // keep at most kMaxNameLength - 1 characters.
  static constexpr int kMaxNameLength = 128;
  // Faces one progressive drawing step draws.
  static constexpr int kFacesPerStep = 1000;
  // Old-layout models hold fewer faces than this.
  static constexpr int kOldModelFaceLimit = 65536;

  Sd_SolidModel();
  ~Sd_SolidModel() override;

  // Releases the mesh (every count becomes 0) and the data buffer.
  void FreeData() override;
  // Reads the record (the factory has read its header): the old layout
  // (ReadOldModel) for version 2.0, the current layout otherwise; then the
  // common tags and settings records, the bounds and the normalised
  // vertices. Non-zero, leaving the model as it was, for a refused record.
  int LoadObject(TDR_Manager* manager) override;
  // The current layout (tag version 3), then (when asked) the common tags
  // and the settings record. 0 or -1.
  int SaveObject(TDR_Manager* manager, int withCommonTags, int flag) override;
  // The common tags, then the settings record.
  int WriteCommonTags(TDR_Manager* manager) override;
  // Keep, bring back and reset (step 1, level of detail off) the detail
  // step and the level-of-detail flag.
  void SaveSettings() override;
  void RestoreSettings() override;
  int ResetSettings() override;
  void Render() override;
  // The progressive pass: set-up, kFacesPerStep faces a call, finish.
  int StepRender() override;
  const char* className() const override;
  // Depth pick under the pixel through the transform drawing uses
  // (exaggeration compensation included): the data point on a hit.
  int QueryPoint(SDN_PickIn* request, SDN_PickOut* out) override;
  // The bounds of the vertices; the node's box takes them while it is all
  // zero (a box from a georeference stays).
  void ComputeBounds() override;
  // Reads the payload of an old-layout (version 2.0) model after its
  // version: 0, or -1 (refused, the model unchanged).
  virtual int ReadOldModel(TDR_Manager* manager);

  // A small model with its common tags and settings (the factory's sample).
  static int WriteSample(TDR_Manager* manager);

  // --- building a model (writers, tests) ---
  // Adds a material; returns its index, or -1 when the name is longer than
  // kMaxNameLength - 1 characters.
  int AddMaterial(const char* name, const unsigned char ambient[4], const unsigned char diffuse[4],
                  const unsigned char specular[4], int shininess, int flags);
  // Replaces vertices (x, y, z each), normals (x, y, z), texture coordinates
  // (u, v) and faces, keeping the materials; then the bounds and normalised
  // vertices. -1, changing nothing, when a count is negative or a face
  // points outside the arrays (materials included).
  int SetGeometry(int vertexCount, const double* vertices, int normalCount, const float* normals, int texCount,
                  const float* texCoords, int faceCount, const Face* faces);
  void SetTrailingValue(int value) { m_trailing = value; }
  int GetTrailingValue() const { return m_trailing; }

  // --- the mesh ---
  int GetFaceCount() const { return m_mesh.faceCount; }
  int GetVertexCount() const { return m_mesh.vertexCount; }
  int GetNormalCount() const { return m_mesh.normalCount; }
  int GetTexCoordCount() const { return m_mesh.texCount; }
  int GetMaterialCount() const { return m_mesh.materialCount; }
  const Face* GetFaces() const { return m_mesh.faces; }
  const Vertex* GetVertices() const { return m_mesh.vertices; }
  const Normal* GetNormals() const { return m_mesh.normals; }
  const TexCoord* GetTexCoords() const { return m_mesh.texCoords; }
  const UnitVertex* GetNormalisedVertices() const { return m_normalised; }
  // Material i, or null.
  const Material* GetMaterial(int i) const;
  // The name of material i ("" for none).
  const char* GetMaterialName(int i) const;
  // Bounds of the vertices: x min, x max, y min, y max, z min, z max.
  const double* GetModelBounds() const { return m_modelBounds; }

  // --- appearance ---
  // The alpha (255 opaque; any other value draws blended). Setting it also
  // sets the alpha byte of every material's colours; clamped to 0 ... 255.
  int GetAlpha() const { return m_alpha; }
  void SetAlpha(int alpha);
  // Diffuse red, green and blue of the first material (0 without one).
  void GetColour(int* r, int* g, int* b) const;
  // Every material: diffuse (r, g, b), ambient and specular a third of it;
  // alpha bytes unchanged.
  void SetColour(int r, int g, int b);
  void FlipNormals();
  // Rotates (whole degrees about x, then y, then z), scales and translates
  // the vertices: M = Rx Ry Rz S T applied to each vertex; normals turn with
  // the vertices (through the inverse transpose of M's 3 x 3 part, kept at
  // unit length). Then bounds and normalised vertices; the node's box keeps
  // its relation to the vertex bounds.
  void TransformModel(double rx, double ry, double rz, double tx, double ty, double tz, double sx, double sy,
                      double sz);

  // --- drawing settings ---
  int GetLevelOfDetail() const { return m_levelOfDetail; }
  void SetLevelOfDetail(int on) { m_levelOfDetail = on; }
  int GetExaggerationCompensation() const { return m_compensate; }
  void SetExaggerationCompensation(int on) { m_compensate = on; }
  // Every n-th face drawn by Render.
  int GetDetailStep() const { return m_detailStep; }
  // Stage of the progressive pass: 0 set-up, 1 drawing, 2 finishing.
  int GetStepStage() const { return m_stage; }

 protected:
  // Takes the settings records SD_SOLIDMODEL_ATB; a later one wins, a
  // damaged one leaves the settings as they were.
  int ReadOwnRecord(TDR_Manager* manager, int tag) override;

 private:
  // The mesh's arrays and counts, released together.
  struct Mesh {
    int faceCount = 0, vertexCount = 0, normalCount = 0, texCount = 0, materialCount = 0;
    Face* faces = nullptr;
    Vertex* vertices = nullptr;
    Normal* normals = nullptr;
    TexCoord* texCoords = nullptr;
    Material* materials = nullptr;
    char* names = nullptr;  // the materials' names, each terminated
    Mesh() = default;
    Mesh(const Mesh&) = delete;
    Mesh& operator=(const Mesh&) = delete;
    ~Mesh() { Release(); }
    void Release();
    // Whether every face's indices lie within the arrays.
    bool FacesValid() const;
  };
  // Checks the indices of faces against the arrays, a block of faces at a
  // time, without a branch per face (models hold millions): vertex
  // indices against the vertex count given, the 16-bit indices by their
  // largest value. A texture index t counts as t + 1, with none (65535)
  // wrapping to 0: "none or below the count" becomes "at most the count".
  struct IndexCheck {
    explicit IndexCheck(int vertexCount) : vertices(vertexCount) {}
    int vertices;
    bool vertexOutside = false;
    unsigned normal = 0, texture = 0, material = 0;
    void Add(const Face* faces, int count);
    // Whether the indices seen lie within the mesh's arrays.
    bool Within(const Mesh& mesh) const;
  };

  // The current layout's payload after the version: 0, or -1 (refused,
  // the model unchanged, message sent).
  int ReadCurrentModel(TDR_Manager* manager);
  bool WriteCurrentModel(TDR_Manager* manager) const;
  // Takes the mesh's arrays in place of the model's (which are released,
  // with the normalised vertices); mesh is left empty.
  void AdoptMesh(Mesh* mesh);
  void NormaliseVertices();
  // The node's box takes the vertex bounds while it is all zero.
  void FitBoxToBounds();
  // Whether the vertex bounds have a range on every axis.
  bool HasVolume(double minimum) const;
  // The transform drawing and picking use: the parent's z scale undone
  // when compensating, then the node's transform.
  void ApplyModelTransform();
  // Visibility of the unit box in the current view; chooses the detail
  // step when asked. False when nothing of the box is in view.
  bool VisibleInView(bool chooseStep);
  // Two-sided lighting on, and blending while the alpha is not 255.
  void BeginSurfaces();
  // Blending and two-sided lighting off, lighting off through the light
  // set (directly when there is none).
  void EndSurfaces();
  void ApplyMaterial(int m);
  // Faces first, first + step, ... below end, as one GL_TRIANGLES batch.
  void EmitFaces(int first, int end, int step);
  // Ends a progressive pass: pops what it pushed, undoes blending and
  // two-sided lighting, lighting off.
  void CloseStepPass();

  Mesh m_mesh;
  int m_trailing;
  UnitVertex* m_normalised;  // the vertices in the unit box
  int m_currentMaterial;
  double m_modelBounds[6];
  int m_detailStep;
  int m_stepCursor;
  int m_matrixPushed;
  int m_stage;
  int m_levelOfDetail;
  int m_alpha;
  int m_compensate;
};

#endif
