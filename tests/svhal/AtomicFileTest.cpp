// Files are replaced whole or not at all: a write that fails part-way, is
// discarded or is abandoned leaves the old file byte for byte and nothing
// else in its folder.
#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "Sv_AtomicFile.h"
#include "TestSupport.h"

using orvanta_test::FileSizeLimit;
using orvanta_test::ListDirectory;
using orvanta_test::ReadFileBytes;
using orvanta_test::TempDir;
using orvanta_test::WriteFileBytes;

namespace {

unsigned ModeOf(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<unsigned>(st.st_mode & 07777) : 0u;
}

}  // namespace

TEST(AtomicFile, FailedDiscardedOrAbandonedWritesLeaveTheOldFileAndNoTemporary) {
  TempDir dir;
  const std::string target = dir.file("scene.sd");
  const std::string old = "old contents\n" + std::string(300, 'o');
  ASSERT_TRUE(WriteFileBytes(target, old));
  const std::vector<std::string> before = ListDirectory(dir.path());
  ASSERT_EQ(before, std::vector<std::string>{"scene.sd"});

  {
    // The write fails part-way, as on a full disk: no file may grow past
    // 4 KiB, and 64 KiB are written.
    Sv_AtomicFile out;
    FILE* f = out.Open(target.c_str());
    ASSERT_NE(f, nullptr);
    const std::string temporary = out.GetTemporaryPath();
    EXPECT_EQ(temporary.rfind(dir.file(".scene.sd."), 0), 0u) << temporary;
    EXPECT_EQ(ListDirectory(dir.path()).size(), 2u) << "written beside the target";
    const std::string block(65536, 'n');
    int committed = 0;
    {
      FileSizeLimit limit(4096);
      ASSERT_TRUE(limit.ok());
      EXPECT_LT(fwrite(block.data(), 1, block.size(), f), block.size());
      committed = out.Commit();
    }
    EXPECT_EQ(committed, -1);
    EXPECT_EQ(out.IsOpen(), 0);
    EXPECT_EQ(out.GetFile(), nullptr);
  }
  EXPECT_EQ(ReadFileBytes(target), old);
  EXPECT_EQ(ListDirectory(dir.path()), before);

  {
    Sv_AtomicFile out;
    ASSERT_NE(out.Open(target.c_str(), 0), nullptr);
    EXPECT_EQ(out.Open(target.c_str()), nullptr) << "one write at a time";
    fputs("discarded", out.GetFile());
    out.Discard();
    EXPECT_EQ(out.Commit(), -1) << "nothing left to commit";
    out.Discard();
  }
  {
    Sv_AtomicFile out;
    ASSERT_NE(out.Open(target.c_str()), nullptr);
    fputs("abandoned", out.GetFile());
  }
  EXPECT_EQ(ReadFileBytes(target), old);
  EXPECT_EQ(ListDirectory(dir.path()), before);

  Sv_AtomicFile none;
  EXPECT_EQ(none.Open(dir.file("missing/scene.sd").c_str()), nullptr);
  EXPECT_EQ(none.Open(nullptr), nullptr);
  EXPECT_EQ(none.Open(""), nullptr);
  EXPECT_EQ(none.IsOpen(), 0);
}

TEST(AtomicFile, CommitReplacesTheFileKeepingItsPermissionsAndLinks) {
  TempDir dir;
  const std::string target = dir.file("view.dat");
  ASSERT_TRUE(WriteFileBytes(target, "old"));
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  {
    Sv_AtomicFile out;
    FILE* f = out.Open(target.c_str());
    ASSERT_NE(f, nullptr);
    fputs("new contents", f);
    fflush(f);
    EXPECT_EQ(ReadFileBytes(target), "old") << "untouched until Commit";
    EXPECT_EQ(out.Commit(), 0);
  }
  EXPECT_EQ(ReadFileBytes(target), "new contents");
  EXPECT_EQ(ModeOf(target), 0640u);
  EXPECT_EQ(ListDirectory(dir.path()), std::vector<std::string>{"view.dat"});

  // A read-only file is refused, as a write in place would be (the
  // superuser may write anything, so only others can see the refusal).
  if (geteuid() != 0) {
    ASSERT_EQ(chmod(target.c_str(), 0440), 0);
    Sv_AtomicFile out;
    EXPECT_EQ(out.Open(target.c_str()), nullptr);
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  }

  // A new file gets the usual permissions: 0666 less the umask.
  const mode_t mask = umask(022);
  umask(mask);
  const std::string fresh = dir.file("fresh.dat");
  {
    Sv_AtomicFile out;
    ASSERT_NE(out.Open(fresh.c_str()), nullptr);
    EXPECT_EQ(out.Commit(), 0);
  }
  EXPECT_EQ(ReadFileBytes(fresh), "");
  EXPECT_EQ(ModeOf(fresh), 0666u & ~static_cast<unsigned>(mask));

  // Through a symbolic link the link stays and the file it names changes.
  const std::string link = dir.file("link.dat");
  ASSERT_EQ(symlink("view.dat", link.c_str()), 0);
  {
    Sv_AtomicFile out;
    ASSERT_NE(out.Open(link.c_str()), nullptr);
    fputs("via the link", out.GetFile());
    EXPECT_EQ(out.Commit(), 0);
  }
  struct stat st;
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(ReadFileBytes(target), "via the link");
  EXPECT_EQ(ListDirectory(dir.path()), (std::vector<std::string>{"fresh.dat", "link.dat", "view.dat"}));
}
