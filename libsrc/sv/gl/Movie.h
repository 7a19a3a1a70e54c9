#ifndef MOVIE_H
#define MOVIE_H

#include <vector>

#include "Sv_Quaternion.h"

// Frame types of a camera path.
enum {
  MOVIE_FRAME_POSROT = 0,       // position and rotation
  MOVIE_FRAME_MATRIX = 1,       // a model-view matrix
  MOVIE_FRAME_POSROTSCALE = 2   // position, rotation and scale
};

// A camera path ("movie"): a list of camera frames with a current frame,
// played back by loading one frame after the other into the GL model-view
// matrix, and recorded by appending frames.
//
// Every frame keeps the type it was made with, so frames appended to a
// loaded path of another type (recording on from a played path) play back
// as they were made. The current frame is -1 exactly when the path is
// empty; a frame that is appended becomes the current frame.
//
// Files: flight paths ('.fph', and the older '.mov' extension) are
// tagged-data-record files holding one camera-path record (tag 20006,
// BK_MOVIE; docs/file-formats.md gives its layout). Read and Write go
// through TDR_Manager.
class Movie {
 public:
  // Frames a path may hold: nine hours at 30 frames per second.
  static constexpr int kMaxFrames = 1000000;
  // Distance behind the window of the point about which a type-2 frame
  // scales the view.
  static constexpr double kScaleCentre = 5000.0;

  // An empty path of type 0.
  Movie();
  ~Movie();
  Movie(const Movie&) = default;
  Movie& operator=(const Movie&) = default;

  // Reads the camera path of a flight-path file, replacing this path; the
  // first frame becomes current. Returns the number of frames read (>= 0).
  // Negative on failure, after a message; the path is then unchanged:
  // -1 the file cannot be opened ("ERROR: Opening file %s to read movie"),
  // -2 it is not a tagged-data-record file, -3 its camera-path record is
  // damaged, truncated or of an unknown version, or the file is damaged
  // after it, -4 it holds no camera-path record.
  int Read(const char* fileName);
  // Writes the path as a flight-path file (header, one camera-path record,
  // end tag). Returns 0, or -1 when the file cannot be written (the old
  // file, if any, is then left as it was).
  int Write(const char* fileName) const;

  // The path's frame type (0, 1 or 2): the type of the frames being
  // recorded, stored with the path. Returns 0, or -1 for another value
  // (unchanged). Frames already in the path keep their own types.
  int SetType(int type);
  int GetType() const { return m_type; }

  // Appends a frame that becomes the current one; the new index, or -1
  // (nothing appended) when the path is full or a value is not finite (or
  // the scale is not positive).
  // Type 2: position, rotation and scale.
  int AddFrame(const float position[3], const Sv_Quaternion& rotation, double scale);
  // Type 0: position and rotation.
  int AddFrame(const float position[3], const Sv_Quaternion& rotation);
  // Type 1: a model-view matrix, column-major as OpenGL takes it.
  int AddFrame(const float matrix[16]);

  // The first frame becomes current (index 0); nothing is applied to GL.
  // Returns 0, or -1 for an empty path.
  int Rewind();
  // Returns 1 without moving when there is no current or no next frame;
  // else makes the next frame current, loads it (ApplyFrame) and returns
  // 1 when it is the last frame, else 0.
  int NextFrame();
  // Makes frame n (0-based) current; the new index, or -1 (unchanged) when
  // n is out of range. Nothing is applied to GL.
  int GoToFrame(int n);
  // Loads the current frame into the current GL matrix (glLoadMatrix of
  // GetFrameMatrix). Returns 0, or -1 when there is no current frame.
  int ApplyFrame() const;

  // Deletes every frame.
  void Clear();
  // Deletes every frame after the current one.
  void DeleteAfterCurrent();

  int GetNumFrames() const { return static_cast<int>(m_frames.size()); }
  // Index of the current frame, -1 when the path is empty.
  int GetCurrentFrame() const { return m_current; }
  // Type of frame i, -1 when out of range.
  int GetFrameType(int i) const;

  // The matrix ApplyFrame loads for frame i, column-major, computed without
  // GL:
  //   type 1: the frame's matrix;
  //   type 0: R * T(-p);
  //   type 2: T(0, 0, -5000) * S(s) * T(0, 0, 5000) * R * T(-p);
  // R the rotation, p the position, s the scale. Returns 0, or -1 when i is
  // out of range (out untouched).
  int GetFrameMatrix(int i, float out[16]) const;

 private:
  struct Frame {
    int type;
    float position[3];
    double rotation[4];  // w, x, y, z
    double scale;
    float matrix[16];
  };

  int Append(const Frame& frame);

  std::vector<Frame> m_frames;
  int m_current;
  int m_type;
};

#endif
