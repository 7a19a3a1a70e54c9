#include "Sv_Timer.h"

#include "Sv_Platform.h"

Sv_Timer::Sv_Timer() : m_total(0.0), m_start(0.0) {}

double Sv_Timer::GetSeconds() const { return Sv_PlatformSeconds(); }

void Sv_Timer::Start() { m_start = Sv_PlatformSeconds(); }

double Sv_Timer::Stop() {
  m_total += Sv_PlatformSeconds() - m_start;
  return m_total;
}
