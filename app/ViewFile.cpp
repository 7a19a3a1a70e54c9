#include "ViewFile.h"

#include <cmath>
#include <cstdio>

#include "Sv_AtomicFile.h"
#include "Sv_Debug.h"
#include "Sv_Matrix4.h"
#include "Sv_Perspective.h"
#include "Sv_Stdio.h"

namespace {

const char kVersion[] = "2.0\n";
// The version line's new-line must come within this many characters.
const int kVersionLineMax = 24;

}  // namespace

bool ViewFile::Read(const char* path, Sv_Perspective* camera, Sv_Matrix4* matrix) {
  FILE* file = (path && camera && matrix) ? Sv_UtlOpenForReading(path, SV_LEVEL_DEBUG) : nullptr;
  bool ok = file != nullptr;
  if (ok) {
    int length = 0;
    int ch = 0;
    while (length < kVersionLineMax && (ch = std::fgetc(file)) != EOF && ch != '\n') ++length;
    ok = ch == '\n';
  }
  // Both records go into temporaries first.
  Sv_Perspective readCamera = camera ? *camera : Sv_Perspective(0.0f, 0.0f, 50.0f, 6.4f, 0.25f);
  Sv_Matrix4 readMatrix;
  ok = ok && readCamera.Read(file, 1) == 0;
  ok = ok && readMatrix.Read(file, 1) == 0;
  if (ok) {
    const float* m = readMatrix.GetMatrixPTR();
    for (int i = 0; i < 16; ++i) ok = ok && std::isfinite(m[i]);
  }
  if (file) std::fclose(file);
  if (!ok) return false;
  *camera = readCamera;
  *matrix = readMatrix;
  return true;
}

bool ViewFile::Write(const char* path, const Sv_Perspective& camera, const Sv_Matrix4& matrix) {
  if (!path) return false;
  // Binary, so that no line-end translation touches the records.
  Sv_AtomicFile out;
  FILE* file = out.Open(path, 1);
  bool ok = file != nullptr;
  ok = ok && std::fputs(kVersion, file) >= 0;
  ok = ok && camera.Write(file) == 0;
  ok = ok && matrix.Write(file) == 0;
  ok = ok && out.Commit() == 0;
  if (!ok) out.Discard();
  return ok;
}
