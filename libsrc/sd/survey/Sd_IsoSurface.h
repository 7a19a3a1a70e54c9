#ifndef SD_ISOSURFACE_H
#define SD_ISOSURFACE_H

#include <cstddef>
#include <cstdlib>
#include <new>
#include <vector>

// One vertex of an iso-surface: a point on a cut lattice edge, shared by
// every triangle of every cell that uses that edge.
struct Sd_IsoVertex {
  float position[3];     // in the unit cube: i / dim1, j / dim2, k / slices
  float normal[3];       // the average of the adjacent face normals, unit length
  unsigned char colour;  // colour index 0 ... 255: the local gradient strength
  unsigned char refs;    // corners of triangles that use the vertex
};

// One triangle: three vertex indices of its list.
struct Sd_IsoTriangle {
  unsigned int v[3];
};

// A growing array kept in blocks of kBlock elements: appending never moves
// or copies what is stored (no peak of twice the size while growing), and a
// small list takes a small block.
template <class T>
class Sd_IsoBlocks {
 public:
  static constexpr size_t kShift = 8;
  static constexpr size_t kBlock = size_t(1) << kShift;

  Sd_IsoBlocks() = default;
  ~Sd_IsoBlocks() { Clear(); }
  Sd_IsoBlocks(const Sd_IsoBlocks&) = delete;
  Sd_IsoBlocks& operator=(const Sd_IsoBlocks&) = delete;

  size_t Size() const { return m_size; }
  T& operator[](size_t i) { return m_blocks[i >> kShift][i & (kBlock - 1)]; }
  const T& operator[](size_t i) const { return m_blocks[i >> kShift][i & (kBlock - 1)]; }
  // A new element at the end (uninitialised), or null when memory runs out.
  T* Append() {
    if (m_size == m_blocks.size() * kBlock) {
      T* block = static_cast<T*>(std::malloc(kBlock * sizeof(T)));
      if (!block) return nullptr;
      try {
        m_blocks.push_back(block);
      } catch (const std::bad_alloc&) {
        std::free(block);
        return nullptr;
      }
    }
    return &(*this)[m_size++];
  }
  void Clear() {
    for (T* block : m_blocks) std::free(block);
    m_blocks.clear();
    m_blocks.shrink_to_fit();
    m_size = 0;
  }

  // Filling in parts on several threads at once: Grow sets the size to n
  // (at least Size()) and allocates only the blocks that hold the first
  // element of a part (parts[p], the parts' starts in increasing order),
  // the blocks two parts may share; Slot then gives an element of a part,
  // allocating a missing block that only its part uses. false or null when
  // memory runs out (Clear still releases everything).
  bool Grow(size_t n, const std::vector<size_t>& parts) {
    try {
      m_blocks.resize((n + kBlock - 1) >> kShift, nullptr);
    } catch (const std::bad_alloc&) {
      return false;
    }
    m_size = n;
    for (size_t start : parts) {
      if (start < n && !Slot(start)) return false;
    }
    return true;
  }
  T* Slot(size_t i) {
    T*& block = m_blocks[i >> kShift];
    if (!block) block = static_cast<T*>(std::malloc(kBlock * sizeof(T)));
    return block ? &block[i & (kBlock - 1)] : nullptr;
  }
  // Releases block b while the others stay (a part copied elsewhere).
  void ReleaseBlock(size_t b) {
    std::free(m_blocks[b]);
    m_blocks[b] = nullptr;
  }
  // Bytes held, block table included.
  size_t Bytes() const { return m_blocks.size() * (kBlock * sizeof(T) + sizeof(T*)); }

 private:
  std::vector<T*> m_blocks;
  size_t m_size = 0;
};

// A triangle list of the iso-surface: its vertices and its triangles.
class Sd_IsoSurface {
 public:
  size_t TriangleCount() const { return m_triangles.Size(); }
  size_t VertexCount() const { return m_vertices.Size(); }
  const Sd_IsoTriangle& Triangle(size_t i) const { return m_triangles[i]; }
  Sd_IsoTriangle& Triangle(size_t i) { return m_triangles[i]; }
  const Sd_IsoVertex& Vertex(size_t i) const { return m_vertices[i]; }
  Sd_IsoVertex& Vertex(size_t i) { return m_vertices[i]; }
  Sd_IsoVertex* AppendVertex() { return m_vertices.Append(); }
  Sd_IsoTriangle* AppendTriangle() { return m_triangles.Append(); }
  // Releases every triangle and vertex.
  void Clear() {
    m_triangles.Clear();
    m_vertices.Clear();
  }
  size_t Bytes() const { return m_triangles.Bytes() + m_vertices.Bytes(); }
  // The storage itself, for the extraction's parts filled on several threads.
  Sd_IsoBlocks<Sd_IsoVertex>& Vertices() { return m_vertices; }
  Sd_IsoBlocks<Sd_IsoTriangle>& Triangles() { return m_triangles; }

 private:
  Sd_IsoBlocks<Sd_IsoVertex> m_vertices;
  Sd_IsoBlocks<Sd_IsoTriangle> m_triangles;
};

#endif
