// Solid models: the mesh, its records in both layouts, settings and the
// operations that change the model.
#include "Sd_SolidModel.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "Sv_Debug.h"
#include "Sv_Matrix4.h"
#include "Sv_Platform.h"
#include "Sv_Stdio.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

namespace {

// Tag version the current layout is written with; format version of the
// old layout.
constexpr short kCurrentVersion = 3;
constexpr float kOldLayoutVersion = 2.0f;
// Smallest record of a material: name length, no name, three colours, the
// value, shininess and flags.
constexpr int kMinMaterialBytes = 4 + 4 * 4 + 2 * 2;
constexpr int kFaceBytes = static_cast<int>(sizeof(Sd_SolidModel::Face));
static_assert(sizeof(Sd_SolidModel::Face) == 26, "a face is stored as 26 bytes");
// Faces packed per write of the current layout.
constexpr int kFacesPerWrite = 4096;
// Vertices and faces read per call: blocks large enough for the payload
// reader to share among the workers, each checked right after.
constexpr int kReadChunk = 1 << 20;
// Start values of the bounds search.
constexpr double kBoundsStart = 999999986991104.0;

const char* const kOldModelMessage =
    "Could not read this old style model. Please convert using the new voxtend program.\n";
const char* const kDamagedMessage = "ERROR:  Damaged solid model record";
const char* const kIndexMessage =
    "ERROR:  Solid model record refers to a vertex, normal, texture coordinate or material it does not hold";

// Memory for count elements of T; blocks of 2 MiB and more on huge pages.
template <typename T>
T* AllocArray(int count) {
  return static_cast<T*>(Sv_PlatformAllocLarge(static_cast<size_t>(count > 0 ? count : 1) * sizeof(T)));
}

// A count of elements of at least elementBytes each that the rest of the
// payload can hold; false (reader failed, count 0) otherwise.
bool ReadCount(TDR_PayloadReader& in, long long elementBytes, int* count) {
  if (!in.Int32(count) || *count < 0 || static_cast<long long>(*count) * elementBytes > in.Left()) {
    *count = 0;
    in.Fail();
    return false;
  }
  return true;
}

// count elements of T read as n components of size bytes each into a
// new array; null (reader failed) when the payload does not hold them or
// memory cannot be had.
template <typename T>
T* ReadArray(TDR_PayloadReader& in, int count, int size, int n) {
  if (!in.Ok()) return nullptr;
  T* a = AllocArray<T>(count);
  if (!a) {
    in.Fail();
    return nullptr;
  }
  in.Read(a, size, n * count);
  return a;
}

void SwapFaces(Sd_SolidModel::Face* faces, int count) {
  // Each field is swapped on its own: 3 x 4 bytes, then 7 x 2 bytes.
  for (int i = 0; i < count; ++i) {
    unsigned char* f = reinterpret_cast<unsigned char*>(faces + i);
    Sv_UtlSwapBytes(f, 4, 3);
    Sv_UtlSwapBytes(f + 12, 2, 7);
  }
}

unsigned char Third(unsigned char v) { return static_cast<unsigned char>(v / 3); }

// Bounds (x min, x max, y min, y max, z min, z max) before any vertex.
void StartBounds(double b[6]) {
  for (int axis = 0; axis < 3; ++axis) {
    b[2 * axis] = kBoundsStart;
    b[2 * axis + 1] = -kBoundsStart;
  }
}

void WidenBounds(double b[6], const Sd_SolidModel::Vertex* v, int count) {
  double x0 = b[0], x1 = b[1], y0 = b[2], y1 = b[3], z0 = b[4], z1 = b[5];
  for (int i = 0; i < count; ++i) {
    x0 = std::min(x0, v[i].x);
    x1 = std::max(x1, v[i].x);
    y0 = std::min(y0, v[i].y);
    y1 = std::max(y1, v[i].y);
    z0 = std::min(z0, v[i].z);
    z1 = std::max(z1, v[i].z);
  }
  b[0] = x0;
  b[1] = x1;
  b[2] = y0;
  b[3] = y1;
  b[4] = z0;
  b[5] = z1;
}

}  // namespace

// --- the mesh ---

void Sd_SolidModel::Mesh::Release() {
  // With their sizes, so that a reload may take the same memory on huge
  // pages at once.
  Sv_PlatformFreeLarge(faces, sizeof(Face) * static_cast<size_t>(std::max(faceCount, 1)));
  Sv_PlatformFreeLarge(vertices, sizeof(Vertex) * static_cast<size_t>(std::max(vertexCount, 1)));
  Sv_PlatformFreeLarge(normals, sizeof(Normal) * static_cast<size_t>(std::max(normalCount, 1)));
  Sv_PlatformFreeLarge(texCoords, sizeof(TexCoord) * static_cast<size_t>(std::max(texCount, 1)));
  Sv_PlatformFreeLarge(materials, sizeof(Material) * static_cast<size_t>(std::max(materialCount, 1)));
  free(names);
  faces = nullptr;
  vertices = nullptr;
  normals = nullptr;
  texCoords = nullptr;
  materials = nullptr;
  names = nullptr;
  faceCount = vertexCount = normalCount = texCount = materialCount = 0;
}

bool Sd_SolidModel::Mesh::FacesValid() const {
  IndexCheck check(vertexCount);
  check.Add(faces, faceCount);
  return faceCount <= 0 || check.Within(*this);
}

void Sd_SolidModel::IndexCheck::Add(const Face* faces, int count) {
  if (count <= 0 || !faces) return;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(faces);
#ifdef __SSE2__
  // Per face two 16-byte loads: bytes 0 ... 15 hold a, b, c (and two normal
  // indices, ignored there); bytes 10 ... 25 hold, as 16-bit words, the
  // upper half of c (ignored), the normal, texture and material indices.
  // 16-bit maxima are taken as signed after flipping the top bit.
  const __m128i top = _mm_set1_epi32(vertices - 1);
  const __m128i zero = _mm_setzero_si128();
  const __m128i textureOne = _mm_setr_epi16(0, 0, 0, 0, 1, 1, 1, 0);
  const __m128i flip = _mm_set1_epi16(static_cast<short>(0x8000));
  __m128i outside = zero;
  __m128i largest = _mm_set1_epi16(static_cast<short>(0x8000));
  for (int i = 0; i < count; ++i, p += sizeof(Face)) {
    const __m128i words = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i halves = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 10));
    outside = _mm_or_si128(outside, _mm_or_si128(_mm_cmpgt_epi32(words, top), _mm_cmplt_epi32(words, zero)));
    largest = _mm_max_epi16(largest, _mm_xor_si128(_mm_add_epi16(halves, textureOne), flip));
  }
  alignas(16) int lanes[4];
  alignas(16) unsigned short maxima[8];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), outside);
  _mm_store_si128(reinterpret_cast<__m128i*>(maxima), _mm_xor_si128(largest, flip));
  vertexOutside = vertexOutside || lanes[0] || lanes[1] || lanes[2];
  normal = std::max({normal, unsigned(maxima[1]), unsigned(maxima[2]), unsigned(maxima[3])});
  texture = std::max({texture, unsigned(maxima[4]), unsigned(maxima[5]), unsigned(maxima[6])});
  material = std::max(material, unsigned(maxima[7]));
#else
  const unsigned limit = static_cast<unsigned>(vertices);
  for (int i = 0; i < count; ++i) {
    const Face& f = faces[i];
    vertexOutside = vertexOutside || static_cast<unsigned>(f.a) >= limit || static_cast<unsigned>(f.b) >= limit ||
                    static_cast<unsigned>(f.c) >= limit;
    normal = std::max({normal, unsigned(f.normal[0]), unsigned(f.normal[1]), unsigned(f.normal[2])});
    texture = std::max({texture, (f.texture[0] + 1u) & 0xFFFFu, (f.texture[1] + 1u) & 0xFFFFu,
                        (f.texture[2] + 1u) & 0xFFFFu});
    material = std::max(material, unsigned(f.material));
  }
  (void)p;
#endif
}

bool Sd_SolidModel::IndexCheck::Within(const Mesh& mesh) const {
  return !vertexOutside && vertices == mesh.vertexCount && normal < static_cast<unsigned>(mesh.normalCount) &&
         texture <= static_cast<unsigned>(mesh.texCount) && material < static_cast<unsigned>(mesh.materialCount);
}

Sd_SolidModel::Sd_SolidModel()
    : m_trailing(0),
      m_normalised(nullptr),
      m_currentMaterial(-1),
      m_modelBounds{0, 0, 0, 0, 0, 0},
      m_detailStep(1),
      m_stepCursor(0),
      m_matrixPushed(0),
      m_stage(0),
      m_levelOfDetail(1),
      m_alpha(255),
      m_compensate(1) {
  SetType(kTypeId);
}

Sd_SolidModel::~Sd_SolidModel() { free(m_normalised); }

const char* Sd_SolidModel::className() const { return "Solid Model"; }

void Sd_SolidModel::FreeData() {
  m_mesh.Release();
  free(m_normalised);
  m_normalised = nullptr;
  Sd_Node::FreeData();
}

void Sd_SolidModel::AdoptMesh(Mesh* mesh) {
  m_mesh.Release();
  free(m_normalised);
  m_normalised = nullptr;
  std::swap(m_mesh.faceCount, mesh->faceCount);
  std::swap(m_mesh.vertexCount, mesh->vertexCount);
  std::swap(m_mesh.normalCount, mesh->normalCount);
  std::swap(m_mesh.texCount, mesh->texCount);
  std::swap(m_mesh.materialCount, mesh->materialCount);
  std::swap(m_mesh.faces, mesh->faces);
  std::swap(m_mesh.vertices, mesh->vertices);
  std::swap(m_mesh.normals, mesh->normals);
  std::swap(m_mesh.texCoords, mesh->texCoords);
  std::swap(m_mesh.materials, mesh->materials);
  std::swap(m_mesh.names, mesh->names);
}

const Sd_SolidModel::Material* Sd_SolidModel::GetMaterial(int i) const {
  return i >= 0 && i < m_mesh.materialCount ? &m_mesh.materials[i] : nullptr;
}

const char* Sd_SolidModel::GetMaterialName(int i) const {
  const Material* m = GetMaterial(i);
  return m && m_mesh.names ? m_mesh.names + m->name : "";
}

// --- records ---

int Sd_SolidModel::LoadObject(TDR_Manager* manager) {
  if (!manager) return -1;
  float version = static_cast<float>(manager->GetTagVersion());
  if (version == 0.0f && !TDR_PayloadReader(manager).Float32(&version)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, kDamagedMessage, manager->GetFileName());
    return -1;
  }
  const int read = version == kOldLayoutVersion ? ReadOldModel(manager) : ReadCurrentModel(manager);
  if (read != 0) return -1;
  if (ReadCommonTags(manager) != 0) return -1;
  // The readers left the vertex bounds.
  FitBoxToBounds();
  NormaliseVertices();
  return 0;
}

int Sd_SolidModel::ReadCurrentModel(TDR_Manager* manager) {
  TDR_PayloadReader in(manager);
  Mesh mesh;
  int trailing = 0;
  double bounds[6];
  StartBounds(bounds);
  if (ReadCount(in, sizeof(Vertex), &mesh.vertexCount)) {
    mesh.vertices = AllocArray<Vertex>(mesh.vertexCount);
    if (!mesh.vertices) in.Fail();
    for (int first = 0; first < mesh.vertexCount && in.Ok(); first += kReadChunk) {
      const int n = std::min(kReadChunk, mesh.vertexCount - first);
      if (in.Float64s(&mesh.vertices[first].x, 3 * n)) WidenBounds(bounds, mesh.vertices + first, n);
    }
  }
  if (ReadCount(in, sizeof(Normal), &mesh.normalCount)) {
    mesh.normals = ReadArray<Normal>(in, mesh.normalCount, 4, 3);
  }
  if (ReadCount(in, sizeof(TexCoord), &mesh.texCount)) {
    mesh.texCoords = ReadArray<TexCoord>(in, mesh.texCount, 4, 2);
  }
  bool nameRefused = false;
  if (ReadCount(in, kMinMaterialBytes, &mesh.materialCount)) {
    // Every stored name (with its terminator) takes no more than its
    // material's bytes in the payload, so this block holds them all.
    const long long nameBytes = std::min<long long>(static_cast<long long>(mesh.materialCount) * kMaxNameLength, in.Left());
    mesh.materials = AllocArray<Material>(mesh.materialCount);
    mesh.names = static_cast<char*>(malloc(static_cast<size_t>(nameBytes) + 1));
    if (!mesh.materials || !mesh.names) in.Fail();
    int used = 0;
    for (int i = 0; i < mesh.materialCount && in.Ok(); ++i) {
      Material& m = mesh.materials[i];
      int length = 0;
      char name[kMaxNameLength];
      in.Int32(&length);
      if (in.Ok() && (length < 0 || length > kMaxNameLength)) {
        nameRefused = true;
        in.Fail();
      }
      in.Text(name, sizeof(name), length);
      in.Read(m.ambient, 4, 1);
      in.Read(m.diffuse, 4, 1);
      in.Read(m.specular, 4, 1);
      in.Float32(&m.value);
      in.Read(&m.shininess, 2, 1);
      in.Read(&m.flags, 2, 1);
      if (!in.Ok()) break;
      const int size = static_cast<int>(strlen(name)) + 1;
      memcpy(mesh.names + used, name, static_cast<size_t>(size));
      m.name = used;
      used += size;
    }
  }
  IndexCheck check(mesh.vertexCount);
  if (ReadCount(in, kFaceBytes, &mesh.faceCount)) {
    mesh.faces = AllocArray<Face>(mesh.faceCount);
    if (!mesh.faces) in.Fail();
    const bool swap = Sv_UtlNeedsSwap(manager->GetByteOrder()) != 0;
    for (int first = 0; first < mesh.faceCount && in.Ok(); first += kReadChunk) {
      const int n = std::min(kReadChunk, mesh.faceCount - first);
      if (!in.Bytes(mesh.faces + first, n * kFaceBytes)) break;
      if (swap) SwapFaces(mesh.faces + first, n);
      check.Add(mesh.faces + first, n);
    }
  }
  in.Int32(&trailing);
  if (!in.Ok()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG,
                      nameRefused ? "ERROR:  Solid model material name longer than 128 bytes" : kDamagedMessage,
                      manager->GetFileName());
    return -1;
  }
  if (mesh.faceCount > 0 && !check.Within(mesh)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, kIndexMessage, manager->GetFileName());
    return -1;
  }
  AdoptMesh(&mesh);
  if (m_mesh.vertexCount > 0) {
    memcpy(m_modelBounds, bounds, sizeof(bounds));
  } else {
    std::fill(m_modelBounds, m_modelBounds + 6, 0.0);
  }
  m_trailing = trailing;
  return 0;
}

int Sd_SolidModel::ReadOldModel(TDR_Manager* manager) {
  if (!manager) return -1;
  TDR_PayloadReader in(manager);
  Mesh mesh;
  // Vertices: x, y, z as float32 and an int32 that is dropped (read as a
  // fourth 4-byte unit).
  struct OldVertex {
    float x, y, z, dropped;
  };
  if (ReadCount(in, sizeof(OldVertex), &mesh.vertexCount)) {
    OldVertex* stored = ReadArray<OldVertex>(in, mesh.vertexCount, 4, 4);
    mesh.vertices = in.Ok() ? AllocArray<Vertex>(mesh.vertexCount) : nullptr;
    if (mesh.vertices) {
      for (int i = 0; i < mesh.vertexCount; ++i) mesh.vertices[i] = {stored[i].x, stored[i].y, stored[i].z};
    } else {
      in.Fail();
    }
    free(stored);
  }
  int faces = 0;
  in.Int32(&faces);
  if (in.Ok() && faces >= kOldModelFaceLimit) {
    Sv_Debug::Message(SV_LEVEL_ERROR, kOldModelMessage, manager->GetFileName());
    return -1;
  }
  // Each face: n, three vertex indices and the face's normal (28 bytes).
  if (in.Ok() && (faces < 0 || static_cast<long long>(faces) * 28 > in.Left())) in.Fail();
  if (in.Ok()) {
    mesh.faceCount = mesh.normalCount = faces;
    mesh.faces = AllocArray<Face>(faces);
    mesh.normals = AllocArray<Normal>(faces);
    if (!mesh.faces || !mesh.normals) in.Fail();
  }
  for (int i = 0; i < mesh.faceCount && in.Ok(); ++i) {
    int n = 0;
    if (in.Int32(&n) && n != 3) {
      Sv_Debug::Message(SV_LEVEL_ERROR, kOldModelMessage, manager->GetFileName());
      return -1;
    }
    int v[3] = {0, 0, 0};
    in.Int32s(v, 3);
    in.Float32s(&mesh.normals[i].x, 3);
    Face& f = mesh.faces[i];
    f.a = v[0];
    f.b = v[1];
    f.c = v[2];
    for (int k = 0; k < 3; ++k) {
      f.normal[k] = static_cast<unsigned short>(i);
      f.texture[k] = kNoTexture;
    }
    f.material = 0;
  }
  if (!in.Ok()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, kDamagedMessage, manager->GetFileName());
    return -1;
  }
  // One grey material.
  mesh.materialCount = 1;
  mesh.materials = AllocArray<Material>(1);
  mesh.names = static_cast<char*>(calloc(1, 1));
  if (!mesh.materials || !mesh.names) return -1;
  mesh.materials[0] = {{51, 51, 51, 255}, {204, 204, 204, 255}, {51, 51, 51, 255}, 89.5f, 1, 0, 0};
  if (!mesh.FacesValid()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, kIndexMessage, manager->GetFileName());
    return -1;
  }
  AdoptMesh(&mesh);
  std::fill(m_modelBounds, m_modelBounds + 6, 0.0);
  if (m_mesh.vertexCount > 0) {
    StartBounds(m_modelBounds);
    WidenBounds(m_modelBounds, m_mesh.vertices, m_mesh.vertexCount);
  }
  return 0;
}

int Sd_SolidModel::ReadOwnRecord(TDR_Manager* manager, int tag) {
  if (tag != TDR_TAG_SD_SOLIDMODEL_ATB) return 0;
  TDR_PayloadReader in(manager);
  if (in.TagVersion() == 0) in.Skip(4);  // the format version
  int values[3];  // level of detail, alpha, exaggeration compensation
  if (!in.Int32s(values, 3)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Damaged solid model settings record; settings kept",
                      manager->GetFileName());
    return 1;
  }
  m_levelOfDetail = values[0];
  m_alpha = values[1];
  m_compensate = values[2];
  return 1;
}

bool Sd_SolidModel::WriteCurrentModel(TDR_Manager* manager) const {
  TDR_PayloadWriter out(manager);
  const Mesh& m = m_mesh;
  out.Int32(m.vertexCount);
  if (m.vertexCount > 0) out.Float64s(&m.vertices[0].x, 3 * m.vertexCount);
  out.Int32(m.normalCount);
  if (m.normalCount > 0) out.Float32s(&m.normals[0].x, 3 * m.normalCount);
  out.Int32(m.texCount);
  if (m.texCount > 0) out.Float32s(&m.texCoords[0].u, 2 * m.texCount);
  out.Int32(m.materialCount);
  for (int i = 0; i < m.materialCount; ++i) {
    const Material& mat = m.materials[i];
    const char* name = GetMaterialName(i);
    const int length = static_cast<int>(strlen(name)) + 1;
    out.Int32(length);
    out.Bytes(name, length);
    out.Write(mat.ambient, 4, 1);
    out.Write(mat.diffuse, 4, 1);
    out.Write(mat.specular, 4, 1);
    out.Float32(mat.value);
    out.Write(&mat.shininess, 2, 1);
    out.Write(&mat.flags, 2, 1);
  }
  out.Int32(m.faceCount);
  // Faces in batches, each field in the file's byte order.
  const bool swap = Sv_UtlNeedsSwap(manager->GetByteOrder()) != 0;
  Face batch[kFacesPerWrite];
  for (int first = 0; first < m.faceCount && out.Ok(); first += kFacesPerWrite) {
    const int n = std::min(kFacesPerWrite, m.faceCount - first);
    memcpy(batch, m.faces + first, static_cast<size_t>(n) * sizeof(Face));
    if (swap) SwapFaces(batch, n);
    out.Bytes(batch, n * kFaceBytes);
  }
  out.Int32(m_trailing);
  return out.Ok();
}

int Sd_SolidModel::SaveObject(TDR_Manager* manager, int withCommonTags, int) {
  if (!manager || manager->WriteTag(TDR_TAG_SD_SOLIDMODEL, kCurrentVersion, 0, 0, 1) != 0) return -1;
  if (!WriteCurrentModel(manager) || manager->EndTag() != 0) return -1;
  return withCommonTags ? WriteCommonTags(manager) : 0;
}

int Sd_SolidModel::WriteCommonTags(TDR_Manager* manager) {
  if (Sd_Node::WriteCommonTags(manager) != 0) return -1;
  if (manager->WriteTag(TDR_TAG_SD_SOLIDMODEL_ATB, 1, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  const int values[3] = {m_levelOfDetail, m_alpha, m_compensate};
  out.Int32s(values, 3);
  return out.Ok() && manager->EndTag() == 0 ? 0 : -1;
}

// --- settings ---

void Sd_SolidModel::SaveSettings() { KeepDetailSettings(m_detailStep, m_levelOfDetail); }

void Sd_SolidModel::RestoreSettings() { KeptDetailSettings(&m_detailStep, &m_levelOfDetail); }

int Sd_SolidModel::ResetSettings() {
  m_detailStep = 1;
  m_levelOfDetail = 0;
  return 1;
}

// --- bounds ---

void Sd_SolidModel::ComputeBounds() {
  if (m_mesh.vertexCount <= 0 || !m_mesh.vertices) return;
  StartBounds(m_modelBounds);
  WidenBounds(m_modelBounds, m_mesh.vertices, m_mesh.vertexCount);
  FitBoxToBounds();
}

void Sd_SolidModel::FitBoxToBounds() {
  if (m_mesh.vertexCount <= 0) return;
  for (float f : m_bounds) {
    if (f != 0.0f) return;
  }
  for (int axis = 0; axis < 3; ++axis) {
    SetBounds(axis, static_cast<float>(m_modelBounds[2 * axis]), static_cast<float>(m_modelBounds[2 * axis + 1]));
  }
}

bool Sd_SolidModel::HasVolume(double minimum) const {
  for (int axis = 0; axis < 3; ++axis) {
    if (!(m_modelBounds[2 * axis + 1] - m_modelBounds[2 * axis] >= minimum)) return false;
  }
  return true;
}

void Sd_SolidModel::NormaliseVertices() {
  free(m_normalised);
  m_normalised = nullptr;
  if (m_mesh.vertexCount <= 0 || !m_mesh.vertices) return;
  m_normalised = AllocArray<UnitVertex>(m_mesh.vertexCount);
  if (!m_normalised) return;
  double centre[3], factor[3];
  for (int axis = 0; axis < 3; ++axis) {
    const double lo = m_modelBounds[2 * axis];
    const double hi = m_modelBounds[2 * axis + 1];
    centre[axis] = 0.5 * (lo + hi);
    // A flat axis puts every vertex in the middle of the box.
    factor[axis] = hi - lo > 0.0 ? 1.0 / (hi - lo) : 0.0;
  }
  for (int i = 0; i < m_mesh.vertexCount; ++i) {
    const Vertex& v = m_mesh.vertices[i];
    m_normalised[i] = {static_cast<float>((v.x - centre[0]) * factor[0]), static_cast<float>((v.y - centre[1]) * factor[1]),
                       static_cast<float>((v.z - centre[2]) * factor[2])};
  }
}

// --- building a model ---

int Sd_SolidModel::AddMaterial(const char* name, const unsigned char ambient[4], const unsigned char diffuse[4],
                               const unsigned char specular[4], int shininess, int flags) {
  if (!name) name = "";
  const size_t length = strlen(name);
  if (length >= static_cast<size_t>(kMaxNameLength)) return -1;
  // The end of the name block: after the last name.
  size_t used = 0;
  for (int i = 0; i < m_mesh.materialCount; ++i) used = std::max(used, m_mesh.materials[i].name + strlen(GetMaterialName(i)) + 1);
  Material* materials =
      static_cast<Material*>(realloc(m_mesh.materials, sizeof(Material) * static_cast<size_t>(m_mesh.materialCount + 1)));
  if (!materials) return -1;
  m_mesh.materials = materials;
  char* names = static_cast<char*>(realloc(m_mesh.names, used + length + 1));
  if (!names) return -1;
  m_mesh.names = names;
  memcpy(names + used, name, length + 1);
  Material& m = materials[m_mesh.materialCount];
  memcpy(m.ambient, ambient, 4);
  memcpy(m.diffuse, diffuse, 4);
  memcpy(m.specular, specular, 4);
  m.value = 0.0f;
  m.shininess = static_cast<short>(shininess);
  m.flags = static_cast<short>(flags);
  m.name = static_cast<int>(used);
  return m_mesh.materialCount++;
}

int Sd_SolidModel::SetGeometry(int vertexCount, const double* vertices, int normalCount, const float* normals,
                               int texCount, const float* texCoords, int faceCount, const Face* faces) {
  if (vertexCount < 0 || normalCount < 0 || texCount < 0 || faceCount < 0) return -1;
  if ((vertexCount && !vertices) || (normalCount && !normals) || (texCount && !texCoords) || (faceCount && !faces)) {
    return -1;
  }
  Mesh mesh;
  mesh.vertexCount = vertexCount;
  mesh.normalCount = normalCount;
  mesh.texCount = texCount;
  mesh.faceCount = faceCount;
  mesh.vertices = AllocArray<Vertex>(vertexCount);
  mesh.normals = AllocArray<Normal>(normalCount);
  mesh.texCoords = AllocArray<TexCoord>(texCount);
  mesh.faces = AllocArray<Face>(faceCount);
  if (!mesh.vertices || !mesh.normals || !mesh.texCoords || !mesh.faces) return -1;
  if (vertexCount) memcpy(mesh.vertices, vertices, sizeof(Vertex) * static_cast<size_t>(vertexCount));
  if (normalCount) memcpy(mesh.normals, normals, sizeof(Normal) * static_cast<size_t>(normalCount));
  if (texCount) memcpy(mesh.texCoords, texCoords, sizeof(TexCoord) * static_cast<size_t>(texCount));
  if (faceCount) memcpy(mesh.faces, faces, sizeof(Face) * static_cast<size_t>(faceCount));
  // The materials stay.
  std::swap(mesh.materials, m_mesh.materials);
  std::swap(mesh.names, m_mesh.names);
  std::swap(mesh.materialCount, m_mesh.materialCount);
  if (!mesh.FacesValid()) {
    std::swap(mesh.materials, m_mesh.materials);
    std::swap(mesh.names, m_mesh.names);
    std::swap(mesh.materialCount, m_mesh.materialCount);
    return -1;
  }
  AdoptMesh(&mesh);
  ComputeBounds();
  NormaliseVertices();
  return 0;
}

// --- appearance and model changes ---

void Sd_SolidModel::SetAlpha(int alpha) {
  m_alpha = alpha < 0 ? 0 : (alpha > 255 ? 255 : alpha);
  for (int i = 0; i < m_mesh.materialCount; ++i) {
    Material& m = m_mesh.materials[i];
    m.ambient[3] = m.diffuse[3] = m.specular[3] = static_cast<unsigned char>(m_alpha);
  }
}

void Sd_SolidModel::GetColour(int* r, int* g, int* b) const {
  const Material* m = GetMaterial(0);
  if (r) *r = m ? m->diffuse[0] : 0;
  if (g) *g = m ? m->diffuse[1] : 0;
  if (b) *b = m ? m->diffuse[2] : 0;
}

void Sd_SolidModel::SetColour(int r, int g, int b) {
  const unsigned char rgb[3] = {static_cast<unsigned char>(r), static_cast<unsigned char>(g),
                                static_cast<unsigned char>(b)};
  for (int i = 0; i < m_mesh.materialCount; ++i) {
    Material& m = m_mesh.materials[i];
    for (int k = 0; k < 3; ++k) {
      m.diffuse[k] = rgb[k];
      m.ambient[k] = m.specular[k] = Third(rgb[k]);
    }
  }
}

void Sd_SolidModel::FlipNormals() {
  for (int i = 0; i < m_mesh.normalCount; ++i) {
    Normal& n = m_mesh.normals[i];
    n = {-n.x, -n.y, -n.z};
  }
}

void Sd_SolidModel::TransformModel(double rx, double ry, double rz, double tx, double ty, double tz, double sx,
                                   double sy, double sz) {
  Sv_Matrix4 m;
  m.SetIdentity();
  const double angles[3] = {rx, ry, rz};
  const char axes[3] = {'x', 'y', 'z'};
  for (int k = 0; k < 3; ++k) {
    const int degrees = static_cast<int>(angles[k]);
    if (degrees == 0) continue;
    Sv_Matrix4 r;
    r.SetRotation(degrees, axes[k]);
    m = m * r;
  }
  if (!(sx == 1.0 && sy == 1.0 && sz == 1.0)) {
    Sv_Matrix4 s;
    s.SetScale(sx, sy, sz);
    m = m * s;
  }
  if (!(tx == 0.0 && ty == 0.0 && tz == 0.0)) {
    Sv_Matrix4 t;
    t.SetTranslation(tx, ty, tz);
    m = m * t;
  }
  for (int i = 0; i < m_mesh.vertexCount; ++i) {
    Vertex& v = m_mesh.vertices[i];
    const double p[3] = {v.x, v.y, v.z};
    double q[3];
    for (int r = 0; r < 3; ++r) q[r] = m.Get(r, 0) * p[0] + m.Get(r, 1) * p[1] + m.Get(r, 2) * p[2] + m.Get(r, 3);
    v = {q[0], q[1], q[2]};
  }
  // Normals go through the inverse transpose of the 3 x 3 part, so they
  // stay perpendicular to the faces under any scale, and keep unit length.
  Sv_Matrix4 linear;
  linear.SetIdentity();
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) linear.Set(r, c, m.Get(r, c));
  }
  if (linear.Invert() == 0) {
    for (int i = 0; i < m_mesh.normalCount; ++i) {
      Normal& n = m_mesh.normals[i];
      const double p[3] = {n.x, n.y, n.z};
      double q[3];
      for (int r = 0; r < 3; ++r) q[r] = linear.Get(0, r) * p[0] + linear.Get(1, r) * p[1] + linear.Get(2, r) * p[2];
      const double length = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2]);
      if (length > 0.0) n = {static_cast<float>(q[0] / length), static_cast<float>(q[1] / length),
                             static_cast<float>(q[2] / length)};
    }
  }
  // The node's box follows the vertex bounds: each axis is mapped from the
  // old bounds onto the new ones.
  double old[6];
  memcpy(old, m_modelBounds, sizeof(old));
  ComputeBounds();
  NormaliseVertices();
  for (int axis = 0; axis < 3; ++axis) {
    const double oldRange = old[2 * axis + 1] - old[2 * axis];
    const double lo = m_modelBounds[2 * axis];
    const double hi = m_modelBounds[2 * axis + 1];
    if (oldRange > 0.0) {
      const double k = (hi - lo) / oldRange;
      SetBounds(axis, static_cast<float>(lo + (m_bounds[2 * axis] - old[2 * axis]) * k),
                static_cast<float>(lo + (m_bounds[2 * axis + 1] - old[2 * axis]) * k));
    } else {
      SetBounds(axis, static_cast<float>(lo), static_cast<float>(hi));
    }
  }
  ReportSecondProgress(0, 0);
}

// --- the sample ---

int Sd_SolidModel::WriteSample(TDR_Manager* manager) {
  // A tetrahedron: two materials, one textured.
  Sd_SolidModel model;
  const unsigned char grey[4] = {60, 60, 60, 255}, red[4] = {200, 30, 30, 255}, white[4] = {255, 255, 255, 255};
  model.AddMaterial("Hull", grey, red, white, 20, 0);
  model.AddMaterial("Deck", grey, white, grey, 5, 1);
  const double v[] = {0, 0, 0, 10, 0, 0, 0, 8, 0, 0, 0, 6};
  const float n[] = {0, 0, -1, 0, -1, 0, -1, 0, 0, 0.577f, 0.577f, 0.577f};
  const float t[] = {0, 0, 1, 0, 0, 1};
  const Face f[] = {{0, 2, 1, {0, 0, 0}, {kNoTexture, kNoTexture, kNoTexture}, 0},
                    {0, 1, 3, {1, 1, 1}, {kNoTexture, kNoTexture, kNoTexture}, 0},
                    {0, 3, 2, {2, 2, 2}, {kNoTexture, kNoTexture, kNoTexture}, 0},
                    {1, 2, 3, {3, 3, 3}, {0, 1, 2}, 1}};
  if (model.SetGeometry(4, v, 4, n, 3, t, 4, f) != 0) return -1;
  model.SetTrailingValue(7);
  model.SetAlpha(230);
  return model.SaveObject(manager, 1, 0);
}
