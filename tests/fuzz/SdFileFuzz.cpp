// Feeds arbitrary bytes to the readers of scene files: as an SD file through
// the object factory (every class of the class table), as a scene hierarchy,
// as a whole scene file (scene record and hierarchy) and to the
// single-record reader. Whatever is read must be safe to walk,
// query and delete. Built as a libFuzzer target (ORVANTA_FUZZ) and, with
// ReplayMain.cpp, as the replay of the corpus in the test suite.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FuzzInput.h"
#include "Sd_GroupNode.h"
#include "Sd_IOSupport.h"
#include "Sd_Iterator.h"
#include "Sd_Node.h"
#include "Sd_Parent.h"
#include "Sd_SceneFile.h"
#include "Sd_SoundingGrid.h"
#include "Sv_Debug.h"
#include "TDR_Manager.h"

#include "Sd_AllClasses.h"

namespace {

void Setup() {
  // Broken inputs are the normal case here: keep the log quiet.
  Sv_Debug::SetLevel(-1000);
  Sd_RegisterAllClasses();
  // A few hostile bytes may ask for a sounding grid of the full bound
  // (hundreds of megabytes); smaller grids keep every input quick and reach
  // the same code.
  Sd_SoundingGrid::SetCellLimit(1 << 12);
}

// What the viewer does with a tree without a GL context: walk it, ask each
// node for its centre and the top for bounds and heights.
void Exercise(Sd_Node* top) {
  if (!top) return;
  Sd_Iterator it(top);
  double centre[3];
  for (Sd_Node* n = it.GetRoot(); n; n = it.Next()) {
    n->GetCentre(centre);
    n->GetName();
  }
  top->ComputeBounds();
  unsigned colour = 0;
  top->GeoPickPoint(0.0, 0.0, &colour);
  top->GetGeoUnitType();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& input = orvanta_fuzz::InputPath(".sd", Setup);
  if (!orvanta_fuzz::WriteInput(input, data, size)) return 0;
  const char* path = input.c_str();

  {
    Sd_Parent* root = new Sd_Parent();
    Sd_IOSupport io(root);
    io.ReadSDFile(path);
    Exercise(root);
    Sd_GroupNode::DeleteTree(root);
  }
  {
    TDR_Manager* manager = Sd_IOSupport::OpenTDRFile(path);
    if (manager) {
      Sd_Node* top = Sd_IOSupport(nullptr).ReadHierarchy(manager);
      Exercise(top);
      Sd_GroupNode::DeleteTree(top);
      delete manager;
    }
  }
  {
    Sd_SceneSettings settings;
    Sd_Node* top = Sd_SceneFile::Read(path, &settings);
    Exercise(top);
    Sd_GroupNode::DeleteTree(top);
  }
  {
    int count = 0;
    const Sd_IOSupport::ClassEntry* table = Sd_IOSupport::ClassTable(&count);
    const int tag = table[size % static_cast<size_t>(count)].tag;
    Sd_Node* object = Sd_IOSupport(nullptr).ReadTDRFile(path, tag);
    Exercise(object);
    Sd_GroupNode::DeleteTree(object);
  }
  return 0;
}
