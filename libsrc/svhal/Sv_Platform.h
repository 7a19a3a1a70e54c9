#ifndef SV_PLATFORM_H
#define SV_PLATFORM_H

#include <cstddef>
#include <cstdio>
#include <string>

// The operating-system services the base library needs, in one place:
// processes, ending the process, named shared memory, files and
// directories, memory, time.
// Everything else in the library reaches the system through these calls.

// Runs "/bin/sh -c command", started with posix_spawn (the process is not
// forked whole). With wait != 0 waits for it and returns its exit code (-1
// when it could not be started or did not exit normally). With wait == 0
// returns 0 once the command has started, in a session of its own; the
// child is detached so that it never lingers as a zombie.
int Sv_PlatformRunProcess(const char* command, int wait);

// Ends the process at once with the code; no destructors, no atexit handlers.
[[noreturn]] void Sv_PlatformExit(int code);

// Attaches an existing named shared-memory object ('/name'), for reading
// and writing when writable != 0, else for reading only (opened and mapped
// read-only, so a block its owner published read-only can be attached).
// size > 0 maps that many bytes and fails when the object is smaller;
// size <= 0 maps the whole object. Returns 0 on success with the view, its
// size and the open descriptor; -1 when the object cannot be opened (errno
// set: EACCES when this access is not allowed), -2 when it is too small or
// cannot be mapped.
int Sv_PlatformShmAttach(const char* name, long size, int writable, void** view, size_t* viewSize, int* fd);
void Sv_PlatformCloseHandle(int fd);
// The size of what a descriptor refers to at this moment; -1 on failure.
long long Sv_PlatformDescriptorSize(int fd);
// Whether what the descriptor refers to has lost its last name (a shared
// block that its writer removed and perhaps made anew under the same name).
bool Sv_PlatformDescriptorUnlinked(int fd);
// Reads or writes bytes at offset through the descriptor, never through a
// mapping: an object that shrank gives a short count, not a signal. The
// number of bytes moved (short at the object's end), -1 on failure.
long long Sv_PlatformReadAt(int fd, void* buffer, size_t bytes, long long offset);
long long Sv_PlatformWriteAt(int fd, const void* buffer, size_t bytes, long long offset);
// Unmaps a view that Sv_PlatformShmAttach mapped; a null view does nothing.
void Sv_PlatformShmDetach(void* view, size_t viewSize);

// Creates a new, empty file for writing in the directory of target, under a
// unique hidden name (".<name>.orvanta-tmp-XXXXXX"), and returns its stream
// ("wb" or "w") with the new file's path in *temporaryPath. When the target
// exists the file gets its owner and group, then its permission bits less
// set-user-id and set-group-id, then its access ACL where it has one; else
// it is this user's, 0666 less the umask.
// Null (errno set) when the file cannot be created, the target exists and
// may not be written, or the target's owner and group cannot be given to
// the new file (another user's file, or a group this user is not a member
// of; the superuser may give any): *ownerRefused, when given, then says so.
// The file carries the writer's mark and is locked while it is written:
// with lock given, *lock receives a handle that holds the lock after the
// stream is closed, released with Sv_PlatformCloseHandle once the file has
// been renamed or removed. A write past the process's file-size limit fails
// (EFBIG) instead of ending the process: SIGXFSZ, where it has its default
// action, is caught by a handler that does nothing from the first call on
// (so that the programs this process starts still get the default action).
FILE* Sv_PlatformCreateTemporary(const char* target, int binary, std::string* temporaryPath, int* lock = nullptr,
                                 bool* ownerRefused = nullptr);
// Takes the writer's mark off a temporary (through a descriptor of it) once
// its data are on the device, just before it is renamed over its target.
void Sv_PlatformUnmarkTemporary(int fd);
// Removes the temporaries of target that earlier writes left behind (a
// writer killed before it could rename or remove its file): only files of
// this user with the temporary's name and the writer's mark. A temporary
// that a living writer still holds locked is kept.
void Sv_PlatformRemoveStaleTemporaries(const char* target);
// The file that a write to path should replace: the file at the end of a
// chain of symbolic links (so that the links survive; the file need not
// exist yet), else path itself. Empty (errno ELOOP) for links that never
// end.
std::string Sv_PlatformWriteTarget(const char* path);
// What path is when it exists and is not a regular file, looked at without
// following a link: "named pipe", "character device", "block device",
// "directory", "socket", "symbolic link" or "special file". Null when path
// is a regular file or does not exist.
const char* Sv_PlatformNonRegularKind(const char* path);
// Pushes the stream's data to the device and closes the stream. 0 only when
// no write on the stream failed and the flush, the sync and the close all
// succeeded (errno EFBIG for a file that reached the file-size limit); the
// stream is closed in every case.
int Sv_PlatformSyncAndClose(FILE* file);
// Renames from to to, replacing to in one step, and makes the rename
// durable. 0 on success, -1 (errno set) when the rename failed, -2 (errno
// set) when the file was renamed but its directory could not be synced, so
// that a crash may still bring back the old file.
int Sv_PlatformReplaceFile(const char* from, const char* to);
// Test hook: the call that syncs a directory (null: fsync).
void Sv_PlatformSetDirectorySyncHook(int (*sync)(int fd));
// Opens path for reading ("rb") only when it is a regular file: a named
// pipe, device, socket or directory is refused without blocking (the check
// is made on the opened descriptor before anything is read). Null (errno
// set; EINVAL for a file that is not regular) otherwise.
FILE* Sv_PlatformOpenRegularFile(const char* path);
// Why a file cannot be opened for reading, as a sentence without its full
// stop: "It is a directory", "It does not exist", "It is not a regular
// file", or the system's text for the error of opening it.
const char* Sv_PlatformWhyNotReadable(const char* path);
// The same, giving the open descriptor (close-on-exec) instead of a stream;
// -1 (errno set as above) otherwise.
int Sv_PlatformOpenRegularDescriptor(const char* path);
// Removes a file; 0 on success.
int Sv_PlatformRemoveFile(const char* path);

// Creates a directory (and no parents); 0 when it exists afterwards.
int Sv_PlatformMakeDirectory(const char* path);

// Memory for a large buffer, released with free() (or
// Sv_PlatformFreeLarge). Blocks of 2 MiB and more are aligned to 2 MiB and
// placed on huge pages only where they pay: where memory that this process
// released a moment ago (Sv_PlatformFreeLarge) can serve them, or the
// kernel has enough free 2 MiB blocks at hand; otherwise on small pages,
// as a plain read's buffer is. Null when the memory cannot be had.
void* Sv_PlatformAllocLarge(size_t bytes);
// The same, for a buffer that the caller fills at once (a grid being read).
void* Sv_PlatformAllocToFill(size_t bytes);
// Releases a block of Sv_PlatformAllocLarge or Sv_PlatformAllocToFill of
// the given size (null does nothing) and notes its memory as ready at hand
// for the next blocks.
void Sv_PlatformFreeLarge(void* block, size_t bytes);

// Sets the heap's policy for the whole process; called once at the start of
// a program, before its first load. Blocks up to 32 MiB come from the heap,
// and freed heap memory is kept up to 64 MiB, so that closing a file and
// opening the next one reuses memory already at hand instead of taking
// fresh pages (and page faults) from the kernel. Left alone, glibc starts
// at 128 KiB for both and raises them only after the process has happened
// to free a large block: loads then cost more or less depending on what
// came before them.
void Sv_PlatformSetHeapPolicy();

// The memory this process may really use, in bytes: the least of the
// machine's physical memory, the memory limit of the control group the
// process runs in, and its RLIMIT_AS and RLIMIT_DATA. The control group is
// the one /proc/self/cgroup names, found below its hierarchy's mount point
// in /proc/self/mountinfo: for cgroup v2 its memory.max, for cgroup v1's
// memory controller its memory.limit_in_bytes, and the same file of every
// group above it up to the mount point, since a parent's limit caps its
// children too. Limits that are not set ("max", RLIM_INFINITY, or the huge
// figure v1 gives for none, which is above physical memory) do not count.
// The control-group limit is read once per process; the resource limits
// at every call. 0 when none of the figures can be told.
long long Sv_PlatformUsableMemory();
// Test hook: the folder that stands for "/" when the control-group files
// are read (/proc/self/cgroup, /proc/self/mountinfo and the files below
// the mount points it lists); null restores "/". The limit read before is
// forgotten.
void Sv_PlatformSetSystemRoot(const char* root);

// Seconds of a monotonic clock.
double Sv_PlatformSeconds();

#endif
