// The object factory and the readers of SD and other TDR files.
#include "Sd_IOSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "Sd_LoadBudget.h"
#include "Sd_LoadReport.h"
#include "Sd_Node.h"
#include "Sv_Debug.h"
#include "Sv_Platform.h"
#include "Sv_Stdlib.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"


namespace {

// A class's message as a reason to follow another text: without the
// "ERROR:" mark that debug messages start with.
std::string PlainReason(const std::string& message) {
  size_t start = message.compare(0, 6, "ERROR:") == 0 ? 6 : 0;
  start = message.find_first_not_of(' ', start);
  return start == std::string::npos ? std::string() : message.substr(start);
}

// How many objects loaded before damage that ended a file.
std::string LoadedBefore(int objects) {
  if (objects <= 0) return "no object before it was loaded";
  return "the " + std::to_string(objects) +
         (objects == 1 ? " object before it was loaded" : " objects before it were loaded");
}

}  // namespace

Sd_IOSupport::Sd_IOSupport(Sd_Node* root) : m_currentTag(TDR_TAG_ERROR), m_root(root) {}

Sd_IOSupport::~Sd_IOSupport() {}

// --- the factory ---

Sd_Node* Sd_IOSupport::CreateObject(TDR_Manager* manager, int tag, Sd_Node* parent) {
  m_refusal.clear();
  m_refusalLevel = 0;
  if (!manager) return nullptr;
  const ClassEntry* entry = FindClass(tag);
  const Factory create = GetFactory(tag);
  if (!entry || !create) {
    // Nothing of the payload is read; the next ReadTag steps over it.
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  No support for given tag id");
    return nullptr;
  }
  if (entry->announcement) Sv_Debug::Message(SV_LEVEL_DEBUG, entry->announcement);
  // A file that a file pointer named may have a path too long to keep.
  if (!entry->keepName && !PathFits(manager->GetPath())) return nullptr;

  Sd_Node* object = create();
  if (!object) return nullptr;
  if (entry->inheritParentFrame && parent && parent->GetParentFrame()) object->SetParentFrame(1);

  // The file that holds the record names the object; reading the record's
  // trailing tags may already have left a followed file.
  const std::string fileName = manager->GetFileName() ? manager->GetFileName() : "";
  const std::string path = manager->GetPath() ? manager->GetPath() : "";

  // A load that fails leaves the object unusable: it never joins the tree,
  // and gives back what it charged to the file's memory budget. Memory
  // running out while a class reads its record is a refusal of that
  // object, caught here for every class.
  const unsigned long messages = Sv_Debug::MessageCount();
  const long long charged = Sd_LoadBudget::Charged();
  int loaded = -1;
  try {
    loaded = object->LoadObject(manager);
  } catch (const std::bad_alloc&) {
    Sv_Debug::Message(SV_LEVEL_WARNING, "ERROR:  No memory to read the object", fileName.c_str());
  }
  if (loaded != 0) {
    Sd_LoadBudget::ReturnTo(charged);
    // The class's last word on the record, before the table's text; a tag
    // header of the record that cannot be read is the reason, whatever
    // the class said after meeting it.
    if (manager->MetDamagedHeader()) {
      m_refusal = manager->GetLastError(&m_refusalLevel);
    } else if (Sv_Debug::MessageCount() != messages) {
      m_refusal = Sv_Debug::LastMessage();
      m_refusalLevel = Sv_Debug::LastLevel();
    }
    // The table's text comes first. A record cut by the end of the file
    // gets the reader's word on where the file ends after it; any other
    // refusal the class's reason, when it gave one.
    ReportClassFailure(*entry, manager->EndedEarlyAt() < 0 ? m_refusal : std::string());
    delete object;
    return nullptr;
  }

  if (!entry->keepName) {
    object->SetName(fileName.c_str());
    object->SetDescription(path.c_str());
  }
  if (parent) {
    parent->AddChild(object);
    if (object->GetParent() != parent) {
      // A parent that holds no children would leave the object owned by nobody.
      Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  The parent does not take the object", parent->className());
      delete object;
      return nullptr;
    }
  }
  return object;
}

// --- refusals ---

void Sd_IOSupport::ReportClassFailure(const ClassEntry& entry, const std::string& reason) {
  if (!entry.failLevel || !entry.failText) return;
  std::string detail = entry.failDetail ? entry.failDetail : "";
  const std::string why = PlainReason(reason);
  if (!why.empty()) detail += (detail.empty() ? "" : detail.back() == '.' ? " " : ": ") + why;
  Sv_Debug::Message(entry.failLevel, entry.failText, detail.empty() ? nullptr : detail.c_str());
}

// Why the factory made no object of a record with the given tag: the
// table's failure text for the class (when it has one) and the class's own
// words on what was wrong with the record (when it said any). A record the
// class refused without a word is taken for a damaged one.
std::string Sd_IOSupport::RefusalReason(int tag) const {
  char name[TDR_TAG_NAME_SIZE] = "";
  TDR_Manager::TagName(tag, name);
  const ClassEntry* entry = FindClass(tag);
  if (!entry || !GetFactory(tag)) return std::string("no support for records of type ") + name;
  std::string table = entry->failText ? entry->failText : "";
  table.erase(0, table.find_first_not_of(' '));
  if (m_refusal.empty()) return std::string("a damaged ") + name + " record" + (table.empty() ? "" : ": " + table);
  return std::string("the ") + name + " record was refused: " + (table.empty() ? "" : table + ": ") +
         PlainReason(m_refusal);
}

bool Sd_IOSupport::RefusalShown(int tag) const {
  const ClassEntry* entry = FindClass(tag);
  if (!entry || !GetFactory(tag)) return false;
  const bool tableShown = entry->failText && entry->failLevel <= SV_LEVEL_WARNING;
  const bool classShown = !m_refusal.empty() && m_refusalLevel <= SV_LEVEL_WARNING;
  return tableShown || classShown;
}

// --- readers ---

bool Sd_IOSupport::PathFits(const char* path) {
  const size_t length = path ? strlen(path) : 0;
  if (length < static_cast<size_t>(Sd_Node::DESCRIPTION_SIZE)) return true;
  char text[160];
  snprintf(text, sizeof(text), "The file name is too long (%zu bytes, at most %d), the file is not read", length,
           Sd_Node::DESCRIPTION_SIZE - 1);
  Sv_Debug::Message(SV_LEVEL_ERROR, text, path);
  return false;
}

Sd_Node* Sd_IOSupport::ReadSDFile(const char* path) {
  if (path && !PathFits(path)) return nullptr;
  TDR_Manager manager;
  if (!path || manager.OpenFile(path, "rb") != 0) {
    Sv_Debug::Error("Could not open the file \"%s\". %s.", path ? path : "", Sv_PlatformWhyNotReadable(path));
    return nullptr;
  }
  if (manager.ReadHeader() != 0) {
    Sv_Debug::Error("File \"%s\" is not a valid SD file.", path);
    manager.CloseFile();
    return nullptr;
  }
  if (!m_root) {
    // Without a root every object but the last would belong to nobody.
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  No root to read the SD file into", path);
    manager.CloseFile();
    return nullptr;
  }

  const Sd_LoadBudget::Load load(path);
  LoadReport report(*this, manager, path);
  Sd_Node* last = nullptr;
  for (;;) {
    const int tag = manager.ReadTag();
    if (tag == TDR_TAG_EOF) break;
    if (tag == TDR_TAG_ERROR) {
      if (report.ReadOn()) continue;
      // Nothing after a damaged header can be found again.
      report.Ended();
      break;
    }
    report.Record();
    m_currentTag = tag;
    if (Sd_Node* object = CreateObject(&manager, tag, m_root)) {
      last = object;
      report.Loaded();
    } else if (!report.Refused(tag)) {
      break;
    }
    // Records that are not objects (common tags, settings) left over from
    // an object that was refused belong to that object: not counted again.
  }
  manager.CloseFile();
  report.Finish();
  return last;
}

// --- what a load tells the user ---

Sd_IOSupport::LoadReport::LoadReport(Sd_IOSupport& io, TDR_Manager& manager, const char* path)
    : m_io(io), m_manager(manager), m_path(path ? path : "") {}

void Sd_IOSupport::LoadReport::Explain(const std::string& why, int level) {
  if (level <= SV_LEVEL_WARNING) return;
  ++m_unexplained;
  if (m_reason.empty()) m_reason = PlainReason(why);
}

void Sd_IOSupport::LoadReport::Note(const std::string& why, int level) {
  ++m_skipped;
  Explain(why, level);
}

// A damaged header that names an object's tag costs that object: its
// class's text says so, with why. Whether it did.
bool Sd_IOSupport::LoadReport::ClassText(int damagedTag, const std::string& why) {
  const ClassEntry* entry = FindClass(damagedTag);
  if (!entry || !GetFactory(damagedTag) || !entry->failText || entry->failLevel > SV_LEVEL_WARNING) return false;
  ReportClassFailure(*entry, why);
  return true;
}

// A damaged header in a followed file ends that file only; reading goes on
// in the outer file. What the rest of the followed file held is said at
// once, with the objects that file gave: after the class's text when one
// was shown (refused says for which record), else with the header's reason.
bool Sd_IOSupport::LoadReport::LeftFollowed(int refused) {
  std::string file, why;
  int damagedTag = TDR_TAG_ERROR;
  if (!m_manager.TakeLeftFollowedFile(&file, &why, &damagedTag)) return false;
  const bool shown = refused != TDR_TAG_ERROR ? m_io.RefusalShown(refused) : ClassText(damagedTag, why);
  const std::string before = LoadedBefore(m_follow == m_manager.FollowedFiles() ? m_followObjects : 0);
  if (shown) {
    Sv_Debug::Warning("File \"%s\": the rest of the file \"%s\" that a file pointer names could not be read; %s.",
                      m_path.c_str(), file.c_str(), before.c_str());
  } else {
    Sv_Debug::Warning("File \"%s\": the rest of the file \"%s\" that a file pointer names is damaged (%s); %s.",
                      m_path.c_str(), file.c_str(), PlainReason(why).c_str(), before.c_str());
  }
  ++m_skipped;
  return true;
}

void Sd_IOSupport::LoadReport::Record() {
  const int from = m_manager.IsInFollowedFile() ? m_manager.FollowedFiles() : 0;
  if (from != m_follow) {
    m_follow = from;
    m_followObjects = 0;
  }
}

void Sd_IOSupport::LoadReport::Loaded() {
  ++m_objects;
  if (m_follow) ++m_followObjects;
  // The object's reader met the damage at the next object's header.
  LeftFollowed(TDR_TAG_ERROR);
}

bool Sd_IOSupport::LoadReport::Refused(int tag) {
  // The record runs past the end of the file: nothing follows it.
  if (m_manager.EndedEarlyAt() >= 0) return false;
  if (!FindClass(tag)) return true;
  // A damaged header of the record in a followed file costs the rest of
  // that file too.
  if (LeftFollowed(tag)) return true;
  Note(m_io.RefusalReason(tag), m_io.RefusalShown(tag) ? SV_LEVEL_WARNING : SV_LEVEL_DEBUG);
  // Reading stays at a damaged header of the record: nothing follows.
  if (m_manager.MetDamagedHeader()) {
    m_damaged = m_lost = true;
    return false;
  }
  return true;
}

bool Sd_IOSupport::LoadReport::ReadOn() {
  if (LeftFollowed(TDR_TAG_ERROR)) return true;
  if (!m_manager.CanReadOn()) return false;
  int level = 0;
  const char* error = m_manager.GetLastError(&level);
  Note(*error ? error : "a damaged record", level);
  return true;
}

void Sd_IOSupport::LoadReport::Ended() {
  m_damaged = true;
  int level = 0;
  const char* error = m_manager.GetLastError(&level);
  const std::string why = *error ? error : "a damaged record";
  int damagedTag = TDR_TAG_ERROR;
  m_manager.MetDamagedHeader(&damagedTag);
  // Where the file ends is said once, by Finish.
  const bool cut = m_manager.EndedEarlyAt() >= 0;
  if (ClassText(damagedTag, cut ? std::string() : why)) {
    if (!cut) {
      ++m_skipped;
      m_lost = true;
    }
  } else if (!cut) {
    Explain(why, level);
  }
}

void Sd_IOSupport::LoadReport::Finish() {
  const char* path = m_path.c_str();
  const int objects = m_objects, skipped = m_skipped;
  const std::string& reason = m_reason;
  const long long end = m_manager.EndedEarlyAt();
  if (end >= 0 && objects > 0) {
    // What was read before the end stays loaded.
    Sv_Debug::Warning("File \"%s\" ends early at byte %lld after %d object%s loaded.", path, end, objects,
                      objects == 1 ? "" : "s");
    if (m_unexplained > 0) {
      Sv_Debug::Warning("File \"%s\": %d record%s could not be read (%s).", path, skipped, skipped == 1 ? "" : "s",
                        reason.c_str());
    }
  } else if (end >= 0 && (m_unexplained > 0 || skipped == 0)) {
    Sv_Debug::Error("File \"%s\" holds nothing that can be shown: it ends early at byte %lld%s%s.", path, end,
                    reason.empty() ? "" : ", and ", reason.c_str());
  } else if (objects == 0 && (m_unexplained > 0 || skipped == 0)) {
    Sv_Debug::Error("File \"%s\" holds nothing that can be shown: %s.", path,
                    reason.empty() ? "it holds no object records" : reason.c_str());
  } else if (m_lost && m_unexplained == 0) {
    // The class's text said why its object was refused; the objects after
    // it are lost as well.
    Sv_Debug::Warning("File \"%s\": the rest of the file could not be read; %s.", path, LoadedBefore(objects).c_str());
  } else if (objects > 0 && m_unexplained > 0 && skipped == 0) {
    // Only the damage after the last object was not said yet.
    Sv_Debug::Warning("File \"%s\": the rest of the file is damaged (%s); %s.", path, reason.c_str(),
                      LoadedBefore(objects).c_str());
  } else if (objects > 0 && m_unexplained > 0 && m_damaged) {
    Sv_Debug::Warning("File \"%s\": %d record%s could not be read and the rest of the file is damaged (%s); %s.", path,
                      skipped, skipped == 1 ? "" : "s", reason.c_str(), LoadedBefore(objects).c_str());
  } else if (objects > 0 && m_unexplained > 0) {
    Sv_Debug::Warning("File \"%s\": %d record%s could not be read (%s); the others were loaded.", path, skipped,
                      skipped == 1 ? "" : "s", reason.c_str());
  }
}

Sd_Node* Sd_IOSupport::ReadTDRFile(const char* path, int tag) {
  if (path && !PathFits(path)) return nullptr;
  TDR_Manager manager;
  if (!path || manager.OpenFile(path, "rb") != 0) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:Sd_IOSupport::ReadTDRFile  Opening TDR file  -  ", path);
    return nullptr;
  }
  if (manager.ReadHeader() != 0) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR: Sd_IOSupport::ReadTDRFile Reading header of TDR file  -  ", path);
    manager.CloseFile();
    return nullptr;
  }
  const Sd_LoadBudget::Load load(path);
  Sd_Node* object = nullptr;
  for (int t = manager.ReadTag(); t != TDR_TAG_EOF && t != TDR_TAG_ERROR; t = manager.ReadTag()) {
    if (t == tag) {
      object = CreateObject(&manager, t, m_root);
      break;
    }
    manager.SkipTagData(0);
  }
  manager.CloseFile();
  return object;
}

TDR_Manager* Sd_IOSupport::OpenTDRFile(const char* path) {
  std::unique_ptr<TDR_Manager> manager(new (std::nothrow) TDR_Manager());
  if (!manager) return nullptr;
  if (!path || manager->OpenFile(path, "rb") != 0) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Opening tdr file  -  ", path);
    return nullptr;
  }
  if (manager->ReadHeader() != 0) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Reading header from TDR file  -  ", path);
    manager->CloseFile();
    return nullptr;
  }
  return manager.release();
}

char* Sd_IOSupport::ReadStringRecord(TDR_Manager* manager) {
  if (!manager) return nullptr;
  TDR_PayloadReader in(manager);
  in.SkipFormatNumber();
  int length = -1;
  in.Int32(&length);
  if (!in.Ok() || length < 0 || length > in.Left()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Damaged string record", manager->GetFileName());
    return nullptr;
  }
  char* text = static_cast<char*>(malloc(static_cast<size_t>(length) + 1));
  if (!text) return nullptr;
  if (!in.Bytes(text, length)) {
    free(text);
    return nullptr;
  }
  text[length] = '\0';
  return text;
}

void Sd_IOSupport::WritePointerDataBlock() {
  Sv_Debug::Message(SV_LEVEL_ERROR, "WritePointerDataBlock: exiting");
  Sv_UtlExitProcess(-1);
}
