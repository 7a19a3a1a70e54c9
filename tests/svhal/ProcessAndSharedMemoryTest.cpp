#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>

#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <vector>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "AllocationWatch.h"
#include "Sv_Debug.h"
#include "Sv_Platform.h"
#include "Sv_SharedMemory.h"
#include "Sv_Stdio.h"
#include "Sv_Stdlib.h"
#include "Sv_Timer.h"
#include "TestSupport.h"

using orvanta_test::MessageCapture;
using orvanta_test::TempDir;

namespace {

// Counts zombie processes whose parent is this process.
int ZombieChildren() {
  int count = 0;
  DIR* d = opendir("/proc");
  if (!d) return 0;
  const std::string me = std::to_string(getpid());
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
    std::string stat = orvanta_test::ReadFileBytes(std::string("/proc/") + e->d_name + "/stat");
    size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 4 >= stat.size()) continue;
    char state = stat[close + 2];
    std::string rest = stat.substr(close + 4);
    std::string ppid = rest.substr(0, rest.find(' '));
    if (state == 'Z' && ppid == me) ++count;
  }
  closedir(d);
  return count;
}

}  // namespace

TEST(Processes, WaitReturnsExitCodeAndNoWaitLeavesNoZombie) {
  EXPECT_EQ(Sv_UtlRunProcess("exit 3", 1), 3);
  EXPECT_EQ(Sv_UtlRunProcess("true", 1), 0);
  EXPECT_EQ(Sv_UtlRunProcess(nullptr, 1), -1);

  TempDir dir;
  const std::string marker = dir.file("started");
  const std::string cmd = "touch '" + marker + "'";
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Sv_UtlRunProcess(cmd.c_str(), 0), 0);
  for (int i = 0; i < 200 && !Sv_UtlFileExists(marker.c_str()); ++i) usleep(10000);
  EXPECT_EQ(Sv_UtlFileExists(marker.c_str()), 1);
  usleep(50000);
  EXPECT_EQ(ZombieChildren(), 0);
}

// A test's folder goes also when its process ends without running
// destructors (a death test's child, a child that calls _exit or is
// killed), with a set-id file and a folder its owner may not write.
TEST(TempDir, IsRemovedHoweverItsProcessEnds) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // the child is a program of its own
  TempDir dir;
  // The child runs this test anew; it keeps the parent's folder to report in.
  setenv("ORVANTA_TEST_LEFT", dir.file("left").c_str(), 0);
  const std::string report = getenv("ORVANTA_TEST_LEFT");
  auto leave = [&](const std::string& said, int signal) {
    TempDir left;
    orvanta_test::WriteFileBytes(left.file("set-id"), "#!/bin/sh\n");
    chmod(left.file("set-id").c_str(), 06755);
    mkdir(left.file("closed").c_str(), 0700);
    orvanta_test::WriteFileBytes(left.file("closed/file"), "x");
    chmod(left.file("closed").c_str(), 0500);
    orvanta_test::WriteFileBytes(said, left.path());
    if (signal) raise(signal);
    _exit(0);
  };
  EXPECT_EXIT(leave(report + "-exit", 0), ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(leave(report + "-killed", SIGKILL), ::testing::KilledBySignal(SIGKILL), "");
  for (const char* how : {"-exit", "-killed"}) {
    const std::string left = orvanta_test::ReadFileBytes(report + how);
    ASSERT_EQ(left.rfind(dir.path().substr(0, dir.path().rfind('/') + 1), 0), 0u) << how << ": " << left;
    for (int i = 0; i < 1000 && Sv_UtlFileExists(left.c_str()); ++i) usleep(10000);
    EXPECT_EQ(Sv_UtlFileExists(left.c_str()), 0) << how << ": " << left;
  }
  unsetenv("ORVANTA_TEST_LEFT");
  GTEST_FLAG_SET(death_test_style, "fast");
}

TEST(Timer, SecondsAdvance) {
  Sv_Timer t;
  EXPECT_EQ(t.GetTotal(), 0.0);
  double a = t.GetSeconds();
  usleep(20000);
  double b = t.GetSeconds();
  EXPECT_GE(b - a, 0.015);
  EXPECT_LT(b - a, 5.0);
}

class SharedMemory : public testing::Test {
 protected:
  void SetUp() override {
    name = "orvanta_test_" + std::to_string(getpid());
    shm_unlink(("/" + name).c_str());
  }
  void TearDown() override { shm_unlink(("/" + name).c_str()); }
  // Creates the block as another program would.
  void* Create(size_t size) {
    int fd = shm_open(("/" + name).c_str(), O_CREAT | O_RDWR, 0600);
    if (fd < 0) return nullptr;
    if (ftruncate(fd, static_cast<off_t>(size)) != 0) return nullptr;
    void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    return p == MAP_FAILED ? nullptr : p;
  }
  // Creates the block without mapping it.
  bool CreateUnmapped(size_t size) {
    int fd = shm_open(("/" + name).c_str(), O_CREAT | O_RDWR, 0600);
    if (fd < 0) return false;
    const bool ok = ftruncate(fd, static_cast<off_t>(size)) == 0;
    close(fd);
    return ok;
  }
  // The lines of this process's memory map that name the block.
  std::string MappingsOfBlock() const {
    const std::string maps = orvanta_test::ReadFileBytes("/proc/self/maps");
    std::string lines;
    size_t start = 0;
    while (start < maps.size()) {
      size_t end = maps.find('\n', start);
      if (end == std::string::npos) end = maps.size();
      const std::string line = maps.substr(start, end - start);
      if (line.find("/dev/shm/" + name) != std::string::npos) lines += line + "\n";
      start = end + 1;
    }
    return lines;
  }
  std::string name;
};

TEST_F(SharedMemory, BothSidesSeeEachOthersWrites) {
  double* writer = static_cast<double*>(Create(336));
  ASSERT_NE(writer, nullptr);
  writer[0] = 12.5;
  Sv_SharedMemory shm;
  EXPECT_EQ(shm.GetMemory(), nullptr);
  ASSERT_EQ(shm.AttachToMemory(name.c_str(), 336), 1);
  double* view = static_cast<double*>(shm.GetMemory());
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view[0], 12.5);
  view[41] = -7.0;
  EXPECT_EQ(writer[41], -7.0);
  shm.Close();
  writer[1] = 3.0;
  EXPECT_EQ(view[1], 3.0) << "the view outlives the handle";
  munmap(writer, 336);
  munmap(view, 336);
}

TEST_F(SharedMemory, MissingOrTooSmallBlockFailsWithItsMessage) {
  {
    MessageCapture cap(SV_LEVEL_DEBUG);
    testing::internal::CaptureStderr();
    Sv_SharedMemory shm;
    EXPECT_EQ(shm.AttachToMemory(name.c_str(), 336), 0);
    EXPECT_EQ(shm.GetMemory(), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("AttachToMemory: Error starting shared server memory!"),
              std::string::npos);
  }
  void* small = Create(100);
  ASSERT_NE(small, nullptr);
  {
    MessageCapture cap(SV_LEVEL_DEBUG);
    testing::internal::CaptureStderr();
    Sv_SharedMemory shm;
    EXPECT_EQ(shm.AttachToMemory(name.c_str(), 336), 0);
    EXPECT_EQ(shm.GetMemory(), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("AttachToMemory: Error getting shared memory view!"),
              std::string::npos);
    EXPECT_EQ(shm.AttachToMemory(name.c_str(), 0), 1) << "size 0 maps the whole block";
    EXPECT_EQ(shm.GetSize(), 100u);
    munmap(shm.GetMemory(), 100);
  }
  munmap(small, 100);
}

TEST_F(SharedMemory, DetachUnmapsTheViewAndClosesTheHandleEveryCycle) {
  ASSERT_TRUE(CreateUnmapped(3 * 4096));
  const std::string before = MappingsOfBlock();
  const size_t descriptors = orvanta_test::ListDirectory("/proc/self/fd").size();
  Sv_SharedMemory shm;
  shm.DetachFromMemory();  // never attached
  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(shm.AttachToMemory(name.c_str(), 3 * 4096), 1);
    static_cast<unsigned char*>(shm.GetMemory())[i] = static_cast<unsigned char>(i);
    if (i == 0) {
      EXPECT_NE(MappingsOfBlock(), before) << "an attached block is mapped";
    }
    shm.DetachFromMemory();
    ASSERT_EQ(shm.GetMemory(), nullptr);
    ASSERT_EQ(shm.GetSize(), 0u);
  }
  shm.DetachFromMemory();  // a second time
  EXPECT_EQ(MappingsOfBlock(), before);
  EXPECT_EQ(orvanta_test::ListDirectory("/proc/self/fd").size(), descriptors);

  // The writes reached the block.
  ASSERT_EQ(shm.AttachToMemory(name.c_str(), 0), 1);
  EXPECT_EQ(static_cast<unsigned char*>(shm.GetMemory())[99], 99);
  // Attaching again lets go of the earlier view and handle.
  const std::string once = MappingsOfBlock();
  ASSERT_EQ(shm.AttachForReading(name.c_str(), 0), 1);
  const std::string again = MappingsOfBlock();
  EXPECT_EQ(std::count(again.begin(), again.end(), '\n'), std::count(once.begin(), once.end(), '\n'));
  shm.DetachFromMemory();
  EXPECT_EQ(MappingsOfBlock(), before);
  EXPECT_EQ(orvanta_test::ListDirectory("/proc/self/fd").size(), descriptors);
}

// A load freed and the next one of the same shape: under the viewer's heap
// policy the second takes the memory the first gave back, in small blocks
// (lines) and in one large block (a raster) alike, with no fresh pages.
TEST(HeapPolicy, MemoryFreedByOneLoadServesTheNext) {
  // Where allocations are watched, the sanitizer's allocator serves them.
  if (orvanta_test::AllocationWatch::Available()) {
    GTEST_SKIP() << "the sanitizer's allocator does not follow glibc's policy";
  }
  Sv_PlatformSetHeapPolicy();
  constexpr size_t kSmall = 10000, kSmallBytes = 2400, kLargeBytes = 24u << 20;
  auto load = [&](std::vector<char*>* blocks) {
    for (size_t i = 0; i < kSmall; ++i) blocks->push_back(static_cast<char*>(malloc(kSmallBytes)));
    blocks->push_back(static_cast<char*>(malloc(kLargeBytes)));
    for (size_t i = 0; i < kSmall; ++i) memset((*blocks)[i], 1, kSmallBytes);
    memset(blocks->back(), 1, kLargeBytes);
  };
  auto unload = [](std::vector<char*>* blocks) {
    for (char* b : *blocks) free(b);
    blocks->clear();
  };
  auto faults = [] {
    struct rusage u;
    getrusage(RUSAGE_SELF, &u);
    return u.ru_minflt;
  };
  std::vector<char*> blocks;
  blocks.reserve(kSmall + 1);
  load(&blocks);
  unload(&blocks);
  const long before = faults();
  load(&blocks);
  const long taken = faults() - before;
  unload(&blocks);
  // Fresh pages would cost about 12 000 faults.
  EXPECT_LT(taken, 300);
}

// The memory limit of the process's control group, wherever its hierarchy
// is mounted: a v2 group capped by the group above it, a v1 group mounted
// from its own folder under an escaped mount point (beside a looser v2
// limit), and a v1 group whose "unlimited" is the huge figure v1 writes.
TEST(UsableMemory, TheControlGroupsLimitCountsWhereverItIsMounted) {
  const long long physical = static_cast<long long>(sysconf(_SC_PHYS_PAGES)) * sysconf(_SC_PAGESIZE);
  struct Case {
    const char* cgroup;
    const char* mountinfo;
    std::vector<std::pair<const char*, const char*>> files;
    long long bytes;
  };
  const Case cases[] = {
      {"0::/box/job\n",
       "30 23 0:26 / /sys/fs/cgroup rw,nosuid shared:4 - cgroup2 cgroup2 rw\n",
       {{"/sys/fs/cgroup/box/memory.max", "2147483648\n"}, {"/sys/fs/cgroup/box/job/memory.max", "max\n"}},
       2LL << 30},
      {"5:cpu,memory:/docker/abc\n0::/\n",
       "35 31 0:32 /docker/abc /sys/fs/cgroup/mem\\040ory rw - cgroup cgroup rw,cpu,memory\n"
       "41 31 0:38 / /sys/fs/cgroup/unified rw - cgroup2 cgroup2 rw\n",
       {{"/sys/fs/cgroup/mem ory/memory.limit_in_bytes", "1610612736\n"},
        {"/sys/fs/cgroup/unified/memory.max", "3221225472\n"}},
       3LL << 29},
      {"4:memory:/jobs/x\n",
       "35 31 0:32 / /sys/fs/cgroup/memory rw - cgroup cgroup rw,memory\n",
       {{"/sys/fs/cgroup/memory/jobs/x/memory.limit_in_bytes", "9223372036854771712\n"}},
       physical},
  };
  for (const Case& c : cases) {
    orvanta_test::FakeSystemRoot root(c.cgroup, c.mountinfo);
    for (const auto& file : c.files) ASSERT_TRUE(root.Write(file.first, file.second));
    EXPECT_EQ(Sv_PlatformUsableMemory(), std::min(c.bytes, physical)) << c.cgroup;
  }
}
