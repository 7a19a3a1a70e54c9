// A stand-in for the programs that publish data in named shared memory (a
// vehicle's pose, a real-time terrain grid): orvanta_block_writer <name>
// [bytes] creates the block '/<name>' (336 bytes unless given; it must not
// exist yet), filled with zeros, says "ready" and then follows one command
// per line on its input, answering each with a line that starts with "ok"
// or "error":
//
//   put type offset v1 v2 ...   values of type u16, i16, i32, u32 or f32 at
//                               byte offset, offset + size, ... (native order)
//
// and, for the pose block of a vehicle:
//   pose x y z mode          position, no turn, coordinate mode, scales 1,
//                            no offset
//   set i v1 v2 ...          doubles i, i + 1, ... of the block
//   get i n                  "ok" and doubles i ... i + n - 1
//   name text                the history name at byte 184 (rest of the line)
//   fillname c               all 152 name bytes c, no terminator
//   quit
//
// At "quit" or the end of its input (its test is gone) it removes the block.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

namespace {

const int kNameOffset = 184, kNameBytes = 152;

struct Block {
  unsigned char* bytes = nullptr;
  size_t size = 0;
  bool Fits(size_t offset, size_t n) const { return offset <= size && n <= size - offset; }
  void Put(int index, double v) { memcpy(bytes + 8 * index, &v, 8); }
};

// Stores v at offset as type; false for an unknown type.
bool PutTyped(unsigned char* at, const std::string& type, double v) {
  if (type == "u16") {
    const uint16_t x = static_cast<uint16_t>(v);
    memcpy(at, &x, 2);
  } else if (type == "i16") {
    const int16_t x = static_cast<int16_t>(v);
    memcpy(at, &x, 2);
  } else if (type == "i32") {
    const int32_t x = static_cast<int32_t>(v);
    memcpy(at, &x, 4);
  } else if (type == "u32") {
    const uint32_t x = static_cast<uint32_t>(v);
    memcpy(at, &x, 4);
  } else if (type == "f32") {
    const float x = static_cast<float>(v);
    memcpy(at, &x, 4);
  } else {
    return false;
  }
  return true;
}

std::string Command(Block& block, const std::string& line) {
  std::istringstream in(line);
  std::string word;
  in >> word;
  if (word == "put") {
    std::string type;
    long long offset = -1;
    if (!(in >> type >> offset) || offset < 0) return "error";
    const size_t size = type == "u16" || type == "i16" ? 2 : 4;
    size_t at = static_cast<size_t>(offset);
    int count = 0;
    for (std::string text; in >> text; at += size, ++count) {
      char* end = nullptr;
      const double v = strtod(text.c_str(), &end);
      if (*end != '\0' || !block.Fits(at, size) || !PutTyped(block.bytes + at, type, v)) return "error";
    }
    return count > 0 ? "ok" : "error";
  }
  if (word == "pose") {
    double x, y, z, mode;
    if (!(in >> x >> y >> z >> mode) || !block.Fits(0, 15 * 8)) return "error";
    const double pose[15] = {x, y, z, 0, 0, 0, mode, 0, 1, 1, 1, 1, 0, 0, 0};
    for (int i = 0; i < 15; ++i) block.Put(i, pose[i]);
    return "ok";
  }
  if (word == "set") {
    int index = -1;
    if (!(in >> index) || index < 0) return "error";
    // strtod reads "nan" and "inf" too.
    int i = index;
    for (std::string text; in >> text; ++i) {
      char* end = nullptr;
      const double v = strtod(text.c_str(), &end);
      if (*end != '\0' || !block.Fits(8 * size_t(i), 8)) return "error";
      block.Put(i, v);
    }
    return i > index ? "ok" : "error";
  }
  if (word == "get") {
    int index = -1, n = -1;
    if (!(in >> index >> n) || index < 0 || n < 0 || !block.Fits(8 * size_t(index), 8 * size_t(n))) return "error";
    std::string out = "ok";
    char text[40];
    for (int i = index; i < index + n; ++i) {
      double v;
      memcpy(&v, block.bytes + 8 * i, 8);
      snprintf(text, sizeof(text), " %.17g", v);
      out += text;
    }
    return out;
  }
  if (word == "name" || word == "fillname") {
    if (!block.Fits(kNameOffset, kNameBytes)) return "error";
    std::string rest;
    std::getline(in >> std::ws, rest);
    unsigned char* name = block.bytes + kNameOffset;
    if (word == "name") {
      memset(name, 0, kNameBytes);
      memcpy(name, rest.data(), rest.size() < size_t(kNameBytes) ? rest.size() : size_t(kNameBytes - 1));
    } else {
      memset(name, rest.empty() ? 'x' : rest[0], kNameBytes);
    }
    return "ok";
  }
  return "error";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cout << "error usage: orvanta_block_writer name [bytes]" << std::endl;
    return 2;
  }
  const std::string name = std::string("/") + argv[1];
  Block block;
  block.size = argc > 2 ? strtoul(argv[2], nullptr, 10) : 336;
  const int fd = shm_open(name.c_str(), O_CREAT | O_EXCL | O_RDWR, 0600);
  if (fd < 0) {
    std::cout << "error cannot create " << name << std::endl;
    return 1;
  }
  void* view = MAP_FAILED;
  if (ftruncate(fd, static_cast<off_t>(block.size)) == 0) {
    view = mmap(nullptr, block.size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  }
  close(fd);
  if (view == MAP_FAILED) {
    shm_unlink(name.c_str());
    std::cout << "error cannot map " << name << std::endl;
    return 1;
  }
  block.bytes = static_cast<unsigned char*>(view);
  std::cout << "ready" << std::endl;
  std::string line;
  while (std::getline(std::cin, line) && line != "quit") std::cout << Command(block, line) << std::endl;
  munmap(view, block.size);
  shm_unlink(name.c_str());
  return 0;
}
