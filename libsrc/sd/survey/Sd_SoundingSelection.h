#ifndef SD_SOUNDINGSELECTION_H
#define SD_SOUNDINGSELECTION_H

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "Sd_SoundingGrid.h"

// The selection of a sounding data set: the window of (2r + 1) x (2r + 1)
// cells with its soundings in their sort order and its outline, the select
// callback, and the selected list of records whose mark is set. It marks
// the window's cells in the grid it is given and the soundings through
// Records; the sort keys come from there too (the record classes' key
// tables).
class Sd_SoundingSelection {
 public:
  // What the selection asks of the records.
  class Records {
   public:
    // The mark byte of sounding index (null outside the records).
    virtual unsigned char* SoundingMark(int index) = 0;
    // Direction of a sort key in the class's table: 1 as the table's
    // comparison, -1 reversed, 0 when the class has no such key.
    virtual int SortKeyDirection(int key) const = 0;
    // Sounding index's value of a sort key, mapped to an unsigned number
    // in the key's ascending order; false when the sounding lacks what the
    // key needs (a frame, a run, a number).
    virtual bool SortKeyOf(int key, int index, uint64_t* value) const = 0;
    // SortKeyOf of the n soundings of list into values, lacks[i] set where
    // the i-th lacks the key; the number lacking it.
    virtual size_t GatherSortKeys(int key, const int* list, size_t n, uint64_t* values,
                                  unsigned char* lacks) const = 0;

   protected:
    ~Records() = default;
  };

  // Told before (phase 0) and after (phase 1) every change of the window's
  // soundings or of their order, with the window's record indices; phase 2
  // (without indices) after an editing tool marked soundings.
  typedef void (*Callback)(int phase, const int* indices, int count, void* data);

  explicit Sd_SoundingSelection(Records& records) : m_records(records) {}

  // Forgets the window, its lists and its outline, clearing the marks they
  // set, without telling anyone: the cell grid they refer to is going.
  void Drop();
  // Selects the window around (row, col), moved inside the grid, the
  // radius shrunk to fit it; marks its cells, lists its soundings in the
  // current sort order, tells the callback and builds the outline (zMin:
  // the data's floor). false (nothing done) on a grid without cells.
  bool SelectWindow(Sd_SoundingGrid& grid, double zMin, int row, int col);
  // The outline of the window: 4 s vertices (s the window's edge in cells)
  // round the window's cell borders, x and y in the unit box, z in data
  // units a quarter unit above the corners' mean height.
  void BuildOutline(const Sd_SoundingGrid& grid, double zMin);
  // Mean height of the cells around corner (row, col) (zMin for a cell
  // without height), plus 0.25.
  static double CornerHeight(const Sd_SoundingGrid& grid, double zMin, int row, int col);
  // The window a keyboard command (1 to 18) of a grid with cells moves or
  // resizes to: true with the centre to select and whether the cell-select
  // callback is told it; the radius changes with a resize.
  bool Command(int code, int* row, int* col, int* centre);

  // --- the order of the window's list (Sd_SoundingSort.cpp) ---
  // Orders the list by key (see Sd_SoundingSet::SortRecords) and tells the
  // callback.
  void Sort(int key, int keepDirection);
  // 1 when the entries at list positions a and b stand in the wrong order
  // for the current key and direction, else 0.
  int Compare(int a, int b) const;
  int SortKey() const { return m_sortKey; }
  int SortDescending() const { return m_sortDescending; }
  // Day and hour of a count of hours: day = floor((hours + 23) / 24), hour
  // = hours - (day - 1) * 24.
  static void SplitHours(int hours, int* day, int* hour);

  // --- the window ---
  bool HasWindow() const { return m_window[0] != -1; }
  // First and last row and column of the window (all -1 when none).
  const int* Window() const { return m_window; }
  int Radius() const { return m_selRadius; }
  int CentreRow() const { return m_selRow; }
  int CentreCol() const { return m_selCol; }
  // The window's record indices in their sort order.
  const std::vector<int>& Indices() const { return m_selIndices; }
  std::vector<int>& Indices() { return m_selIndices; }
  // The outline's vertices, three floats each.
  const std::vector<float>& Outline() const { return m_outline; }
  // A window and outline laid by hand (as a drawing set up without
  // selecting one sees them).
  void SetWindow(int firstRow, int lastRow, int firstCol, int lastCol);
  void SetOutline(std::vector<float> outline) { m_outline = std::move(outline); }

  // --- the callback ---
  void SetCallback(Callback fn, void* data) {
    m_selectCallback = fn;
    m_selectCallbackData = data;
  }
  // Tells the callback (when set) phase with the window's list.
  void Notify(int phase) const;
  // Tells the callback (when set) that an editing tool marked soundings.
  void NotifyMarked() const;

  // --- the selected list ---
  // Adding sets the record's mark (an index outside the records is
  // ignored); removing clears it and moves the list's last entry into the
  // removed one's place.
  void AddSelected(int index);
  void RemoveSelected(int index);
  void ClearSelected();
  const std::vector<int>& Selected() const { return m_selectedList; }

 private:
  // Clears the marks of the soundings of list.
  void ClearMarks(const std::vector<int>& list);

  Records& m_records;
  int m_selRadius = 1;  // half-size r of the window in cells
  int m_selSize = 3;    // 2r + 1
  int m_selRow = -1, m_selCol = -1;
  int m_window[4] = {-1, -1, -1, -1};  // first, last row; first, last column
  std::vector<int> m_selIndices;       // the window's record indices
  std::vector<float> m_outline;        // the window outline, x y z a vertex
  int m_sortKey = 30;
  int m_sortDescending = 0;
  Callback m_selectCallback = nullptr;
  void* m_selectCallbackData = nullptr;
  std::vector<int> m_selectedList;  // records whose mark is set
};

#endif
