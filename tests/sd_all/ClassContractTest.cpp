// The contract of every class of the factory's table that has a constructor
// and a sample writer (read from the table at start, so a class is covered
// once its registration line names its sample writer): the sample reads back
// in both byte orders and saves to the same bytes; a cut or corrupted record
// costs at most its own object (never the next one, a node, a heap block or
// more memory than the file holds); empty, failed, loaded and damaged
// objects draw, pick and free safely; the fuzz corpus holds every sample.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "AllocationWatch.h"
#include "ContractSupport.h"
#include "DepthPicker.h"
#include "GLTestFixture.h"
#include "Sd_AlignmentNode.h"
#include "Sd_AllClasses.h"
#include "Sd_IOSupport.h"
#include "Sd_Node.h"
#include "Sd_SoundingGrid.h"
#include "Sd_SoundingWorkers.h"
#include "Sv_Debug.h"
#include "TDR_Manager.h"
#include "TDR_Tags.h"
#include "TestSupport.h"

using Entry = Sd_IOSupport::ClassEntry;
using orvanta_test::AllocationWatch;
using orvanta_test::ReadFileBytes;
using orvanta_test::TempDir;
using orvanta_test::WriteFileBytes;

// Failure messages name the class rather than the entry's bytes.
inline void PrintTo(const Entry& e, std::ostream* os) { *os << e.className << " (tag " << e.tag << ")"; }

namespace {

// Bounds of the work: cut lengths or words tried per record and cut points
// per file (beyond that, spread evenly); calls of one progressive pass.
constexpr int kMaxTries = 2048;
constexpr int kMaxPassCalls = 100000;
constexpr size_t kMaxSampleBytes = 8192;
constexpr uint32_t kHostileWords[] = {0x7FFFFFFFu, 0xFFFFFFFFu, 0x80000000u, 0x00010000u};

std::vector<Entry> ContractClasses() {
  // Parameters are made before any test environment runs: register first.
  Sd_RegisterAllClasses();
  int count = 0;
  const Entry* table = Sd_IOSupport::ClassTable(&count);
  std::vector<Entry> classes;
  std::copy_if(table, table + count, std::back_inserter(classes),
               [](const Entry& e) { return e.create && e.writeSample; });
  return classes;
}

std::string ParamName(const testing::TestParamInfo<Entry>& info) {
  std::string name = std::string(info.param.className) + "_" + std::to_string(info.param.tag);
  std::replace_if(name.begin(), name.end(), [](char c) { return !isalnum(static_cast<unsigned char>(c)); }, '_');
  return name;
}

std::string CorpusName(const Entry& e, int order) {
  return "class-" + std::to_string(e.tag) + (order ? ".sd" : "-big-endian.sd");
}

std::string OrderName(int order) { return order ? "little-endian" : "big-endian"; }

// 0 ... n - 1, spread evenly over at most kMaxTries values (the last kept).
std::vector<int> Tries(int n) {
  std::vector<int> out;
  const int count = std::min(n, kMaxTries);
  for (int i = 0; i < count; ++i) out.push_back(static_cast<int>(static_cast<long long>(i) * n / count));
  if (n > 0 && out.back() != n - 1) out.push_back(n - 1);
  return out;
}

// --- TDR file bytes (docs/file-formats.md) ---

uint32_t GetWord(const std::string& b, size_t at, int order) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= uint32_t(static_cast<unsigned char>(b[at + i])) << (8 * (order ? i : 3 - i));
  return v;
}

void SetWord(std::string& b, size_t at, uint32_t v, int order) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * (order ? i : 3 - i)));
}

size_t HeaderEnd(const std::string& b) { return b.find("END_HEADER\n") + 11; }

// A record: where its 32-byte header starts, its tag, payload length and
// byte order (each header gives its own).
struct Record {
  size_t at;
  int tag;
  int length;
  int order;
};

std::vector<Record> Records(const std::string& b) {
  std::vector<Record> out;
  for (size_t at = HeaderEnd(b); at + 32 <= b.size();) {
    const int order = static_cast<unsigned char>(b[at]);
    const Record r = {at, int(GetWord(b, at + 4, order)), int(GetWord(b, at + 8, order)), order};
    if (r.length < 0) break;
    out.push_back(r);
    // A block the format places after the payload (BORE_DATA's colours).
    const int version = b[at + 1] ? int((GetWord(b, at + 12, order) >> (order ? 16 : 0)) & 0xFFFFu) : 0;
    at += 32 + size_t(r.length) + size_t(TDR_Manager::TrailingBytes(r.tag, version));
  }
  return out;
}

// What a class may allocate beyond the file it reads: the sounding classes'
// cell grid is bounded by the memory it takes, not by the file, so a
// damaged coordinate that widens the soundings' box may give a large grid.
size_t BoundBeyondFile(int tag) {
  if (tag != TDR_TAG_SD_SOUNDING && tag != TDR_TAG_SD_HTFSOUNDING) return 0;
  return static_cast<size_t>(Sd_SoundingGrid::kMaxCells) * sizeof(Sd_SoundingCell);
}

// Classes whose objects save nothing by design (SaveObject writes no
// record and succeeds): the viewer keeps no borehole data.
bool SavesNothing(int tag) { return tag == TDR_TAG_SD_BOREHOLE; }

// The file with the record's payload cut to length bytes.
std::string CutRecord(const std::string& b, const Record& r, int length) {
  std::string cut = b.substr(0, r.at + 32 + length) + b.substr(r.at + 32 + r.length);
  SetWord(cut, r.at + 8, static_cast<uint32_t>(length), r.order);
  return cut;
}

// A file of copies samples of the class; its bytes, or "" when a write failed.
std::string WriteSamples(const Entry& e, const std::string& path, int order, int copies) {
  TDR_Manager m;
  bool ok = m.OpenFile(path.c_str(), "wb") == 0;
  m.SetByteOrder(order);
  ok = ok && m.WriteHeader() == 0;
  for (int i = 0; i < copies; ++i) ok = ok && e.writeSample(&m) == 0;
  ok = ok && m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0 && m.CloseFile() == 0;
  return ok ? ReadFileBytes(path) : std::string();
}

// The object saved alone into a file, as a sample is.
std::string Resave(Sd_Node* object, const std::string& path) {
  TDR_Manager m;
  const bool ok = m.OpenFile(path.c_str(), "wb") == 0 && m.WriteHeader() == 0 && object->SaveObject(&m, 1, 0) == 0 &&
                  m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0 && m.CloseFile() == 0;
  return ok ? ReadFileBytes(path) : std::string();
}

std::vector<Sd_Node*> Children(Sd_Node* group) {
  std::vector<Sd_Node*> out;
  for (Sd_Node* c = group->GetFirstChild(); c && out.size() < 1000; c = c->GetNext()) out.push_back(c);
  return out;
}

// A scene root whose tree goes with it.
struct Tree {
  Sd_AlignmentNode* root = new Sd_AlignmentNode();
  ~Tree() { Sd_GroupNode::DeleteTree(root); }
};

// While it lives, messages are hidden, but it listens for one text (when
// given) at its level without allocating, because the allocation watch runs
// meanwhile: through the callback, or on the error stream, where debug
// messages always go. One listener at a time.
class Listener {
 public:
  Listener(const char* text, int level) : m_callback(Sv_Debug::GetCallback()), m_level(Sv_Debug::GetLevel()) {
    s_text = text;
    s_heard = false;
    m_stderr = text && level == SV_LEVEL_DEBUG;
    if (m_stderr) testing::internal::CaptureStderr();
    Sv_Debug::SetCallback(Hear);
    Sv_Debug::SetLevel(text ? level : -1000);
  }
  ~Listener() { Finish(); }
  // Stops listening; whether the text was sent.
  bool Finish() {
    if (m_stderr && testing::internal::GetCapturedStderr().find(s_text) != std::string::npos) s_heard = true;
    m_stderr = false;
    Sv_Debug::SetCallback(m_callback);
    Sv_Debug::SetLevel(m_level);
    return s_heard;
  }

 private:
  static void Hear(int, const char* text) { s_heard = s_heard || (s_text && text && strstr(text, s_text)); }
  static inline const char* s_text = nullptr;
  static inline bool s_heard = false;
  Sv_Debug::Callback m_callback;
  int m_level;
  bool m_stderr;
};

}  // namespace

class ClassContract : public orvanta_test::GLTest, public testing::WithParamInterface<Entry> {
 protected:
  // What one read of a damaged file gave.
  struct Outcome {
    int objects = 0;           // children of the root
    bool firstOfClass = true;  // the first child (if any) has the class's type
    bool nextIntact = false;   // the last child is the second sample, whole
    bool failText = false;     // the entry's fail message was sent
    size_t largest = 0;        // largest allocation of the read
    long held = 0;             // blocks of the read still held once the tree is gone
    long nodes = 0;            // nodes still alive then
  };

  void SetUp() override {
    GLTest::SetUp();
    if (HasFatalFailure()) return;
    // Every object draws in the box -0.5 ... 0.5.
    glMatrixMode(GL_PROJECTION);
    glOrtho(-1.0, 1.0, -1.0, 1.0, -2.0, 2.0);
    glMatrixMode(GL_MODELVIEW);
    {
      // Thousands of small files are written and read: in memory where possible.
      orvanta_test::ScopedEnv tmp("TMPDIR", access("/dev/shm", W_OK) == 0 ? "/dev/shm" : getenv("TMPDIR"));
      m_dir = std::make_unique<TempDir>();
    }
    m_samplePath = m_dir->file(CorpusName(GetParam(), 1));
    m_sample = WriteSamples(GetParam(), m_samplePath, 1, 1);
    ASSERT_FALSE(m_sample.empty()) << "the sample writer failed";
    if (SavesNothing(GetParam().tag)) {
      Tree tree;
      Sd_Node* alone = Sd_IOSupport(tree.root).ReadSDFile(m_samplePath.c_str());
      ASSERT_TRUE(alone) << "the sample does not load";
      for (int a = 0; a < 3; ++a) std::copy(alone->GetBounds(a), alone->GetBounds(a) + 2, m_sampleBounds + 2 * a);
    }
    const Outcome first = Read(TwoSamples(1), false);
    ASSERT_EQ(first.objects, 2) << "two samples in one file do not give two objects";
    ASSERT_TRUE(first.nextIntact) << "the second of two samples, saved again, differs from the sample";
  }

  std::string TwoSamples(int order) { return WriteSamples(GetParam(), m_dir->file("two.sd"), order, 2); }

  // The records of the first object of a TwoSamples file.
  std::vector<Record> FirstObject(const std::string& two) const {
    const size_t end = HeaderEnd(two) + (m_sample.size() - HeaderEnd(m_sample) - 32);
    std::vector<Record> out;
    for (const Record& r : Records(two)) {
      if (r.at < end) out.push_back(r);
    }
    return out;
  }

  // Reads bytes as an SD file into a fresh root (listening for the entry's
  // fail message when asked), looks at what it gave, draws the first object
  // when the second loaded too, and deletes the tree. Blocks still held may
  // be lasting state (a kept message text, a cache) rather than a leak: the
  // same read again must then hold none.
  Outcome Read(const std::string& bytes, bool listen) {
    const std::string path = m_dir->file("read.sd");
    EXPECT_TRUE(WriteFileBytes(path, bytes));
    const Outcome o = ReadFile(path, listen);
    return o.held == 0 ? o : ReadFile(path, listen);
  }

  Outcome ReadFile(const std::string& path, bool listen) {
    const Entry& e = GetParam();
    Outcome o;
    const long live = Sd_Node::LiveCount();
    Listener listener(listen ? e.failText : nullptr, e.failLevel);
    {
      Sd_AlignmentNode* root = new Sd_AlignmentNode();
      // The read runs on this thread alone: the C library keeps what it made
      // for a finished worker thread (its thread-local storage) for the next
      // one, which would count as blocks the reader still holds.
      const int workers = sd_sounding::SetWorkerLimit(1);
      AllocationWatch watch;
      Sd_IOSupport(root).ReadSDFile(path.c_str());
      watch.Stop();
      sd_sounding::SetWorkerLimit(workers);
      const std::vector<Sd_Node*> kids = Children(root);
      o.objects = static_cast<int>(kids.size());
      if (!kids.empty()) {
        o.firstOfClass = kids[0]->GetType() == e.typeId;
        o.nextIntact = kids.back()->GetType() == e.typeId && SavesAsSample(kids.back(), path);
      }
      if (kids.size() == 2) Draw(kids[0], "damaged object that loaded");
      Sd_GroupNode::DeleteTree(root);
      o.largest = watch.Largest();
      o.held = watch.Held();
    }
    o.failText = listener.Finish();
    o.nodes = Sd_Node::LiveCount() - live;
    return o;
  }

  // Whether object, read from source, saves again as the sample. A class
  // that keeps its data in the file it came from saves a file-pointer record
  // naming that file in place of its own records; the records that follow
  // (common tags, settings) must still be the sample's last records.
  bool SavesAsSample(Sd_Node* object, const std::string& source) {
    const std::string saved = Resave(object, m_dir->file("re.sd"));
    if (SavesNothing(GetParam().tag)) {
      // Nothing saved, so the object is compared with the sample read alone.
      const std::vector<Record> records = Records(saved);
      return records.size() == 1 && records[0].tag == TDR_TAG_EOF && SameBounds(object, m_sampleBounds);
    }
    if (saved == m_sample) return true;
    const std::vector<Record> records = Records(saved);
    if (records.empty() || records[0].tag != GetParam().tag || saved[records[0].at + 12] != 1) return false;
    const Record& r = records[0];
    const std::string tail = saved.substr(r.at + 32 + r.length);
    return saved.compare(0, r.at, m_sample, 0, r.at) == 0 && r.length >= 4 &&
           GetWord(saved, r.at + 32, 1) == uint32_t(r.length - 4) && saved.substr(r.at + 36, r.length - 4) == source &&
           tail.size() < m_sample.size() && m_sample.compare(m_sample.size() - tail.size(), tail.size(), tail) == 0;
  }

  // What every read of a damaged file must give; what names the damage.
  void ExpectSafe(const Outcome& o, size_t fileSize, const std::string& what, bool nextLoads) const {
    ASSERT_FALSE(HasFailure()) << what;
    ASSERT_EQ(o.nodes, 0) << what << ": nodes left alive";
    ASSERT_EQ(o.held, 0) << what << ": heap blocks of the read still held after the tree was deleted";
    ASSERT_LE(o.largest, fileSize + AllocationWatch::kFixedAllocations + BoundBeyondFile(GetParam().tag))
        << what << ": allocation beyond the file";
    ASSERT_LE(o.objects, 2) << what;
    ASSERT_TRUE(o.firstOfClass) << what;
    if (nextLoads) {
      ASSERT_TRUE(o.objects >= 1 && o.nextIntact) << what << ": the next object did not load whole";
    }
  }

  // A fresh object of the class that read the first record of path with
  // LoadObject alone (no factory); *result is what LoadObject returned.
  std::unique_ptr<Sd_Node> LoadDirectly(const std::string& path, int* result) {
    Listener quiet(nullptr, 0);
    std::unique_ptr<Sd_Node> object(GetParam().create());
    *result = -2;
    TDR_Manager m;
    if (m.OpenFile(path.c_str(), "rb") == 0 && m.ReadHeader() == 0 && m.ReadTag() == GetParam().tag) {
      *result = object->LoadObject(&m);
    }
    return object;
  }

  // What the viewer asks of an object in the fixture's context: draw it
  // whole and progressively, pick and query its centre, compute its bounds.
  // The matrix stacks stay as they were and GL reports no error.
  void Draw(Sd_Node* node, const char* what) {
    Clear();
    node->Render();
    int calls = 1;
    while (node->StepRender() != 1 && calls < kMaxPassCalls) ++calls;
    EXPECT_LT(calls, kMaxPassCalls) << what << ": the progressive pass does not end";
    DepthPicker picker(kWidth, kHeight);
    SDN_PickIn in = {&picker, kWidth / 2, kHeight / 2, 0, 0};
    for (int mode : {0, 1}) {
      in.mode = mode;
      SDN_PickOut out = {0, 0, 0, -1e20, -1, nullptr, 0, 0};
      node->QueryPoint(&in, &out);
    }
    const double x = 0.5 * (node->GetBounds(0)[0] + node->GetBounds(0)[1]);
    const double y = 0.5 * (node->GetBounds(1)[0] + node->GetBounds(1)[1]);
    unsigned colour = 0;
    node->GeoPickPoint(x, y, &colour);
    node->ValueAt(x, y, 0);
    node->ComputeBounds();
    EXPECT_EQ(ModelViewStackDepth(), 1) << what;
    EXPECT_EQ(ProjectionStackDepth(), 1) << what;
    ExpectNoGLError(what);
  }

  // Draw, FreeData twice, Draw again.
  void DrawAndFree(Sd_Node* node, const char* what) {
    Draw(node, what);
    node->FreeData();
    node->FreeData();
    Draw(node, what);
  }

  static bool SameBounds(Sd_Node* object, const float bounds[6]) {
    for (int a = 0; a < 3; ++a) {
      if (object->GetBounds(a)[0] != bounds[2 * a] || object->GetBounds(a)[1] != bounds[2 * a + 1]) return false;
    }
    return true;
  }

  std::unique_ptr<TempDir> m_dir;
  std::string m_samplePath;
  std::string m_sample;         // one sample, little-endian
  float m_sampleBounds[6] = {};  // of a class that saves nothing: the sample read alone
};

TEST_P(ClassContract, SampleReadsBackInBothByteOrdersAndSavesToTheSameBytes) {
  const Entry& e = GetParam();
  std::unique_ptr<Sd_Node> fresh(e.create());
  ASSERT_TRUE(fresh);
  EXPECT_EQ(fresh->GetType(), e.typeId);
  EXPECT_LT(m_sample.size(), kMaxSampleBytes) << "a sample is small: it seeds the fuzzer";
  const long live = Sd_Node::LiveCount();
  for (int order : {1, 0}) {
    SCOPED_TRACE(OrderName(order));
    const std::string path = m_dir->file(CorpusName(e, order));
    const std::string bytes = WriteSamples(e, path, order, 1);
    // Every header has the byte order; the records end with the end tag.
    const std::vector<Record> records = Records(bytes);
    ASSERT_GE(records.size(), 2u);
    for (const Record& r : records) EXPECT_EQ(r.order, order) << "record " << r.tag;
    EXPECT_EQ(records.front().tag, e.tag);
    EXPECT_EQ(records.back().tag, TDR_TAG_EOF);
    EXPECT_EQ(records.back().at + 32, bytes.size());

    Tree tree;
    Sd_Node* object = Sd_IOSupport(tree.root).ReadSDFile(path.c_str());
    const std::vector<Sd_Node*> kids = Children(tree.root);
    ASSERT_EQ(kids.size(), 1u);
    EXPECT_EQ(object, kids[0]);
    EXPECT_EQ(object->GetType(), e.typeId);
    EXPECT_STREQ(object->className(), fresh->className());
    if (e.keepName) {
      int result = 0;
      EXPECT_STREQ(object->GetName(), LoadDirectly(path, &result)->GetName()) << "the name its record gives";
      EXPECT_EQ(result, 0);
    } else {
      EXPECT_EQ(object->GetName(), CorpusName(e, order));
      EXPECT_EQ(object->GetDescription(), path);
    }
    EXPECT_TRUE(SavesAsSample(object, path)) << "saved again, the object differs from the sample";
  }
  EXPECT_EQ(Sd_Node::LiveCount(), live);
}

TEST_P(ClassContract, CutRecordCostsAtMostItsObject) {
  const Entry& e = GetParam();
  for (int order : {1, 0}) {
    const std::string two = TwoSamples(order);
    int refused = 0;
    for (const Record& r : FirstObject(two)) {
      for (int length : Tries(r.length)) {
        const std::string cut = CutRecord(two, r, length);
        const std::string what =
            OrderName(order) + " record " + std::to_string(r.tag) + " cut to " + std::to_string(length) + " bytes";
        const Outcome o = Read(cut, true);
        ASSERT_NO_FATAL_FAILURE(ExpectSafe(o, cut.size(), what, true));
        if (o.objects == 1) {
          ++refused;
          if (e.failText) {
            ASSERT_TRUE(o.failText) << what << ": refused without \"" << e.failText << "\"";
          }
        }
      }
    }
    EXPECT_GT(refused, 0) << "no cut record made the object fail";
  }
}

TEST_P(ClassContract, CutFileLosesNothingBeforeTheCut) {
  for (int order : {1, 0}) {
    const std::string two = TwoSamples(order);
    for (int n : Tries(static_cast<int>(two.size()))) {
      // Cut within the end tag, both objects are whole.
      const bool whole = size_t(n) >= two.size() - 32;
      const std::string what = OrderName(order) + " file cut at " + std::to_string(n);
      const Outcome o = Read(two.substr(0, n), false);
      ASSERT_NO_FATAL_FAILURE(ExpectSafe(o, n, what, whole));
      if (whole) {
        ASSERT_EQ(o.objects, 2) << what;
      }
    }
  }
}

TEST_P(ClassContract, CorruptWordCostsAtMostItsObject) {
  for (int order : {1, 0}) {
    const std::string two = TwoSamples(order);
    for (const Record& r : FirstObject(two)) {
      for (int word : Tries(r.length / 4)) {
        for (uint32_t value : kHostileWords) {
          std::string bad = two;
          SetWord(bad, r.at + 32 + 4 * size_t(word), value, r.order);
          const std::string what = OrderName(order) + " record " + std::to_string(r.tag) + " word " +
                                   std::to_string(word) + " = " + std::to_string(value);
          ASSERT_NO_FATAL_FAILURE(ExpectSafe(Read(bad, false), bad.size(), what, true));
        }
      }
    }
  }
}

TEST_P(ClassContract, EmptyFailedAndLoadedObjectsDrawPickAndFreeSafely) {
  const Entry& e = GetParam();
  const long live = Sd_Node::LiveCount();
  DrawAndFree(std::unique_ptr<Sd_Node>(e.create()).get(), "fresh object");
  // The first record whose payload, cut to nothing, makes LoadObject fail.
  std::unique_ptr<Sd_Node> failed;
  for (const Record& r : Records(m_sample)) {
    if (r.length == 0) continue;
    ASSERT_TRUE(WriteFileBytes(m_dir->file("cut.sd"), CutRecord(m_sample, r, 0)));
    int result = 0;
    failed = LoadDirectly(m_dir->file("cut.sd"), &result);
    if (result != 0) break;
    failed.reset();
  }
  ASSERT_TRUE(failed) << "no record cut to nothing makes LoadObject fail";
  DrawAndFree(failed.get(), "failed object");
  failed.reset();
  {
    Tree tree;
    Sd_Node* loaded = Sd_IOSupport(tree.root).ReadSDFile(m_samplePath.c_str());
    ASSERT_TRUE(loaded);
    Draw(loaded, "loaded sample");
  }
  EXPECT_EQ(Sd_Node::LiveCount(), live);
}

namespace {

// The tree as a scene file stores it: the hierarchy of root alone.
std::string HierarchyBytes(Sd_Node* root, const std::string& path) {
  TDR_Manager m;
  const bool ok = m.OpenFile(path.c_str(), "wb") == 0 && m.WriteHeader() == 0 &&
                  Sd_IOSupport(root).WriteHierarchy(&m) == 0 && m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0 &&
                  m.CloseFile() == 0;
  return ok ? ReadFileBytes(path) : std::string();
}

}  // namespace

TEST_P(ClassContract, HierarchyReadsBackAsTheSameTreeAndRecords) {
  const Entry& e = GetParam();
  if (SavesNothing(e.tag)) GTEST_SKIP() << "an object that saves nothing leaves no record to rebuild it from";
  const long live = Sd_Node::LiveCount();
  {
    // Two objects of the class under one root, the first followed by a sibling.
    Tree tree;
    Sd_IOSupport reader(tree.root);
    ASSERT_TRUE(reader.ReadSDFile(m_samplePath.c_str()));
    ASSERT_TRUE(reader.ReadSDFile(m_samplePath.c_str()));
    const std::string path = m_dir->file("tree.scene");
    const std::string written = HierarchyBytes(tree.root, path);
    ASSERT_FALSE(written.empty());

    TDR_Manager m;
    ASSERT_TRUE(m.OpenFile(path.c_str(), "rb") == 0 && m.ReadHeader() == 0);
    Sd_Node* top = Sd_IOSupport(nullptr).ReadHierarchy(&m);
    m.CloseFile();
    ASSERT_TRUE(top) << "the hierarchy does not read back";
    const std::vector<Sd_Node*> kids = Children(top);
    const std::string again = HierarchyBytes(top, m_dir->file("again.scene"));
    Sd_GroupNode::DeleteTree(top);
    ASSERT_EQ(kids.size(), 2u) << "objects lost from the tree";
    // Equal files: the same shape (link flags), node records and object records.
    const std::vector<Record> a = Records(written), b = Records(again);
    size_t same = 0;
    while (same < a.size() && same < b.size() && a[same].tag == b[same].tag &&
           written.compare(a[same].at, 32 + a[same].length, again, b[same].at, 32 + b[same].length) == 0) {
      ++same;
    }
    EXPECT_TRUE(written == again) << "read back and written again, the hierarchy differs from record " << same
                                  << (same < a.size() ? " (tag " + std::to_string(a[same].tag) + ")" : "");
  }
  EXPECT_EQ(Sd_Node::LiveCount(), live);
}

TEST_P(ClassContract, CorpusHoldsTheSampleInBothByteOrders) {
  const Entry& e = GetParam();
  if (sd_contract::IsTestClass(e.tag)) GTEST_SKIP() << "a class of a test file has no corpus file";
  const char* out = getenv("ORVANTA_WRITE_CORPUS");
  for (int order : {1, 0}) {
    const std::string name = CorpusName(e, order);
    const std::string bytes = WriteSamples(e, m_dir->file(name), order, 1);
    ASSERT_FALSE(bytes.empty());
    if (out && *out) {
      EXPECT_TRUE(WriteFileBytes(std::string(out) + "/" + name, bytes));
    }
    // The corpus keeps each class's seeds in the folder of its library.
    int found = 0;
    for (const char* wing : {"graph", "objects", "vehicles", "dtm", "survey"}) {
      const std::string path = std::string(ORVANTA_CORPUS_DIR) + "/" + wing + "/" + name;
      if (access(path.c_str(), F_OK) != 0) continue;
      ++found;
      EXPECT_TRUE(ReadFileBytes(path) == bytes)
          << path << " differs from the sample writer's bytes; write it again with ORVANTA_WRITE_CORPUS=<that folder>";
    }
    EXPECT_EQ(found, 1) << name << " must stand in exactly one folder of " << ORVANTA_CORPUS_DIR
                        << " (the one of its library); write it with ORVANTA_WRITE_CORPUS=<that folder>";
  }
}

INSTANTIATE_TEST_SUITE_P(Classes, ClassContract, testing::ValuesIn(ContractClasses()), ParamName);

// The leak checks above rely on the watch following blocks until their free.
TEST(AllocationWatch, FollowsTheBlocksItSawUntilTheyAreFreed) {
  if (!AllocationWatch::Available()) GTEST_SKIP() << "allocations are watched only in sanitizer builds";
  AllocationWatch watch;
  void* kept = malloc(100);
  free(malloc(200));
  watch.Stop();
  void* later = malloc(300);
  EXPECT_EQ(watch.Held(), 1);
  EXPECT_EQ(watch.Largest(), 200u);
  free(kept);
  free(later);
  EXPECT_EQ(watch.Held(), 0);
}
