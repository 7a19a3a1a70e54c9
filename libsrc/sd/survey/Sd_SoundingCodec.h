#ifndef SD_SOUNDINGCODEC_H
#define SD_SOUNDINGCODEC_H

// Conversion between the stored form of the sounding records (packed
// fields in the record's byte order, docs/file-formats.md) and their memory
// form (Sd_SoundingRecords.h), a block of records at a time.
//
// Loading tens of millions of soundings must cost little more than reading
// their bytes, so records are never read a field at a time: a block of
// stored records is read with one call into a buffer that stays in the
// processor's cache, and decoded from there straight into the record array.
// The stored bytes never pass through main memory a second time, and no
// buffer larger than one block is needed.

#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "Sd_SoundingRecords.h"
#include "Sd_SoundingWorkers.h"
#include "Sv_Platform.h"
#include "Sv_Stdio.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"

namespace sd_sounding {

// --- fields of the stored form ---

template <bool Swap, class T>
inline T Get(const unsigned char* p) {
  static_assert(sizeof(T) == 4 || sizeof(T) == 8, "stored fields are 4 or 8 bytes");
  T v;
  if constexpr (sizeof(T) == 4) {
    uint32_t u;
    memcpy(&u, p, 4);
    if constexpr (Swap) u = __builtin_bswap32(u);
    memcpy(&v, &u, 4);
  } else {
    uint64_t u;
    memcpy(&u, p, 8);
    if constexpr (Swap) u = __builtin_bswap64(u);
    memcpy(&v, &u, 8);
  }
  return v;
}

template <bool Swap, class T>
inline void Put(unsigned char* p, T v) {
  static_assert(sizeof(T) == 4 || sizeof(T) == 8, "stored fields are 4 or 8 bytes");
  if constexpr (sizeof(T) == 4) {
    uint32_t u;
    memcpy(&u, &v, 4);
    if constexpr (Swap) u = __builtin_bswap32(u);
    memcpy(p, &u, 4);
  } else {
    uint64_t u;
    memcpy(&u, &v, 8);
    if constexpr (Swap) u = __builtin_bswap64(u);
    memcpy(p, &u, 8);
  }
}

// --- one codec per record kind: the stored size, and the conversions ---
// Decode gives the record as it is held after loading (depths negated and
// z set where the format says so; the grid fields are left to the caller);
// Encode is its inverse.

struct HTFSoundingCodec {
  using Record = HTFSndRecord;
  static constexpr int kStoredSize = HTF_STORED_SOUNDING_SIZE;

  template <bool S>
  static void Decode(const unsigned char* p, Record* r) {
    r->id = Get<S, int>(p);
    r->lineName = Get<S, int>(p + 4);
    r->fixNumber = Get<S, int>(p + 8);
    r->date = Get<S, int>(p + 12);
    r->lonStart = Get<S, double>(p + 16);
    r->lat = Get<S, double>(p + 24);
    r->x = Get<S, double>(p + 32);
    r->y = Get<S, double>(p + 40);
    r->time = Get<S, int>(p + 48);
    r->depth = Get<S, float>(p + 52);
    r->field10 = Get<S, int>(p + 56);
    r->field11 = Get<S, int>(p + 60);
    r->tpePosition = Get<S, float>(p + 64);
    r->tpeDepth = Get<S, float>(p + 68);
    r->field14 = Get<S, float>(p + 72);
    r->dwCorrection = Get<S, float>(p + 76);
    r->vbCorrection = Get<S, float>(p + 80);
    r->field17 = Get<S, unsigned int>(p + 84);
    r->flags = p[88];
    r->z = -static_cast<double>(r->depth);
  }

  template <bool S>
  static void Encode(const Record& r, unsigned char* p) {
    Put<S>(p, r.id);
    Put<S>(p + 4, r.lineName);
    Put<S>(p + 8, r.fixNumber);
    Put<S>(p + 12, r.date);
    Put<S>(p + 16, r.lonStart);
    Put<S>(p + 24, r.lat);
    Put<S>(p + 32, r.x);
    Put<S>(p + 40, r.y);
    Put<S>(p + 48, r.time);
    Put<S>(p + 52, r.depth);
    Put<S>(p + 56, r.field10);
    Put<S>(p + 60, r.field11);
    Put<S>(p + 64, r.tpePosition);
    Put<S>(p + 68, r.tpeDepth);
    Put<S>(p + 72, r.field14);
    Put<S>(p + 76, r.dwCorrection);
    Put<S>(p + 80, r.vbCorrection);
    Put<S>(p + 84, r.field17);
    p[88] = r.flags;
  }
};

struct FsdSoundingCodec {
  using Record = FsdSndRecord;
  static constexpr int kStoredSize = FSD_STORED_SOUNDING_SIZE;

  template <bool S>
  static void Decode(const unsigned char* p, Record* r) {
    r->frameIdx = Get<S, int>(p);
    r->id = Get<S, int>(p + 4);
    r->frameHeadID = Get<S, int>(p + 8);
    r->primaryFrameID = Get<S, int>(p + 12);
    r->lonStart = Get<S, double>(p + 16);
    r->lat = Get<S, double>(p + 24);
    r->x = Get<S, double>(p + 32);
    r->y = Get<S, double>(p + 40);
    r->time = Get<S, int>(p + 48);
    r->distance = Get<S, int>(p + 52);
    r->depth = -Get<S, float>(p + 56);
    r->sndCount = Get<S, int>(p + 60);
    memcpy(r->primaryConf, p + 64, 4);
    memcpy(r->secondConf, p + 68, 4);
    r->flags = p[72];
    r->nbaDepth = -Get<S, float>(p + 73);
    r->z = (r->flags & FSD_NBA_FLAG) ? r->nbaDepth : r->depth;
  }

  template <bool S>
  static void Encode(const Record& r, unsigned char* p) {
    Put<S>(p, r.frameIdx);
    Put<S>(p + 4, r.id);
    Put<S>(p + 8, r.frameHeadID);
    Put<S>(p + 12, r.primaryFrameID);
    Put<S>(p + 16, r.lonStart);
    Put<S>(p + 24, r.lat);
    Put<S>(p + 32, r.x);
    Put<S>(p + 40, r.y);
    Put<S>(p + 48, r.time);
    Put<S>(p + 52, r.distance);
    Put<S>(p + 56, -r.depth);
    Put<S>(p + 60, r.sndCount);
    memcpy(p + 64, r.primaryConf, 4);
    memcpy(p + 68, r.secondConf, 4);
    p[72] = r.flags;
    Put<S>(p + 73, -r.nbaDepth);
  }
};

struct FsdFrameCodec {
  using Record = FsdFrameRecord;
  static constexpr int kStoredSize = FSD_STORED_FRAME_SIZE;

  template <bool S>
  static void Decode(const unsigned char* p, Record* r) {
    r->runIdx = Get<S, int>(p);
    r->id = Get<S, int>(p + 4);
    r->time = Get<S, int>(p + 8);
    for (int k = 0; k < 3; ++k) r->conf[k] = Get<S, int>(p + 12 + 4 * k);
    r->depthCorr = Get<S, float>(p + 24);
    r->method = Get<S, int>(p + 28);
    r->pointCount = Get<S, int>(p + 32);
  }

  template <bool S>
  static void Encode(const Record& r, unsigned char* p) {
    Put<S>(p, r.runIdx);
    Put<S>(p + 4, r.id);
    Put<S>(p + 8, r.time);
    for (int k = 0; k < 3; ++k) Put<S>(p + 12 + 4 * k, r.conf[k]);
    Put<S>(p + 24, r.depthCorr);
    Put<S>(p + 28, r.method);
    Put<S>(p + 32, r.pointCount);
  }
};

struct FsdRunCodec {
  using Record = FsdRunRecord;
  static constexpr int kStoredSize = FSD_STORED_RUN_SIZE;

  template <bool S>
  static void Decode(const unsigned char* p, Record* r) {
    int* ints[] = {&r->id,       &r->day,      &r->year,  &r->status,  &r->statusType, &r->offset,
                   &r->distance, &r->limit,    &r->suf_con, &r->pos_con, &r->count};
    for (int k = 0; k < 11; ++k) *ints[k] = Get<S, int>(p + 4 * k);
    double* reals[] = {&r->lonStart, &r->latStart, &r->xStart, &r->yStart,
                       &r->lonEnd,   &r->latEnd,   &r->xEnd,   &r->yEnd};
    for (int k = 0; k < 8; ++k) *reals[k] = Get<S, double>(p + 44 + 8 * k);
  }

  template <bool S>
  static void Encode(const Record& r, unsigned char* p) {
    const int ints[] = {r.id, r.day, r.year, r.status, r.statusType, r.offset,
                        r.distance, r.limit, r.suf_con, r.pos_con, r.count};
    for (int k = 0; k < 11; ++k) Put<S>(p + 4 * k, ints[k]);
    const double reals[] = {r.lonStart, r.latStart, r.xStart, r.yStart, r.lonEnd, r.latEnd, r.xEnd, r.yEnd};
    for (int k = 0; k < 8; ++k) Put<S>(p + 44 + 8 * k, reals[k]);
  }
};

// Memory for count records (count >= 1), released with free(); large
// arrays go on huge pages where the platform finds them worth it. Null when
// out of memory.
template <class T>
T* AllocRecords(int count) {
  return static_cast<T*>(Sv_PlatformAllocLarge(static_cast<size_t>(count) * sizeof(T)));
}

// Bytes of stored records read and decoded at a time: large enough that
// the reader copies them straight from the file (past the stream's buffer),
// small enough that they are still in the processor's cache when decoded.
constexpr int kBlockBytes = 1 << 20;

template <class Codec, bool Swap, class Finish>
void DecodeBlock(const unsigned char* stored, int count, typename Codec::Record* out, Finish& finish) {
  for (int i = 0; i < count; ++i) {
    Codec::template Decode<Swap>(stored + static_cast<size_t>(i) * Codec::kStoredSize, &out[i]);
    finish(out[i]);
  }
}

// Reads count stored records from the payload into out (room for count
// records), converting each and handing it to finish (a callable taking
// Record&). The caller has checked that the payload holds them. false when
// a read fails (out is then partly filled) or there is no memory for the
// block buffer.
template <class Codec, class Finish>
bool ReadRecords(TDR_PayloadReader& in, typename Codec::Record* out, int count, Finish&& finish) {
  if (count <= 0) return in.Ok();
  constexpr int kPerBlock = kBlockBytes / Codec::kStoredSize;
  const int perBlock = count < kPerBlock ? count : kPerBlock;
  std::unique_ptr<unsigned char, decltype(&free)> block(
      static_cast<unsigned char*>(malloc(static_cast<size_t>(perBlock) * Codec::kStoredSize)), free);
  if (!block) return false;
  const bool swap = Sv_UtlNeedsSwap(in.Manager()->GetByteOrder()) != 0;
  for (int first = 0; first < count; first += perBlock) {
    const int n = count - first < perBlock ? count - first : perBlock;
    if (!in.Bytes(block.get(), n * Codec::kStoredSize)) return false;
    if (swap) {
      DecodeBlock<Codec, true>(block.get(), n, out + first, finish);
    } else {
      DecodeBlock<Codec, false>(block.get(), n, out + first, finish);
    }
  }
  return true;
}

// Bytes of stored records that a worker reads and decodes at a time: the
// workers' blocks together stay within the processors' caches.
constexpr int kWorkerBlockBytes = 1 << 18;

// Reads bytes at offset of a file descriptor, all of them (a short read
// is continued); false when the file ends first or a read fails.
inline bool ReadAt(int fd, unsigned char* to, size_t bytes, off_t offset) {
  while (bytes > 0) {
    const ssize_t got = pread(fd, to, bytes, offset);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    to += got;
    bytes -= static_cast<size_t>(got);
    offset += got;
  }
  return true;
}

// Reads count stored records as ReadRecords does, with several workers on
// a large payload whose stream has a file descriptor (a file read at any
// position): worker w reads share w of the stored records straight from
// the file in blocks and decodes them into out, handing each record to
// (*finish)[w], a copy of (*finish)[0]; the stream is then set past the
// records. *finish holds one callable on entry and one per worker used on
// return, in share order, for the caller to combine. Every page of out is
// first touched by the worker that fills it. false as for ReadRecords
// (then the payload reader fails too).
template <class Codec, class Finish>
bool ReadRecordsShared(TDR_PayloadReader& in, typename Codec::Record* out, int count, std::vector<Finish>* finish) {
  finish->resize(1);
  if (count <= 0) return in.Ok();
  constexpr int kSize = Codec::kStoredSize;
  const long long bytes = static_cast<long long>(count) * kSize;
  if (!in.Ok() || bytes > in.Left()) {
    in.Fail();
    return false;
  }
  const int workers = WorkerCount(static_cast<size_t>(count));
  FILE* file = in.Manager()->GetFilePtr();
  const int fd = workers > 1 && file ? fileno(file) : -1;
  const off_t start = fd >= 0 ? ftello(file) : -1;
  if (start < 0) return ReadRecords<Codec>(in, out, count, (*finish)[0]);
  const Finish first = (*finish)[0];
  finish->assign(static_cast<size_t>(workers), first);
  const bool swap = Sv_UtlNeedsSwap(in.Manager()->GetByteOrder()) != 0;
  std::atomic<bool> failed{false};
  const bool ran = RunShares(static_cast<size_t>(count), workers, [&](int w, size_t begin, size_t end) {
    constexpr size_t kPerBlock = kWorkerBlockBytes / kSize;
    std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[kPerBlock * kSize]);
    if (!block) {
      failed = true;
      return;
    }
    Finish& done = (*finish)[static_cast<size_t>(w)];
    for (size_t at = begin; at < end && !failed.load(std::memory_order_relaxed); at += kPerBlock) {
      const size_t n = end - at < kPerBlock ? end - at : kPerBlock;
      if (!ReadAt(fd, block.get(), n * kSize, start + static_cast<off_t>(at * kSize))) {
        failed = true;
        return;
      }
      if (swap) {
        DecodeBlock<Codec, true>(block.get(), static_cast<int>(n), out + at, done);
      } else {
        DecodeBlock<Codec, false>(block.get(), static_cast<int>(n), out + at, done);
      }
    }
  });
  if (!ran) failed = true;
  // The stream goes on after the records (its buffer is dropped).
  if (fseeko(file, start + static_cast<off_t>(bytes), SEEK_SET) != 0) failed = true;
  if (failed) in.Fail();
  return !failed;
}

// count records (at least 1) read from the payload into a new array
// (released with free()), each handed to finish before it is stored; null
// when out of memory or when a read fails.
template <class Codec, class Finish>
typename Codec::Record* ReadNewRecords(TDR_PayloadReader& in, int count, Finish finish) {
  using Record = typename Codec::Record;
  if (count <= 0) return nullptr;
  Record* records = AllocRecords<Record>(count);
  if (records && !ReadRecords<Codec>(in, records, count, finish)) {
    free(records);
    records = nullptr;
  }
  return records;
}

// Writes count records in their stored form, in the manager's byte order.
template <class Codec>
bool WriteRecords(TDR_PayloadWriter& out, int byteOrder, const typename Codec::Record* records, int count) {
  if (count <= 0) return out.Ok();
  constexpr int kPerBlock = kBlockBytes / Codec::kStoredSize;
  const int perBlock = count < kPerBlock ? count : kPerBlock;
  std::vector<unsigned char> block(static_cast<size_t>(perBlock) * Codec::kStoredSize);
  const bool swap = Sv_UtlNeedsSwap(byteOrder) != 0;
  for (int first = 0; first < count && out.Ok(); first += perBlock) {
    const int n = count - first < perBlock ? count - first : perBlock;
    for (int i = 0; i < n; ++i) {
      unsigned char* p = block.data() + static_cast<size_t>(i) * Codec::kStoredSize;
      if (swap) {
        Codec::template Encode<true>(records[first + i], p);
      } else {
        Codec::template Encode<false>(records[first + i], p);
      }
    }
    out.Bytes(block.data(), n * Codec::kStoredSize);
  }
  return out.Ok();
}

}  // namespace sd_sounding

#endif
