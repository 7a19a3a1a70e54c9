#ifndef VIEWFILE_H
#define VIEWFILE_H

class Sv_Matrix4;
class Sv_Perspective;

// View files: the version line "2.0", then the camera (Sv_Perspective's
// record) and the view matrix (Sv_Matrix4's record), little-endian; the
// layout is in docs/file-formats.md. No Qt here: the fuzzer reads them too.
namespace ViewFile {

// Reads the file's two records into camera and matrix; true only when the
// version line ends within its first characters, both records are whole and
// the matrix is finite (camera and matrix are left as they were otherwise).
// The file opens only when it is a regular file.
bool Read(const char* path, Sv_Perspective* camera, Sv_Matrix4* matrix);
// Writes the file through the atomic writer; false when it could not be
// written (an existing file is then left as it was).
bool Write(const char* path, const Sv_Perspective& camera, const Sv_Matrix4& matrix);

}  // namespace ViewFile

#endif
