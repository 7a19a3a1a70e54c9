#ifndef SV_PLATFORM_H
#define SV_PLATFORM_H

#include <cstddef>

// The operating-system services the base library needs, in one place:
// processes, ending the process, named shared memory, directories, time.
// Everything else in the library reaches the system through these calls.

// Runs "/bin/sh -c command". With wait != 0 waits for it and returns its exit
// code (-1 when it could not be started or did not exit normally). With
// wait == 0 returns 0 once the command has started; the child is detached so
// that it never lingers as a zombie.
int Sv_PlatformRunProcess(const char* command, int wait);

// Ends the process at once with the code; no destructors, no atexit handlers.
[[noreturn]] void Sv_PlatformExit(int code);

// Attaches an existing named shared-memory object ('/name'), read and write.
// size > 0 maps that many bytes and fails when the object is smaller;
// size <= 0 maps the whole object. Returns 0 on success with the view, its
// size and the open descriptor; -1 when the object cannot be opened, -2 when
// it is too small or cannot be mapped.
int Sv_PlatformShmAttach(const char* name, long size, void** view, size_t* viewSize, int* fd);
void Sv_PlatformCloseHandle(int fd);

// Creates a directory (and no parents); 0 when it exists afterwards.
int Sv_PlatformMakeDirectory(const char* path);

// Memory for a large buffer, released with free(). Blocks of 2 MiB and more
// are aligned to 2 MiB and advised to be backed by huge pages. Null when the
// memory cannot be had.
void* Sv_PlatformAllocLarge(size_t bytes);

// Seconds of a monotonic clock.
double Sv_PlatformSeconds();

#endif
