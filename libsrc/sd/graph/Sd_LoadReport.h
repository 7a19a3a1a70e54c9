#ifndef SD_LOADREPORT_H
#define SD_LOADREPORT_H

#include <string>

#include "Sd_IOSupport.h"

class TDR_Manager;

// What one load of a file tells the user about the records that gave no
// object: counted and worded in one place for both readers of objects
// (ReadSDFile for SD files, ReadHierarchy for scene files), so that a file
// says the same whichever way it is read.
//
// Every record that gives no object is counted, and the first reason the
// user has not been told kept, so that a file that shows nothing, or not
// everything, says why. Records whose refusal was already shown to the
// user (a warning or an error) need no second word. Damage that ends a
// followed file is said at once, with the objects that file gave. Reasons
// are quoted without the "ERROR:" mark of debug messages.
class Sd_IOSupport::LoadReport {
 public:
  LoadReport(Sd_IOSupport& io, TDR_Manager& manager, const char* path);
  LoadReport(const LoadReport&) = delete;
  LoadReport& operator=(const LoadReport&) = delete;

  // Before CreateObject of the record just read: which file it comes from.
  void Record();
  // CreateObject made an object of that record.
  void Loaded();
  // CreateObject made no object of a record of tag. false when nothing
  // after it can be read (a damaged header of the record in the file
  // opened first, or the record runs past the end of that file).
  bool Refused(int tag);
  // ReadTag gave TDR_TAG_ERROR: true, after counting or telling of it, when
  // reading goes on with the next ReadTag (the record alone was refused,
  // or the damage ended a followed file); false when the damage ends the
  // file opened first, which Ended then tells of.
  bool ReadOn();
  // The damage that ReadOn found ends the file: its class's text when the
  // header names an object's tag, else the reason, kept for Finish.
  void Ended();
  // The lines that sum the load up, once reading is over.
  void Finish();

  int Objects() const { return m_objects; }

 private:
  void Explain(const std::string& why, int level);
  void Note(const std::string& why, int level);
  bool ClassText(int damagedTag, const std::string& why);
  bool LeftFollowed(int refused);

  Sd_IOSupport& m_io;
  TDR_Manager& m_manager;
  std::string m_path;
  int m_objects = 0, m_skipped = 0, m_unexplained = 0;
  // damaged: reading stopped at a damaged header; lost: after the failure
  // text of the class whose object the damage cost, which said why.
  bool m_damaged = false, m_lost = false;
  // The followed file being read (its number, 0 in the file opened first)
  // and the objects it gave so far.
  int m_follow = 0, m_followObjects = 0;
  std::string m_reason;
};

#endif
