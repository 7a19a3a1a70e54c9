#ifndef SD_LOADBUDGET_H
#define SD_LOADBUDGET_H

// What one file load may claim in all for the memory that its records
// derive beyond their own bytes (a sounding set's cell grid from its cell
// size, a real-time terrain's copy of its block). Each such object has a
// bound of its own; the load budget bounds their sum, so that a small file
// of many such records cannot claim the machine's memory.
//
// A load (Sd_LoadBudget::Load, opened by the readers of Sd_IOSupport for
// the file they read) sets the budget on the thread that reads; a reader
// asks Charge before it allocates. When the bytes do not fit, Charge says
// so at warning level, naming the file and the budget, and refuses: the
// object is refused, the objects already loaded stay, and reading goes on
// with later records (smaller ones may still fit). Without a load in progress (library
// callers, the user changing a cell size later) nothing is charged.
//
// The budget follows the machine: an eighth of its physical memory, at
// least kFloorBytes and at most kCeilingBytes (2 GiB from 16 GiB of memory
// up), room for two sounding grids at their own bound.
class Sd_LoadBudget {
 public:
  static constexpr long long kFloorBytes = 512LL << 20;
  static constexpr long long kCeilingBytes = 2LL << 30;

  // The budget of every load from now on: the one set with SetBytes, else
  // the one the machine's memory gives.
  static long long Bytes();
  // Tests only: sets the budget of the loads begun from now on (0 restores
  // the machine's); the one set before (0 when none was).
  static long long SetBytes(long long bytes);

  // A load of the file at path on this thread, for as long as it lives. A
  // load begun while another runs (a file that a record points to) is part
  // of the outer one.
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
};

#endif
