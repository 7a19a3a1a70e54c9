// The memory budget of one file load.
#include "Sd_LoadBudget.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "Sv_Debug.h"
#include "Sv_Platform.h"
#include "TDR_Manager.h"

namespace {

std::atomic<long long> g_setBytes{0};
std::atomic<long long> g_machineBytes{0};

// The load in progress on this thread.
struct LoadState {
  bool active = false;
  long long budget = 0;
  long long charged = 0;
  int refused = 0;
  std::string path;
  TDR_Manager::FollowCheck previousCheck = nullptr;
};
thread_local LoadState t_load;

// The memory the process may use: physical memory, or less where its
// control group or its resource limits allow less.
long long MachineBytes() {
  const long long set = g_machineBytes.load();
  return set > 0 ? set : Sv_PlatformUsableMemory();
}

long long MegaBytes(long long bytes, bool up) { return (bytes + (up ? (1 << 20) - 1 : 0)) >> 20; }

}  // namespace

long long Sd_LoadBudget::ForMachine(long long machineBytes) {
  return std::max(machineBytes / 2, kObjectBoundBytes);
}

long long Sd_LoadBudget::Bytes() {
  const long long set = g_setBytes.load();
  return set > 0 ? set : ForMachine(MachineBytes());
}

long long Sd_LoadBudget::SetBytes(long long bytes) { return g_setBytes.exchange(std::max(0LL, bytes)); }

long long Sd_LoadBudget::SetMachineBytes(long long bytes) {
  return g_machineBytes.exchange(std::max(0LL, bytes));
}

Sd_LoadBudget::Load::Load(const char* path) : m_outer(!t_load.active) {
  if (!m_outer) return;
  t_load = LoadState();
  t_load.active = true;
  t_load.budget = Bytes();
  t_load.path = path ? path : "";
  // Every file that a file pointer names during the load is charged before
  // it is read, whatever class its records are.
  t_load.previousCheck = TDR_Manager::SetFollowCheck(&Sd_LoadBudget::ChargeFollowedFile);
}

Sd_LoadBudget::Load::~Load() {
  if (!m_outer) return;
  TDR_Manager::SetFollowCheck(t_load.previousCheck);
  // Identical refusals read as one where messages are gathered: the count.
  if (t_load.refused > 1) {
    Sv_Debug::Warning("File \"%s\": %d objects were refused: they do not fit the %lld MB that one file may take "
                      "in memory.",
                      t_load.path.c_str(), t_load.refused, MegaBytes(t_load.budget, false));
  }
  t_load = LoadState();
}

bool Sd_LoadBudget::TryCharge(long long bytes, const char* what, std::string* why) {
  if (!t_load.active || bytes <= 0) return true;
  if (bytes <= t_load.budget - t_load.charged) {
    t_load.charged += bytes;
    return true;
  }
  ++t_load.refused;
  char text[160];
  snprintf(text, sizeof text, " needs %lld MB, more than the %lld MB left of the %lld MB",
           MegaBytes(bytes, true), MegaBytes(t_load.budget - t_load.charged, false), MegaBytes(t_load.budget, false));
  *why = "File \"" + t_load.path + "\": the " + (what ? what : "object") + text +
         " that one file may take in memory; the object is not loaded.";
  return false;
}

bool Sd_LoadBudget::Charge(long long bytes, const char* what) {
  std::string why;
  if (TryCharge(bytes, what, &why)) return true;
  Sv_Debug::Message(SV_LEVEL_WARNING, why.c_str());
  return false;
}

bool Sd_LoadBudget::ChargeFollowedFile(const char* path, long long bytes, std::string* why) {
  // A record read from a file holds at most what bounded readers make of
  // its bytes; classes that derive more charge that themselves.
  const std::string what = std::string("file \"") + (path ? path : "") + "\" that a file pointer names";
  return TryCharge(bytes, what.c_str(), why);
}

long long Sd_LoadBudget::Charged() { return t_load.active ? t_load.charged : 0; }

void Sd_LoadBudget::ReturnTo(long long charged) {
  if (t_load.active && charged >= 0 && charged <= t_load.charged) t_load.charged = charged;
}
