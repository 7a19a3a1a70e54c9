#include "Sv_SharedMemory.h"

#include "Sv_Debug.h"
#include "Sv_Platform.h"

Sv_SharedMemory::Sv_SharedMemory() : m_view(nullptr), m_size(0), m_handle(-1) {}

// The view is left mapped: callers keep using it after Close and after the
// object is gone, for as long as the process runs.
Sv_SharedMemory::~Sv_SharedMemory() { Close(); }

int Sv_SharedMemory::AttachToMemory(const char* name, int size) {
  Close();
  m_view = nullptr;
  m_size = 0;
  void* view = nullptr;
  size_t viewSize = 0;
  int fd = -1;
  int r = Sv_PlatformShmAttach(name, size, &view, &viewSize, &fd);
  if (r == -1) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "AttachToMemory: Error starting shared server memory!\n");
    return 0;
  }
  if (r != 0) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "AttachToMemory: Error getting shared memory view!\n");
    return 0;
  }
  m_view = view;
  m_size = viewSize;
  m_handle = fd;
  return 1;
}

void Sv_SharedMemory::DetachFromMemory() {
  Sv_PlatformShmDetach(m_view, m_size);
  m_view = nullptr;
  m_size = 0;
  Close();
}

void Sv_SharedMemory::Close() {
  Sv_PlatformCloseHandle(m_handle);
  m_handle = -1;
}
