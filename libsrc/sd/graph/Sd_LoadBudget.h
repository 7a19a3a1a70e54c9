#ifndef SD_LOADBUDGET_H
#define SD_LOADBUDGET_H

#include <string>

// What one file load may claim in all for the memory that its records make
// the process hold beyond the file's own bytes: what a record derives (a
// sounding set's cell grid from its cell size, a real-time terrain's copy
// of its block) and every file that a file-pointer record names. Each
// derived object has a bound of its own; the load budget bounds the sum, so
// that a small file of many such records cannot claim the machine's memory.
//
// A load (Sd_LoadBudget::Load, opened by the readers of Sd_IOSupport for
// the file they read) sets the budget on the thread that reads; a reader
// asks Charge before it allocates, and the load charges a followed file's
// size before the file is read. When the bytes do not fit, the charge says
// so at warning level, naming the file and the budget, and refuses: the
// object (or the file-pointer record) is refused, the objects already
// loaded stay, and reading goes on with later records (smaller ones may
// still fit). A load that refused more than one object says how many when
// it ends. Without a load in progress (library callers, the user changing a
// cell size later) nothing is charged.
//
// The budget follows the machine: half of the memory the process may
// really use (physical memory, or less where the process's control group
// or its RLIMIT_AS or RLIMIT_DATA allow less: Sv_PlatformUsableMemory),
// and never less than kObjectBoundBytes, so that one object at its own
// bound always loads and a file whose objects each keep their bounds loads
// whenever the machine can hold it.
class Sd_LoadBudget {
 public:
  // The most one object charges at its own bound (a sounding cell grid of
  // the largest cell count, in one row; the classes that charge check that
  // their bound fits).
  static constexpr long long kObjectBoundBytes = 896LL << 20;

  // The budget for a process that may use machineBytes of memory.
  static long long ForMachine(long long machineBytes);
  // The budget of every load from now on: the one set with SetBytes, else
  // the one the memory the process may use gives.
  static long long Bytes();
  // Tests only: sets the budget of the loads begun from now on (0 restores
  // the machine's); the one set before (0 when none was).
  static long long SetBytes(long long bytes);
  // Tests only: the memory the budget is taken from (0 restores what the
  // process may use); the one set before (0 when none was).
  static long long SetMachineBytes(long long bytes);

  // A load of the file at path on this thread, for as long as it lives. A
  // load begun while another runs is part of the outer one.
  class Load {
   public:
    explicit Load(const char* path);
    ~Load();
    Load(const Load&) = delete;
    Load& operator=(const Load&) = delete;

   private:
    bool m_outer;
  };

  // Charges bytes (what) to the load in progress on this thread: true when
  // they fit or no load is in progress; false, after the warning, when they
  // do not (nothing is charged then).
  static bool Charge(long long bytes, const char* what);
  // Bytes charged so far to the load in progress (0 without one), and a
  // return to an earlier count, for an object refused after it charged.
  static long long Charged();
  static void ReturnTo(long long charged);

 private:
  // The charge without the message: false with the warning's text in *why.
  static bool TryCharge(long long bytes, const char* what, std::string* why);
  // The check of a followed file, set on the file reader while a load runs.
  static bool ChargeFollowedFile(const char* path, long long bytes, std::string* why);
};

#endif
