#ifndef SD_STRIPARRAYS_H
#define SD_STRIPARRAYS_H

#include <cstddef>
#include <vector>

// Client-side arrays for the strips of a grid surface (terrain models,
// sounding cell surfaces): three floats of position per vertex, a packed
// colour (red in the low byte), optionally a normal and two texture
// coordinates. The arrays only grow, so a surface drawn strip by strip
// allocates once.
//
// Typical use, per pass:
//   Sd_StripArrays::ClientState on(Sd_StripArrays::kColours);
//   per strip: Reserve(n); fill Vertices()/Colours(); Point(); glDrawArrays.
class Sd_StripArrays {
 public:
  // Arrays besides the positions.
  enum Parts : unsigned { kColours = 1u, kNormals = 2u, kTexCoords = 4u };

  // Room for at least n vertices in the position array and in the arrays
  // named by parts.
  void Reserve(size_t n, unsigned parts = kColours);

  float* Vertices() { return m_vertices.data(); }
  unsigned int* Colours() { return m_colours.data(); }
  float* Normals() { return m_normals.data(); }
  float* TexCoords() { return m_texCoords.data(); }

  // Points OpenGL's vertex arrays at the position array and at those of
  // parts (which must have been reserved).
  void Point(unsigned parts = kColours) const;

  // Enables the vertex array and those of parts for the scope; the client
  // state before it is restored at the end.
  class ClientState {
   public:
    explicit ClientState(unsigned parts = kColours);
    ~ClientState();
    ClientState(const ClientState&) = delete;
    ClientState& operator=(const ClientState&) = delete;
  };

 private:
  std::vector<float> m_vertices;
  std::vector<unsigned int> m_colours;
  std::vector<float> m_normals;
  std::vector<float> m_texCoords;
};

#endif
