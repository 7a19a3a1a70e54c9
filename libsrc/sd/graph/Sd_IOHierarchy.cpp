// The scene hierarchy: a start record (SD_HIERARCHY) followed by one entry
// per node in pre-order. An entry is the node record with its common tags
// and, for every node that is not a plain node, the object's own record.
//
// The links stored in the records are the writer's memory addresses and only
// say whether a link existed. The reader rebuilds the tree from the order of
// the entries, from whether each node had a next sibling (node record) and
// from whether each group had children (group record).
#include <new>
#include <vector>

#include "Sd_GroupNode.h"
#include "Sd_IOSupport.h"
#include "Sd_Iterator.h"
#include "Sd_LoadBudget.h"
#include "Sd_Node.h"
#include "Sv_Debug.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

int Sd_IOSupport::WriteHierarchy(TDR_Manager* manager) {
  if (!manager || !m_root) return -1;
  // The start record has an empty payload.
  if (manager->WriteTag(TDR_TAG_SD_HIERARCHY, 1, 0, 0, 1) != 0 || manager->EndTag() != 0) return -1;
  Sd_Iterator it(m_root);
  for (Sd_Node* n = it.GetRoot(); n; n = it.Next()) {
    // The walk would go on into the root's own siblings; they are not part
    // of this tree.
    if (n != m_root && it.Depth() == 0) break;
    if (n->Sd_Node::SaveObject(manager, 1, -1) != 0) return -1;
    if (n->GetType() != 1 && n->SaveObject(manager, 1, -1) != 0) return -1;
  }
  return 0;
}

namespace {

// A group whose entries are being read, and whether that group itself has a
// next sibling (so whether finishing it also finishes its parent).
struct OpenLevel {
  Sd_GroupNode* group;
  int hasNext;
};

void ReportDamage() { Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Reading TDR tag data!"); }

// Whether a record of this tag starts something of the hierarchy: an entry
// (node record), an object (an object tag of the class table) or the end.
bool StartsEntryOrObject(int tag) {
  return tag == TDR_TAG_SD_NODE || tag == TDR_TAG_EOF || tag == TDR_TAG_ERROR || Sd_IOSupport::FindClass(tag);
}

}  // namespace

Sd_Node* Sd_IOSupport::ReadHierarchy(TDR_Manager* manager) {
  if (!manager) return nullptr;

  // Find the start record.
  for (;;) {
    const int tag = manager->ReadTag();
    if (tag == TDR_TAG_SD_HIERARCHY) break;
    if (tag == TDR_TAG_ERROR) {
      ReportDamage();
      manager->CloseFile();
      return nullptr;
    }
    if (tag == TDR_TAG_EOF) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  TDR File did not contains a data hierarchy!");
      manager->CloseFile();
      return nullptr;
    }
    manager->SkipTagData(0);
  }
  TDR_PayloadReader(manager).SkipFormatNumber();

  // Entries whose object record was refused, for the one message that sums
  // them up (unless the factory's own message already reached the user).
  const std::string path = manager->GetPath();
  const Sd_LoadBudget::Load load(path.c_str());
  int refused = 0, unexplained = 0;
  std::string reason;

  Sd_Node entry;  // receives each node record in turn
  Sd_GroupNode* top = nullptr;
  std::vector<OpenLevel> levels;
  bool failed = false;

  int tag = manager->ReadTag();
  while (tag == TDR_TAG_SD_NODE) {
    if (entry.LoadObject(manager) != 0) {
      failed = true;
      break;
    }
    const int hasNext = entry.GetStoredNextFlag();

    // The entry's object: a plain node has no record of its own; any other
    // node's record follows its node record.
    Sd_Node* object = nullptr;
    if (entry.GetType() == 1) {
      object = new (std::nothrow) Sd_Node();
      tag = manager->ReadTag();
    } else {
      int objectTag = manager->ReadTag();
      // The node record is written with the class's own trailing records
      // (WriteCommonTags is virtual: settings, alternate values, ...), which
      // the object reads again after its own record. Every record up to the
      // one that starts an object belongs to the node record.
      while (!StartsEntryOrObject(objectTag)) objectTag = manager->ReadTag();
      if (objectTag == TDR_TAG_SD_NODE) {
        object = new (std::nothrow) Sd_Node();
        tag = objectTag;
      } else if (objectTag == TDR_TAG_ERROR && manager->CanReadOn()) {
        // The object's record alone was refused (a file pointer that cannot
        // be followed, whose file does not fit the load's budget or starts
        // with a damaged header): the entry is dropped like one whose class
        // refused it.
        ++refused;
        int level = 0;
        const char* why = manager->GetLastError(&level);
        if (level > SV_LEVEL_WARNING) {
          ++unexplained;
          if (reason.empty()) reason = *why ? why : "a damaged record";
        }
        tag = manager->ReadTag();
      } else if (objectTag == TDR_TAG_EOF || objectTag == TDR_TAG_ERROR) {
        tag = objectTag;
      } else {
        object = CreateObject(manager, objectTag, nullptr);
        if (!object) {
          ++refused;
          // The reason given is the first one the user was not told.
          if (!RefusalShown(objectTag)) {
            ++unexplained;
            if (reason.empty()) reason = RefusalReason(objectTag);
          }
        }
        tag = manager->ReadTag();
      }
    }
    // Records of the entry that nobody read (those of an object without a
    // class, or settings its class does not know) belong to no other entry.
    while (tag != TDR_TAG_SD_NODE && tag != TDR_TAG_EOF && tag != TDR_TAG_ERROR) tag = manager->ReadTag();

    Sd_GroupNode* group = nullptr;
    int hasChildren = 0;
    if (object) {
      const int ownType = object->GetType();
      const int ownGroup = object->IsGroup();
      object->CopyFrom(&entry);
      group = ownGroup ? dynamic_cast<Sd_GroupNode*>(object) : nullptr;
      if (object->GetType() != ownType || object->IsGroup() != ownGroup || (ownGroup && !group)) {
        // The node record describes another kind of object than the record
        // that follows it: the entry is damaged.
        Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Hierarchy entry does not match its object", entry.GetName());
        delete object;
        object = nullptr;
        group = nullptr;
      } else {
        if (group) hasChildren = group->GetStoredFirstChildFlag();
        object->Detach();
      }
    }

    if (!top) {
      // The first entry is the top of the tree and must be a group.
      if (!group) {
        Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  The hierarchy does not start with a group");
        delete object;
        failed = true;
        break;
      }
      top = group;
      if (hasChildren) levels.push_back(OpenLevel{top, 0});
      continue;
    }

    if (object) {
      // Entries after the top's last child (possible only after dropped
      // entries) go into the top.
      Sd_GroupNode* into = levels.empty() ? top : levels.back().group;
      into->AddChild(object);
      if (object->GetParent() != into) {
        delete object;
        object = nullptr;
        group = nullptr;
      }
    }
    // An entry without an object (no class, failed load) is dropped, but its
    // place in the shape is kept: it counts as a node without children.
    if (group && hasChildren) {
      if (static_cast<int>(levels.size()) >= kMaxHierarchyDepth) {
        Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  The hierarchy is nested too deep");
        failed = true;
        break;
      }
      levels.push_back(OpenLevel{group, hasNext});
    } else if (!hasNext) {
      // The last child of the innermost open group finishes it, and every
      // enclosing group of which the finished one was the last child.
      while (!levels.empty()) {
        const OpenLevel done = levels.back();
        levels.pop_back();
        if (done.hasNext) break;
      }
    }
  }

  if (!failed && tag == TDR_TAG_ERROR) failed = true;
  if (failed) {
    ReportDamage();
    Sd_GroupNode::DeleteTree(top);
    return nullptr;
  }
  if (unexplained > 0) {
    Sv_Debug::Warning("Scene \"%s\": %d object%s could not be read (%s); the others were loaded.", path.c_str(),
                      refused, refused == 1 ? "" : "s", reason.c_str());
  }
  return top;
}
