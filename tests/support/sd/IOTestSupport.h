#ifndef ORVANTA_TESTS_SD_IOTESTSUPPORT_H
#define ORVANTA_TESTS_SD_IOTESTSUPPORT_H

// Test objects and file writers shared by the factory, hierarchy and corpus
// tests.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Sd_AlignmentNode.h"
#include "Sd_IOSupport.h"
#include "Sd_Node.h"
#include "Sv_Types.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TestSupport.h"

namespace sd_io_test {

// A stand-in object class for object tags whose real class is not part of
// this build. Its record is one int32 value; a negative value makes the load
// fail after the value was read (a damaged record).
class TestObject : public Sd_Node {
 public:
  // Type id of a stand-in for a tag whose class is not registered (the
  // table knows a type id only from a registered class).
  static constexpr int kStandInType = 999;
  explicit TestObject(int tag, int value = 0) : m_tag(tag), m_value(value) {
    const Sd_IOSupport::ClassEntry* entry = Sd_IOSupport::FindClass(tag);
    SetType(entry && entry->typeId ? entry->typeId : kStandInType);
  }
  int LoadObject(TDR_Manager* manager) override {
    m_parentFrameAtLoad = GetParentFrame();
    TDR_PayloadReader in(manager);
    if (!in.Int32(&m_value) || m_value < 0) return -1;
    return ReadCommonTags(manager);
  }
  int SaveObject(TDR_Manager* manager, int withCommonTags, int) override {
    if (manager->WriteTag(m_tag, 1, 0, 0, 1) != 0) return -1;
    TDR_PayloadWriter(manager).Int32(m_value);
    if (manager->EndTag() != 0) return -1;
    return withCommonTags ? WriteCommonTags(manager) : 0;
  }
  const char* className() const override { return "Test Object"; }
  int Value() const { return m_value; }
  int ParentFrameAtLoad() const { return m_parentFrameAtLoad; }

 private:
  int m_tag;
  int m_value;
  int m_parentFrameAtLoad = -1;
};

template <int Tag>
Sd_Node* MakeTestObject() {
  return new TestObject(Tag);
}

// Registers test classes for the duration of a test.
class TestClasses {
 public:
  TestClasses() = default;
  ~TestClasses() { Sd_IOSupport::ClearTestClasses(); }
  template <int Tag>
  void Add() {
    ASSERT_EQ(Sd_IOSupport::SetTestClass(Tag, MakeTestObject<Tag>), 0);
  }
};

// Writes a TDR file record by record (in the given byte order); Close
// writes the end tag.
class FileWriter {
 public:
  explicit FileWriter(const std::string& path, int byteOrder = 1) {
    m_manager.SetByteOrder(byteOrder);
    m_ok = m_manager.OpenFile(path.c_str(), "wb") == 0 && m_manager.WriteHeader() == 0;
  }
  TDR_Manager* Manager() { return &m_manager; }
  // An object's record with its common tags.
  FileWriter& Object(Sd_Node* node) {
    m_ok = m_ok && node->SaveObject(&m_manager, 1, 0) == 0;
    return *this;
  }
  // A record with the given payload bytes.
  FileWriter& Raw(int tag, const std::string& payload, short version = 1) {
    m_ok = m_ok && m_manager.WriteTag(tag, version, 0, 0, 1) == 0;
    if (!payload.empty()) m_ok = m_ok && TDR_PayloadWriter(&m_manager).Bytes(payload.data(), (int)payload.size());
    m_ok = m_ok && m_manager.EndTag() == 0;
    return *this;
  }
  // A file-pointer record of tag naming target.
  FileWriter& Pointer(int tag, const std::string& target) {
    m_ok = m_ok && m_manager.WriteTag(tag, 1, 0, 1, 1) == 0 && m_manager.WriteFilePointerString(target.c_str()) == 0 &&
           m_manager.EndTag() == 0;
    return *this;
  }
  FileWriter& Int(int tag, int value, short version = 1) {
    return Raw(tag, std::string(reinterpret_cast<const char*>(&value), 4), version);
  }
  bool Close(bool endTag = true) {
    if (endTag) m_ok = m_ok && m_manager.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0;
    return m_manager.CloseFile() == 0 && m_ok;
  }

 private:
  TDR_Manager m_manager;
  bool m_ok = false;
};

// Collects the messages sent while it lives: debug messages (which always go
// to the error stream) through Take, the others through capture.
struct DebugOutput {
  DebugOutput() : capture(SV_LEVEL_DEBUG) { testing::internal::CaptureStderr(); }
  ~DebugOutput() {
    if (!m_taken) testing::internal::GetCapturedStderr();
  }
  std::string Take() {
    m_taken = true;
    return testing::internal::GetCapturedStderr();
  }
  orvanta_test::MessageCapture capture;

 private:
  bool m_taken = false;
};

// The children of a group in chain order.
inline std::vector<Sd_Node*> Children(Sd_Node* group) {
  std::vector<Sd_Node*> out;
  for (Sd_Node* c = group->GetFirstChild(); c && out.size() < 1000; c = c->GetNext()) out.push_back(c);
  return out;
}

// The objects an SD file gives, read into a fresh root whose tree goes
// with this.
struct LoadedFile {
  explicit LoadedFile(const std::string& path) { Sd_IOSupport(root).ReadSDFile(path.c_str()); }
  ~LoadedFile() { Sd_GroupNode::DeleteTree(root); }
  LoadedFile(const LoadedFile&) = delete;
  LoadedFile& operator=(const LoadedFile&) = delete;
  std::vector<Sd_Node*> Kids() const { return Children(root); }
  Sd_AlignmentNode* root = new Sd_AlignmentNode();
};

}  // namespace sd_io_test

#endif
