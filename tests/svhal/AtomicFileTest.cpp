// Files are replaced whole or not at all: a write that fails part-way, is
// discarded or is abandoned leaves the old file byte for byte and nothing
// else in its folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>

#include <grp.h>
#include <signal.h>
#include <sys/resource.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

#include "Sv_AtomicFile.h"
#include "Sv_Debug.h"
#include "Sv_Platform.h"
#include "TestSupport.h"

using orvanta_test::FileSizeLimit;
using orvanta_test::GetAcl;
using orvanta_test::NamedUserAcl;
using orvanta_test::SetAcl;
using orvanta_test::MessageCapture;
using orvanta_test::ListDirectory;
using orvanta_test::ReadFileBytes;
using orvanta_test::TempDir;
using orvanta_test::WriteFileBytes;

namespace {

unsigned ModeOf(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<unsigned>(st.st_mode & 07777) : 0u;
}

// Writes text to path through an atomic file: Commit's result, or -2 when
// the file does not open.
int WriteWhole(const std::string& path, const char* text) {
  Sv_AtomicFile out;
  if (!out.Open(path.c_str())) return -2;
  fputs(text, out.GetFile());
  return out.Commit();
}

bool IsSymbolicLink(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
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
  ASSERT_EQ(WriteWhole(fresh, ""), 0);
  EXPECT_EQ(ReadFileBytes(fresh), "");
  EXPECT_EQ(ModeOf(fresh), 0666u & ~static_cast<unsigned>(mask));

  // Through a symbolic link the link stays and the file it names changes.
  const std::string link = dir.file("link.dat");
  ASSERT_EQ(symlink("view.dat", link.c_str()), 0);
  ASSERT_EQ(WriteWhole(link, "via the link"), 0);
  EXPECT_TRUE(IsSymbolicLink(link));
  EXPECT_EQ(ReadFileBytes(target), "via the link");
  EXPECT_EQ(ListDirectory(dir.path()), (std::vector<std::string>{"fresh.dat", "link.dat", "view.dat"}));
}

TEST(AtomicFile, DanglingLinksLeftoverTemporariesAndUnsyncedFoldersAtTheEdges) {
  TempDir dir;
  // A link to a file that does not exist yet: the file is made, the link
  // stays.
  ASSERT_EQ(mkdir(dir.file("data").c_str(), 0755), 0);
  const std::string link = dir.file("options.dat");
  ASSERT_EQ(symlink("data/options.dat", link.c_str()), 0);
  ASSERT_EQ(WriteWhole(link, "through a dangling link"), 0);
  EXPECT_TRUE(IsSymbolicLink(link));
  EXPECT_EQ(ReadFileBytes(dir.file("data/options.dat")), "through a dangling link");

  // A temporary that a killed write left goes with the next write of that
  // file; one that a living writer holds locked stays, and so do the
  // user's own files of similar names.
  const std::string target = dir.file("data/options.dat");
  const pid_t killed = fork();
  ASSERT_GE(killed, 0);
  if (killed == 0) {
    Sv_AtomicFile out;
    if (out.Open(target.c_str())) fputs("left by a killed write", out.GetFile());
    _exit(out.IsOpen() && fflush(out.GetFile()) == 0 ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(waitpid(killed, &status, 0), killed);
  ASSERT_EQ(status, 0);
  ASSERT_EQ(ListDirectory(dir.file("data")).size(), 2u);
  for (const char* name : {".options.dat.Ab3xY9", ".options.dat.backup", ".options.dat.orvanta-tmp-Ab3xY9"}) {
    ASSERT_TRUE(WriteFileBytes(dir.file("data/") + name, "the user's"));
  }
  Sv_AtomicFile busy;
  ASSERT_NE(busy.Open(target.c_str()), nullptr);
  ASSERT_EQ(WriteWhole(target, ""), 0);
  EXPECT_EQ(access(busy.GetTemporaryPath(), F_OK), 0);
  busy.Discard();
  EXPECT_EQ(ListDirectory(dir.file("data")), (std::vector<std::string>{".options.dat.Ab3xY9", ".options.dat.backup",
                                                                       ".options.dat.orvanta-tmp-Ab3xY9", "options.dat"}));

  // A folder that cannot be synced is reported: the new contents are in
  // place, but the write does not claim to be safe.
  Sv_PlatformSetDirectorySyncHook([](int) {
    errno = EIO;
    return -1;
  });
  MessageCapture messages(-3);
  Sv_AtomicFile out;
  ASSERT_NE(out.Open(target.c_str()), nullptr);
  fputs("unsynced", out.GetFile());
  EXPECT_EQ(out.Commit(), -1);
  Sv_PlatformSetDirectorySyncHook(nullptr);
  EXPECT_TRUE(messages.Contains("could not be synced")) << messages.All();
  EXPECT_EQ(ReadFileBytes(target), "unsynced");
}

// A pipe, a device or a folder, named directly or through a link, is refused
// at Open and left as it was (a regular file behind a link is written above).
TEST(AtomicFile, OnlyARegularFileBehindALinkIsReplaced) {
  struct Row {
    const char *name, *kind;
    int (*make)(const char* path);
  } const rows[] = {{"pipe", "named pipe", [](const char* p) { return mkfifo(p, 0644); }},
                    {"folder", "directory", [](const char* p) { return mkdir(p, 0755); }},
                    // Left out where making device nodes is not permitted.
                    {"device", "character device", [](const char* p) { return mknod(p, S_IFCHR | 0644, makedev(1, 3)); }}};
  TempDir dir;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.kind);
    const std::string target = dir.file(row.name), link = dir.file(std::string("link-to-") + row.name);
    if (row.make(target.c_str()) != 0 && errno == EPERM) continue;
    struct stat before, after;
    ASSERT_EQ(lstat(target.c_str(), &before), 0) << strerror(errno);
    ASSERT_EQ(symlink(row.name, link.c_str()), 0);
    MessageCapture messages(-3);
    EXPECT_EQ(WriteWhole(link, "new"), -2);
    EXPECT_TRUE(messages.Contains(target) && messages.Contains(row.kind)) << messages.All();
    EXPECT_EQ(WriteWhole(target, "new"), -2);
    EXPECT_TRUE(IsSymbolicLink(link));
    ASSERT_EQ(lstat(target.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "left as it was";
  }
  for (const std::string& name : ListDirectory(dir.path())) EXPECT_NE(name[0], '.') << "no temporary left: " << name;
}

// A replacement keeps the file's owner and group where the writer may give
// them (any as the superuser, a group of its own otherwise), then its mode
// and its access ACL (a named user's entry, the owning group's entry apart
// from the mask), or none where it had none, also in a folder whose default
// ACL a new file takes; elsewhere the file is kept as it is, with a warning
// naming it. Each row writes in a child that has become its user (its own
// group of the same number, and a member of group 4200).
TEST(AtomicFile, AReplacementByAnotherUserKeepsTheOwnerAndGroupOrTheFile) {
  if (geteuid() != 0) GTEST_SKIP() << "only the superuser can act as other users";
  enum Acl { kNone, kOwn, kFolders };
  struct Row {
    unsigned user, owner, group;
    bool replaced;
    Acl acl;
  } const rows[] = {{0, 4101, 4200, true, kOwn},      {4102, 4101, 4200, false, kNone}, {4102, 4102, 4200, true, kOwn},
                    {4102, 4102, 4300, false, kOwn},  {4102, 4102, 4200, true, kNone},
                    {4102, 4102, 4200, true, kFolders}};
  TempDir dir;
  ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
  const std::string target = dir.file("options");
  const bool acls = WriteFileBytes(target, "") && SetAcl(target, NamedUserAcl());
  for (const Row& row : rows) {
    SCOPED_TRACE(&row - rows);
    if (row.acl != kNone && !acls) continue;
    if (row.acl == kFolders) {
      ASSERT_TRUE(SetAcl(dir.path(), NamedUserAcl(true), true));
    }
    unlink(target.c_str());
    ASSERT_TRUE(WriteFileBytes(target, "old"));
    ASSERT_EQ(chown(target.c_str(), row.owner, row.group), 0);
    ASSERT_EQ(chmod(target.c_str(), 0660), 0);
    if (row.acl == kOwn) {
      ASSERT_TRUE(SetAcl(target, NamedUserAcl()));
    } else if (row.acl == kFolders) {
      // A file without an ACL of its own in a folder with a default ACL.
      ASSERT_NE(GetAcl(target), "");
      ASSERT_EQ(removexattr(target.c_str(), "system.posix_acl_access"), 0);
    }
    const pid_t child = fork();
    if (child == 0) {
      // Entered first: the temporary folder above may be closed to others.
      const gid_t groups[] = {row.user, 4200};
      if (chdir(dir.path().c_str()) != 0 || setgroups(2, groups) != 0 || setgid(row.user) != 0 ||
          setuid(row.user) != 0) {
        _exit(9);
      }
      if (WriteWhole("options", "new") == 0) _exit(0);
      const std::string said = Sv_Debug::LastMessage();
      _exit(said.find("options") != std::string::npos && said.find("owner and group") != std::string::npos ? 1 : 8);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == (row.replaced ? 0 : 1)) << status;
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(ReadFileBytes(target), row.replaced ? "new" : "old");
    EXPECT_EQ(std::vector<unsigned>({st.st_uid, st.st_gid, st.st_mode & 07777u}),
              std::vector<unsigned>({row.owner, row.group, 0660u}));
    EXPECT_EQ(GetAcl(target), row.acl == kOwn ? NamedUserAcl() : "");
    EXPECT_EQ(ListDirectory(dir.path()), std::vector<std::string>{"options"});
  }
  if (!acls) GTEST_SKIP() << "the temporary folder's file system keeps no ACLs: their rows were left out";
}

// A write past the file-size limit fails as a write error that names the
// file, and the old file stays, instead of the process ending with SIGXFSZ,
// whether Commit's flush meets the limit or an earlier write that its caller
// did not look at.
// A write killed in its final flush leaves its temporary still marked, so
// the next write removes it.
TEST(AtomicFile, AWritePastTheSizeLimitFailsAndOneKilledInItsFlushIsCleanedUp) {
  TempDir dir;
  const std::string target = dir.file("history");
  ASSERT_TRUE(WriteFileBytes(target, "old"));
  // A child with SIGXFSZ's default action, as a fresh process has it, whose
  // 64 bytes wait in the stream until Commit, past a limit of 16 bytes.
  enum How { kInCommit, kEarlier, kKilledInFlush };
  auto write = [&](How how) {
    const pid_t child = fork();
    if (child == 0) {
      struct rlimit limit, noCore = {0, 0};
      setrlimit(RLIMIT_CORE, &noCore);
      signal(SIGXFSZ, SIG_DFL);
      Sv_AtomicFile out;
      if (getrlimit(RLIMIT_FSIZE, &limit) != 0 || !out.Open(target.c_str())) _exit(9);
      fputs(std::string(64, 'n').c_str(), out.GetFile());
      if (how == kKilledInFlush) signal(SIGXFSZ, SIG_DFL);  // the flush ends the child
      limit.rlim_cur = 16;
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(8);
      if (how == kEarlier) fwrite(std::string(65536, 'n').data(), 1, 65536, out.GetFile());
      if (out.Commit() != -1) _exit(8);
      const std::string said = Sv_Debug::LastMessage();
      _exit(Sv_Debug::LastLevel() == SV_LEVEL_WARNING && said.find("Writing failed") != std::string::npos &&
                    said.find(target) != std::string::npos && said.find(strerror(EFBIG)) != std::string::npos
                ? 0
                : 7);
    }
    int status = -1;
    return child > 0 && waitpid(child, &status, 0) == child ? status : -1;
  };
  for (How how : {kInCommit, kEarlier}) {
    EXPECT_EQ(write(how), 0) << "the wait status of a write past the limit, " << how;
    EXPECT_EQ(ReadFileBytes(target), "old");
    EXPECT_EQ(ListDirectory(dir.path()), std::vector<std::string>{"history"});
  }

  const int killed = write(kKilledInFlush);
  ASSERT_TRUE(WIFSIGNALED(killed) && WTERMSIG(killed) == SIGXFSZ) << killed;
  ASSERT_EQ(WriteWhole(target, "next"), 0);
  EXPECT_EQ(ListDirectory(dir.path()), std::vector<std::string>{"history"});
}
