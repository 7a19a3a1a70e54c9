// Feeds arbitrary bytes to the image readers: ReadImage, with the type taken
// from the leading bytes (TIFF, JPEG, PNG) and the pixels kept as stored or
// turned into RGBA, and LoadFromTDR on the same bytes read as a
// tagged-data-record file. Built as a libFuzzer target (ORVANTA_FUZZ) and,
// with ReplayMain.cpp, as the replay of its seeds (tests/fuzz/image-corpus)
// in the test suite.
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "Sv_Debug.h"
#include "Sv_ImageIO.h"
#include "TDR_Manager.h"

namespace {

void Setup() {
  // Broken inputs are the normal case here: keep the log quiet.
  Sv_Debug::SetLevel(-1000);
  // A smaller pixel cap (16 MiB as RGBA) keeps each input fast; the checks
  // against it are the same.
  Sv_ImageIO::SetMaxPixels(1 << 22);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& input = orvanta_fuzz::InputPath(".img", Setup);
  if (!orvanta_fuzz::WriteInput(input, data, size)) return 0;
  const char* path = input.c_str();

  Sv_ImageIO image;
  image.ReadImage(path, SV_IMAGE_DETECT, (size & 1) ? SV_2D_RGBA : 0);
  TDR_Manager manager;
  if (manager.OpenFile(path, "rb") == 0 && manager.ReadHeader() == 0) image.LoadFromTDR(&manager);
  return 0;
}
