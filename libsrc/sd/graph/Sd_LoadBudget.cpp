// The memory budget of one file load.
#include "Sd_LoadBudget.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "Sv_Debug.h"

namespace {

std::atomic<long long> g_setBytes{0};

// The load in progress on this thread.
struct LoadState {
  bool active = false;
  long long budget = 0;
  long long charged = 0;
  std::string path;
};
thread_local LoadState t_load;

long long MachineBytes() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return Sd_LoadBudget::kFloorBytes;
  const long long eighth = static_cast<long long>(pages) / 8 * pageSize;
  return std::clamp(eighth, Sd_LoadBudget::kFloorBytes, Sd_LoadBudget::kCeilingBytes);
}

}  // namespace

long long Sd_LoadBudget::Bytes() {
  const long long set = g_setBytes.load();
  return set > 0 ? set : MachineBytes();
}

long long Sd_LoadBudget::SetBytes(long long bytes) { return g_setBytes.exchange(std::max(0LL, bytes)); }

Sd_LoadBudget::Load::Load(const char* path) : m_outer(!t_load.active) {
  if (!m_outer) return;
  t_load.active = true;
  t_load.budget = Bytes();
  t_load.charged = 0;
  t_load.path = path ? path : "";
}

Sd_LoadBudget::Load::~Load() {
  if (m_outer) t_load = LoadState();
}

bool Sd_LoadBudget::Charge(long long bytes, const char* what) {
  if (!t_load.active || bytes <= 0) return true;
  if (bytes <= t_load.budget - t_load.charged) {
    t_load.charged += bytes;
    return true;
  }
  Sv_Debug::Warning(
      "File \"%s\": the %s needs %lld MB, more than the %lld MB left of the %lld MB that one file may take in "
      "memory; the object is not loaded.",
      t_load.path.c_str(), what ? what : "object", (bytes + (1 << 20) - 1) >> 20,
      (t_load.budget - t_load.charged) >> 20, t_load.budget >> 20);
  return false;
}

long long Sd_LoadBudget::Charged() { return t_load.active ? t_load.charged : 0; }

void Sd_LoadBudget::ReturnTo(long long charged) {
  if (t_load.active && charged >= 0 && charged <= t_load.charged) t_load.charged = charged;
}
