#ifndef SD_SOUNDINGEDITOR_H
#define SD_SOUNDINGEDITOR_H

#include <cstddef>
#include <vector>

#include "Sd_SoundingGrid.h"
#include "Sd_SoundingPoint.h"

// The editing lists of a sounding data set and the two tools built on them
// (Sd_SoundingLists.cpp): the candidate array, the marked list (with a
// membership byte per record) and the edit list; thinning (the highest
// sounding of every block of cells inside the depth window) and the spike
// search (soundings standing out above the rest of their cell). None of it
// changes a record or writes a file. Soundings whose excluding flag is set
// (Sd_SoundingPoints::ExcludedFlags) take no part in the tools; the tools
// read the flags and heights as the grid they are given binned them, and
// the records' own positions through Sd_SoundingPoints.
class Sd_SoundingEditor {
 public:
  explicit Sd_SoundingEditor(const Sd_SoundingPoints& points) : m_points(points) {}

  // --- candidates ---
  // Record indices (an index outside the records is ignored). Thin
  // candidates reserve room for one entry per thinning block of grid on
  // first use.
  void AddThinCandidate(const Sd_SoundingGrid& grid, int index);
  void AddSpikeCandidate(int index);
  const std::vector<int>& Candidates() const { return m_candidates; }
  // Marks the candidates no closer than the thinning radius to one marked
  // before them, greatest z first; releases the array.
  void ThinCandidatesByDistance();
  // Drops the candidates of clusters closer than the cluster radius and
  // marks the rest; releases the array.
  void PruneCandidateClusters();
  // Orders n record indices by z, greatest first, equal z in their
  // previous order.
  void SortCandidatesByZ(int* indices, int n) const;
  // sqrt(dx^2 + dy^2) of two records (0 when either lies outside).
  double HorizontalDistance(int a, int b) const;
  // The first sounding of cell (row, col)'s list that is not excluded, or
  // -1 (also outside the grid).
  int FirstValidRecord(const Sd_SoundingGrid& grid, int row, int col) const;
  // 1 when the first valid sounding of any of the eight neighbours of cell
  // (row, col) inside the grid lies higher than record index, else 0.
  int HasHigherNeighbour(const Sd_SoundingGrid& grid, int index, int row, int col) const;

  // --- the marked list ---
  // In the order of marking; a record is on it at most once (an index
  // outside the records is ignored).
  void AddMarked(int index);
  void RemoveMarked(int index);
  int IsMarked(int index) const;
  // Empties the marked list and the candidate array.
  void ClearMarkedList();
  const std::vector<int>& MarkedList() const { return m_markedList; }
  // The list as given (a negative index ends it for drawing).
  void SetMarkedList(const int* indices, int count);

  // --- the edit list ---
  // Appended to (room for the marked list's count on the first entry),
  // the first equal entry replaced by the last on removal.
  void AddToEditList(int index);
  void RemoveFromEditList(int index);
  void ClearEditList() { m_editList.clear(); }
  const std::vector<int>& EditList() const { return m_editList; }
  void SetEditList(const int* indices, int count);
  int IsInEditList(int index) const;
  // For n of 1 or more: empties the list and gives it room for n plus
  // extra entries.
  void ReserveEditList(int n, size_t extra);
  // Room for n entries when the list never had any.
  void ReserveEditListOnce(size_t n) {
    if (m_editList.capacity() == 0) m_editList.reserve(n);
  }

  // --- the depth window and the tools' parameters ---
  // Each setter switches its limit on for good; InDepthWindow is 1 when z
  // passes the limits that are on, inclusive.
  void SetDepthWindowLow(double z);
  void SetDepthWindowHigh(double z);
  int InDepthWindow(double z) const;
  // 0 none, 1 low only, 2 high only, 3 both.
  int DepthWindowState() const { return m_depthWindowState; }
  int ThinBlock() const { return m_thinBlock; }
  void SetThinBlock(int cells) { m_thinBlock = cells; }
  float ThinRadius() const { return m_thinRadius; }
  void SetThinRadius(float radius) { m_thinRadius = radius; }
  float SpikeThreshold() const { return m_spikeThreshold; }
  void SetSpikeThreshold(float height) { m_spikeThreshold = height; }
  float ClusterRadius() const { return m_clusterRadius; }
  void SetClusterRadius(float radius) { m_clusterRadius = radius; }

  // --- the tools ---
  // Marks the highest sounding in the depth window of every block of
  // thinning-block x thinning-block cells, thinned by distance.
  void ThinSoundings(const Sd_SoundingGrid& grid);
  // Marks the isolated spikes of every cell, without those lying closer
  // than the cluster radius to another.
  void FindSpikes(const Sd_SoundingGrid& grid);

 private:
  // Rebuilds the marked list's membership bytes from the list.
  void IndexMarkedList();

  const Sd_SoundingPoints& m_points;
  std::vector<int> m_candidates;
  std::vector<int> m_markedList;
  std::vector<unsigned char> m_markedFlags;  // 1 per record on the marked list
  std::vector<int> m_editList;
  double m_depthWindowLow = -1.0;
  double m_depthWindowHigh = -1.0;
  int m_depthWindowState = 0;
  int m_thinBlock = 1;
  float m_thinRadius = 1000.0f;
  float m_spikeThreshold = 15.0f;
  float m_clusterRadius = 20.0f;
};

#endif
