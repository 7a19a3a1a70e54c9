#ifndef SV_TIMER_H
#define SV_TIMER_H

// Stopwatch. GetSeconds is the time of a monotonic clock in seconds with at
// least millisecond resolution; callers take differences.
class Sv_Timer {
 public:
  Sv_Timer();
  double GetSeconds() const;
  void Start();
  // Adds the time since Start to the total and returns the total.
  double Stop();
  double GetTotal() const { return m_total; }

 private:
  double m_total;
  double m_start;
};

#endif
