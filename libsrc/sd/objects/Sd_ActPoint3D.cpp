// Active point sets: records, commands and the pick that starts them.
#include "Sd_ActPoint3D.h"

#include <GL/gl.h>

#include <atomic>
#include <cmath>
#include <string>

#include "DepthPicker.h"
#include "Sv_Debug.h"
#include "Sv_Matrix4.h"
#include "Sv_Stdlib.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"

namespace {

// The pick request's query kind and action code of the selecting tool's
// click release: the only pick that starts a command.
constexpr int kSelectKind = 1;
constexpr int kReleaseAction = 1;

// Asked before stored commands run; none until a program installs one.
std::atomic<Sd_CommandApprover*> g_approver{nullptr};

}  // namespace

Sd_CommandApprover* Sd_ActPoint3D::SetCommandApprover(Sd_CommandApprover* approver) {
  return g_approver.exchange(approver);
}

Sd_CommandApprover* Sd_ActPoint3D::GetCommandApprover() { return g_approver.load(); }

// 16-bit label lengths, and a command after every point.
const Sd_Point3D::BlockLayout Sd_ActPoint3D::kLayout = {2, true};

Sd_ActPoint3D::Sd_ActPoint3D() {}

Sd_ActPoint3D::Sd_ActPoint3D(int count, int dimension, const double* const* xyz, const double* values,
                             const char* const* labels, const char* const* commands)
    : Sd_Point3D(count, dimension, xyz, values, labels) {
  if (!commands) return;
  for (int i = 0; i < m_count; ++i) {
    if (commands[i]) SetCommand(i, commands[i]);
  }
}

Sd_ActPoint3D::~Sd_ActPoint3D() {}

const char* Sd_ActPoint3D::className() const { return "Sd_ActPoint3D"; }

bool Sd_ActPoint3D::SetCommand(int i, const char* command) {
  if (i < 0 || i >= m_count) return false;
  if (m_commands.Count() != m_count && !m_commands.Reset(m_count)) return false;
  return m_commands.Set(i, command);
}

// --- records ---

int Sd_ActPoint3D::LoadObject(TDR_Manager* manager) {
  if (!manager) return -1;
  // Commands of another file are asked for again.
  m_approvedCommands.clear();
  const char* path = manager->GetPath();
  m_sourceFile = path ? path : "";
  RecordHead head;
  Block block;
  if (!ReadRecord(manager, kLayout, &head, &block)) {
    m_commands.Clear();
    return -1;
  }
  // The bounds stay as stored: an axis without extent is not widened.
  m_commands.Swap(block.commands);
  if (FinishLoad(manager) != 0) {
    m_commands.Clear();
    return -1;
  }
  return 0;
}

int Sd_ActPoint3D::SaveObject(TDR_Manager* manager, int withCommonTags, int) {
  if (!manager) return -1;
  if (manager->WriteTag(TDR_TAG_SD_ACTPOINT3D, 1, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  if (!WriteRecord(out, kLayout, &m_commands) || manager->EndTag() != 0) return -1;
  return withCommonTags ? WriteCommonTags(manager) : 0;
}

int Sd_ActPoint3D::WriteSample(TDR_Manager* manager) {
  const double p[3][2] = {{12.5, 40.0}, {18.0, 46.5}, {25.5, 41.0}};
  const double* xyz[3] = {p[0], p[1], p[2]};
  const char* labels[3] = {"Well 1", nullptr, "Well 3"};
  const char* commands[3] = {"echo 'well 1'", "echo well-2", nullptr};
  Sd_ActPoint3D set(3, 2, xyz, nullptr, labels, commands);
  // Every setting the record holds is set here, so that the sample does not
  // depend on a "PointClass" file.
  set.SetDetailStep(1);
  set.SetLevelOfDetail(0);
  set.SetSymbolCode(kSphere);
  set.SetSymbolSize(0.1f);
  set.SetLabelSize(0.5f);
  set.SetZOffset(0.25f);
  set.SetShowLabels(1);
  set.SetColour(PackColour(40, 220, 255, 0));
  set.SetColourMode(0);
  return set.SaveObject(manager, 1, 0);
}

// --- picking ---

int Sd_ActPoint3D::NearestPoint(double x, double y, double z, double* distance) const {
  int best = -1;
  double bestDistance = 9e19;
  for (int i = 0; i < m_count && m_points; ++i) {
    const double dx = x - m_points[i].x;
    const double dy = y - m_points[i].y;
    const double dz = z - m_points[i].z;
    const double d = std::sqrt(dx * dx + dy * dy + dz * dz);
    // Strictly nearer only: among equally near points the first stays.
    if (d < bestDistance) {
      bestDistance = d;
      best = i;
    }
  }
  if (distance) *distance = bestDistance;
  return best;
}

int Sd_ActPoint3D::QueryPoint(SDN_PickIn* request, SDN_PickOut*) {
  if (!request || !request->picker) return 0;
  glPushMatrix();
  ApplyTransform();
  Sv_Matrix4 modelView;
  modelView.LoadFromGL();
  float w[3] = {0.0f, 0.0f, 0.0f};
  // A pixel of background (or an unusable matrix) is no point of the set.
  const bool picked =
      request->picker->SetModelMatrix(modelView) == 0 &&
      request->picker->Pick(static_cast<short>(request->x), static_cast<short>(request->y), &w[0], &w[1], &w[2]) == 0;
  int nearest = -1;
  if (picked && request->mode == kSelectKind && request->subMode == kReleaseAction) {
    const double x = w[0] * m_pointExtent[0] + m_pointCentre[0];
    const double y = w[1] * m_pointExtent[1] + m_pointCentre[1];
    const double z = (w[2] - m_zOffset) * m_pointExtent[2] + m_pointCentre[2];
    double distance = 0.0;
    nearest = NearestPoint(x, y, z, &distance);
    if (!(m_symbolSize > distance)) nearest = -1;
  }
  glPopMatrix();
  // Asking may show a dialog: the matrices are put back first.
  if (nearest < 0) return 0;
  // Whether it could be started is not the pick's concern.
  RunCommand(nearest);
  return 1;
}

bool Sd_ActPoint3D::RunCommand(int i) {
  if (i < 0 || i >= m_count) return false;
  const char* stored = m_commands.Get(i);
  // Copies: the approver may run an event loop.
  const std::string command = stored ? stored : "";
  const std::string file = m_sourceFile;
  // A point without a command has nothing to ask about.
  if (command.empty()) return false;
  // An approval holds for the command it was given for, nothing else.
  if (!CommandApproved(command)) {
    Sd_CommandApprover* approver = g_approver.load();
    if (!approver) {
      Sv_Debug::Message(SV_LEVEL_WARNING,
                        "A command stored in a file was not run: commands from files need the user's approval",
                        command.c_str());
      return false;
    }
    if (!approver->ApproveCommand(command.c_str(), file.c_str())) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "Command not approved", command.c_str());
      return false;
    }
    m_approvedCommands.insert(command);
  }
  const std::string message = "*** EXECUTING [" + command + "]\n";
  Sv_Debug::Message(SV_LEVEL_DEBUG, message.c_str());
  // Exactly as stored, through the shell, without waiting.
  return Sv_UtlRunProcess(command.c_str(), 0) == 0;
}
