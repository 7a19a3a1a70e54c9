#ifndef SD_IOSUPPORT_H
#define SD_IOSUPPORT_H

#include <algorithm>
#include <iterator>
#include <new>
#include <string>

class Sd_Node;
class TDR_Manager;

// Turns tagged-data-record files into scene nodes.
//
// The object factory (CreateObject) maps an object tag to its scene class
// through one explicit table (ClassTable, in Sd_ClassTable.cpp), constructs
// the object, lets it read its own records, names it after the file and
// links it under a parent. ReadSDFile reads a whole SD file (object records
// one after another, closed by the end tag) into the root given to the
// constructor; ReadTDRFile reads the first record of one tag. The scene
// hierarchy (a start record and one entry per node in pre-order) is written
// by WriteHierarchy and rebuilt by ReadHierarchy with the same factory.
//
// Reading never loses its place: after every record, whether its object
// loaded, failed or has no class, reading goes on at the next tag boundary.
// An object whose load fails is deleted, never linked half-filled.
class Sd_IOSupport {
 public:
  // Constructor of a class with no arguments.
  typedef Sd_Node* (*Factory)();
  // Writes one small, valid object of a class at the manager's position:
  // its own record, its common tags and its settings record, as its
  // SaveObject would. 0 on success. Tests and the fuzz corpus use it.
  typedef int (*SampleWriter)(TDR_Manager* manager);

  // The Factory of class T, for registration calls.
  template <class T>
  static Sd_Node* Make() {
    return new (std::nothrow) T();
  }

  // One object tag of the file format with everything the factory does for
  // it. The rules are data: the factory has no code for any one tag.
  struct ClassEntry {
    int tag;
    const char* className;     // the class the tag stands for
    int typeId;                // the class's kTypeId, given by its registration (0 before)
    int settingsTag;           // the class's settings (attribute) record, 0 for none
    int keepName;              // 1: the object keeps the name its record gives (group classes)
    int inheritParentFrame;    // 1: a parent drawn in its own parent's frame passes that on
    const char* announcement;  // debug message sent before the object is made, or null
    int failLevel;             // level of the message of a failed load (0: no message)
    const char* failText;
    const char* failDetail;
    Factory create;            // null while this build has no class for the tag
    SampleWriter writeSample;  // null when the class offers no sample
  };

  // Deepest nesting of groups that ReadHierarchy accepts.
  static constexpr int kMaxHierarchyDepth = 256;

  // Current tag 1; root is the parent of the objects read by ReadSDFile and
  // ReadTDRFile (may be null for ReadHierarchy and WriteHierarchy of nothing).
  explicit Sd_IOSupport(Sd_Node* root);
  // Releases nothing: the objects read belong to the tree.
  ~Sd_IOSupport();
  Sd_IOSupport(const Sd_IOSupport&) = delete;
  Sd_IOSupport& operator=(const Sd_IOSupport&) = delete;

  Sd_Node* GetRoot() const { return m_root; }
  // The tag of the record ReadSDFile read last (1 before any).
  int GetCurrentTag() const { return m_currentTag; }

  // Called with the manager positioned just after the object's tag header.
  // Returns the new object, linked under parent when one is given (the
  // caller owns it otherwise), or null: for a tag without a class (its
  // payload is left for ReadTag to step over), when construction fails, when
  // the path of the file that holds the record is too long for the node's
  // description (PathFits), when the object's LoadObject fails (the object
  // is deleted) or when parent does not take it.
  Sd_Node* CreateObject(TDR_Manager* manager, int tag, Sd_Node* parent);
  // After CreateObject gave no object because LoadObject failed: the
  // class's last message while it read the record (what was wrong with
  // it), sent before the table's failure text; empty when the class said
  // nothing or the last call made an object.
  const char* GetRefusal() const { return m_refusal.c_str(); }

  // Reads every object record of the SD file at path into the root, in file
  // order. Returns the object created last, or null when no object was
  // created or the file cannot be opened or has no valid header.
  Sd_Node* ReadSDFile(const char* path);

  // The object made from the first record with the given tag (linked under
  // the root when there is one), or null.
  Sd_Node* ReadTDRFile(const char* path, int tag);

  // Whether an object read from the file at path can name it: the node's
  // description holds the path, and a cut path would name another file
  // when the object is saved or reloaded. A longer path is refused with an
  // error naming it.
  static bool PathFits(const char* path);

  // A manager with path open for reading and its header read, which the
  // caller deletes; null after a debug message when either step fails.
  static TDR_Manager* OpenTDRFile(const char* path);

  // Reads a string record's payload: a float (tag version 0 only), an int32
  // length n and n characters. Returns them as a terminated text allocated
  // with malloc (the caller frees it), or null for a length that is
  // negative or longer than the payload.
  static char* ReadStringRecord(TDR_Manager* manager);

  // Obsolete: sends "WritePointerDataBlock: exiting" and ends the process
  // with status -1.
  [[noreturn]] static void WritePointerDataBlock();

  // Writes the hierarchy start record (tag 9900) and, for every node of the
  // root's tree in pre-order, its node record with common tags followed,
  // unless it is a plain node (type id 1), by its own record. 0 on success,
  // -1 when a record cannot be written or there is no root.
  int WriteHierarchy(TDR_Manager* manager);

  // Finds the next hierarchy start record and rebuilds the tree of its
  // entries. Returns the top group, which the caller owns with every node
  // below it, or null; on failure nothing it created is left alive.
  Sd_Node* ReadHierarchy(TDR_Manager* manager);

  // The class table: every object tag of the format in ascending order,
  // then any further classes added with AddClass, with the constructor this
  // build has for each (null where none). The pointer stays valid until the
  // next registration.
  static const ClassEntry* ClassTable(int* count);
  // The entry of tag, or null for a tag that is not an object tag.
  static const ClassEntry* FindClass(int tag);
  // The constructor the factory uses for tag now: a test class set with
  // SetTestClass, else the table's; null when the tag has no class.
  static Factory GetFactory(int tag);
  // Gives the table's entry for tag the constructor (and sample writer) of
  // its class. Each library of object classes has one registration call
  // (Sd_RegisterGraphClasses, Sd_RegisterObjectClasses,
  // Sd_RegisterVehicleClasses, Sd_RegisterTerrainClasses,
  // Sd_RegisterSurveyClasses); Sd_RegisterAllClasses calls them all. 0 on
  // success (also when the same constructor is given again); -1 for a tag
  // that is not in the table, a null constructor, or an entry that already
  // has another constructor.
  static int RegisterClass(int tag, Factory create, SampleWriter writeSample = nullptr, int typeId = 0);
  // RegisterClass with the constructor, sample writer and node type id of
  // class T (T::kTypeId: each class states its id once, and the table takes
  // it from there).
  template <class T>
  static int Register(int tag) {
    return RegisterClass(tag, Make<T>, T::WriteSample, T::kTypeId);
  }
  // Register for each class of the list, with the tag at the same place in
  // tags (a library's registration call names its classes once, in one
  // call). Every class is tried; 0 when all were taken, else -1.
  template <class... T>
  static int RegisterClasses(const int (&tags)[sizeof...(T)]) {
    const int* tag = tags;
    const bool failed[] = {(Register<T>(*tag++) != 0)...};
    return std::find(std::begin(failed), std::end(failed), true) == std::end(failed) ? 0 : -1;
  }
  // Adds a class for a tag that the format's table does not list (the tag
  // must have a name in the tag-name table), with all its rules; an entry
  // for a tag of the table is registered as RegisterClass does, keeping the
  // table's rules. 0 on success, -1 otherwise.
  static int AddClass(const ClassEntry& entry);
  // Tests only: lets the factory construct a test class for an object tag of
  // the table in place of the table's class (null restores the table's).
  // 0 on success, -1 for a tag that is not in the table.
  static int SetTestClass(int tag, Factory create);
  // Tests only: forgets every test class.
  static void ClearTestClasses();

 private:
  class LoadReport;

  // Why the last CreateObject made no object of a record of tag (for the
  // message that sums up a file's refusals).
  std::string RefusalReason(int tag) const;
  // Whether the user has been told why the last CreateObject refused a
  // record of tag: the class's own last word or the factory's text was a
  // warning or an error, so no second word is needed.
  bool RefusalShown(int tag) const;
  // Sends the class's failure text of the table (when it has one) with
  // its detail and the reason, when one is given.
  static void ReportClassFailure(const ClassEntry& entry, const std::string& reason);

  int m_currentTag;
  Sd_Node* m_root;
  std::string m_refusal;
  int m_refusalLevel = 0;  // the level of m_refusal
};

#endif
