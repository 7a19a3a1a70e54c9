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
#include "Sd_LoadReport.h"
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

// Appends the objects to the group; one the group does not take is deleted.
void Adopt(Sd_GroupNode* group, const std::vector<Sd_Node*>& objects) {
  for (Sd_Node* object : objects) {
    group->AddChild(object);
    if (object->GetParent() != group) delete object;
  }
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

  // What the load tells the user is counted and worded as for a file read
  // as data.
  const std::string path = manager->GetPath();
  const Sd_LoadBudget::Load load(path.c_str());
  LoadReport report(*this, *manager, path.c_str());
  // The next record's tag. A record refused alone, or damage that ended a
  // followed file, is told of and costs only what it held: reading goes on.
  const auto next = [&] {
    int t = manager->ReadTag();
    while (t == TDR_TAG_ERROR && report.ReadOn()) t = manager->ReadTag();
    return t;
  };
  // The object of the record of tag just read (without a parent), or null.
  const auto make = [&](int t) {
    report.Record();
    Sd_Node* made = CreateObject(manager, t, nullptr);
    if (made) {
      report.Loaded();
    } else {
      report.Refused(t);
    }
    return made;
  };

  Sd_Node entry;  // receives each node record in turn
  Sd_GroupNode* top = nullptr;
  std::vector<OpenLevel> levels;
  bool failed = false;

  int tag = next();
  while (tag == TDR_TAG_SD_NODE) {
    if (entry.LoadObject(manager) != 0) {
      failed = true;
      break;
    }
    const int hasNext = entry.GetStoredNextFlag();

    // The entry's object: a plain node has no record of its own; any other
    // node's record follows its node record.
    Sd_Node* object = nullptr;
    // Further objects of the file that the entry's record points to: they
    // join the entry's group after it, as they join the root when the scene
    // file is read as data.
    std::vector<Sd_Node*> more;
    if (entry.GetType() == 1) {
      object = new (std::nothrow) Sd_Node();
      tag = next();
    } else {
      int objectTag = next();
      // The node record is written with the class's own trailing records
      // (WriteCommonTags is virtual: settings, alternate values, ...), which
      // the object reads again after its own record. Every record up to the
      // one that starts an object belongs to the node record.
      while (!StartsEntryOrObject(objectTag)) objectTag = next();
      if (objectTag == TDR_TAG_SD_NODE) {
        // The object's record is missing (or was refused, a file pointer
        // whose file gave nothing): the entry does not match a plain node
        // and is dropped below.
        object = new (std::nothrow) Sd_Node();
        tag = objectTag;
      } else if (objectTag == TDR_TAG_EOF || objectTag == TDR_TAG_ERROR) {
        tag = objectTag;
      } else {
        const int from = manager->IsInFollowedFile() ? manager->FollowedFiles() : 0;
        object = make(objectTag);
        tag = next();
        while (from && FindClass(tag) && manager->IsInFollowedFile() && manager->FollowedFiles() == from) {
          if (Sd_Node* further = make(tag)) more.push_back(further);
          tag = next();
        }
      }
    }
    // Records of the entry that nobody read (those of an object without a
    // class, or settings its class does not know) belong to no other entry.
    while (tag != TDR_TAG_SD_NODE && tag != TDR_TAG_EOF && tag != TDR_TAG_ERROR) tag = next();

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
        for (Sd_Node* further : more) delete further;
        failed = true;
        break;
      }
      top = group;
      Adopt(top, more);
      if (hasChildren) levels.push_back(OpenLevel{top, 0});
      continue;
    }

    // Entries after the top's last child (possible only after dropped
    // entries) go into the top.
    Sd_GroupNode* into = levels.empty() ? top : levels.back().group;
    if (object) {
      into->AddChild(object);
      if (object->GetParent() != into) {
        delete object;
        object = nullptr;
        group = nullptr;
      }
    }
    Adopt(into, more);
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
  report.Finish();
  return top;
}
