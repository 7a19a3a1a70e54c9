#ifndef SV_ATOMICFILE_H
#define SV_ATOMICFILE_H

#include <cstdio>
#include <string>

// Writes a file so that it is either wholly replaced or not touched at all.
//
// Open creates a temporary file beside the target (same directory, so the
// final rename never crosses file systems) and hands out its stream. Commit
// checks that every write succeeded, pushes the data to the device, closes
// the stream and renames the temporary file over the target in one step.
// Any failure on the way, a Discard, or an object destroyed without Commit
// removes the temporary file: the old target stays byte for byte as it was
// and nothing is left in its folder.
//
// The temporary file is ".<name>.orvanta-tmp-XXXXXX" with a unique suffix;
// when the target exists it takes the target's owner and group, then its
// permission bits without set-user-id and set-group-id, then its access ACL
// where it has one (else it is this user's, 0666 less the umask). It
// carries the writer's mark until its data are on the device, just before
// the rename, and stays locked until it is renamed or removed, so that Open
// can remove the temporaries of the same target that a killed write left,
// and nothing else.
// A target whose owner and group the new file cannot be given (another
// user's file, or a group this user is not a member of; the superuser may
// give any) is refused with a warning naming it and left as it is: in a
// shared folder it would otherwise pass to this user.
// A write past the process's file-size limit fails like any other failed
// write (the old file is kept, Commit reports it) instead of ending the
// process with SIGXFSZ.
// A target that is a symbolic link is replaced through the link; a link
// that names no file yet gets that file. Only a regular file is replaced: a
// target that is (or whose chain of links ends at) a named pipe, a device, a
// directory or a socket is refused with a warning naming it and its kind,
// and left as it is.
class Sv_AtomicFile {
 public:
  Sv_AtomicFile();
  // Discards a file that was opened and not committed.
  ~Sv_AtomicFile();
  Sv_AtomicFile(const Sv_AtomicFile&) = delete;
  Sv_AtomicFile& operator=(const Sv_AtomicFile&) = delete;

  // Starts writing path: binary 1 gives a "wb" stream, 0 a "w" stream.
  // Null when no path is given, a write is already open, the target exists
  // but is not a regular file, may not be written or cannot keep its owner
  // and group, or the temporary file cannot be created (the target is then
  // untouched). With kept given, a target refused for what it is (its kind,
  // its owner and group) is not reported: *kept says why, as a clause ("its
  // owner and group cannot be kept"), for the caller's own warning; it is
  // empty otherwise.
  FILE* Open(const char* path, int binary = 1, std::string* kept = nullptr);
  // Makes the written data the target's contents. 0 on success; -1 when a
  // write, the flush, the sync, the close or the rename failed, the target
  // is no longer a regular file (or nothing is open), after which the temporary file is gone and the target is as
  // it was. -1 also, with a warning, when the rename was done but the
  // folder could not be synced: the new contents are in place but a crash
  // may still undo them. The stream is closed in every case.
  int Commit();
  // Closes the stream and removes the temporary file; the target keeps its
  // old contents. Does nothing when nothing is open.
  void Discard();

  // The stream of the open write, or null.
  FILE* GetFile() const { return m_file; }
  int IsOpen() const { return m_file ? 1 : 0; }
  // The path given to Open, and the temporary file being written (empty
  // when nothing is open).
  const char* GetPath() const { return m_path.c_str(); }
  const char* GetTemporaryPath() const { return m_temporary.c_str(); }

 private:
  void Reset();

  FILE* m_file;
  std::string m_path;       // as given to Open
  std::string m_target;     // the file the rename replaces
  std::string m_temporary;  // the file being written
  int m_lock;               // holds the temporary's lock until it is renamed or removed
};

#endif
