// Build-time generator of the built-in stroke-font table: reads a Hershey
// '.jhf' font with 96 glyphs (the printable characters 32 to 127) and writes
// a C++ source file that defines kSvHersheyBuiltIn.
//
//   sv_hershey_gen <font.jhf> <output.cpp>

#include <cstdio>
#include <string>
#include <vector>

#include "Sv_HersheyParse.h"

namespace {

const size_t kGlyphs = 96;

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: sv_hershey_gen <font.jhf> <output.cpp>\n");
    return 1;
  }
  std::string text;
  if (!Sv_HersheyReadFile(argv[1], &text)) {
    fprintf(stderr, "sv_hershey_gen: cannot read %s\n", argv[1]);
    return 1;
  }
  std::vector<Sv_HersheyRawGlyph> glyphs;
  std::string error;
  if (Sv_HersheyParseText(text.data(), text.size(), kGlyphs, &glyphs, &error) != 0) {
    fprintf(stderr, "sv_hershey_gen: %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  if (glyphs.size() != kGlyphs) {
    fprintf(stderr, "sv_hershey_gen: %s holds %zu glyphs, expected %zu\n", argv[1], glyphs.size(), kGlyphs);
    return 1;
  }

  std::string out;
  out += "// Generated at build time by sv_hershey_gen; do not edit.\n";
  out += "// The Hershey Fonts were originally created by Dr. A. V. Hershey while working\n";
  out += "// at the U. S. National Bureau of Standards. The format of the font data was\n";
  out += "// originally created by James Hurt, Cognition, Inc. (see NOTICE).\n\n";
  out += "#include \"Sv_HersheyBuiltIn.h\"\n\nnamespace {\n\n";
  char buf[64];
  for (size_t g = 0; g < glyphs.size(); ++g) {
    snprintf(buf, sizeof(buf), "// '%c'\nconst signed char kGlyph%zu[] = {", g + 32 < 127 ? char(g + 32) : '?', g);
    out += buf;
    const Sv_HersheyRawGlyph& glyph = glyphs[g];
    for (size_t i = 0; i < glyph.size(); ++i) {
      if (i % 16 == 0) out += "\n   ";
      snprintf(buf, sizeof(buf), " %d,", int(glyph[i]));
      out += buf;
    }
    out += "\n};\n";
  }
  out += "\n}  // namespace\n\nconst Sv_HersheyBuiltInGlyph kSvHersheyBuiltIn[] = {\n";
  for (size_t g = 0; g < glyphs.size(); ++g) {
    snprintf(buf, sizeof(buf), "    {%zu, kGlyph%zu},\n", glyphs[g].size() / 2, g);
    out += buf;
  }
  snprintf(buf, sizeof(buf), "};\n\nconst int kSvHersheyBuiltInCount = %zu;\n", glyphs.size());
  out += buf;

  // Write to a temporary name first, so an interrupted run leaves no
  // half-written source behind.
  const std::string tmp = std::string(argv[2]) + ".tmp";
  FILE* f = fopen(tmp.c_str(), "wb");
  if (!f) {
    fprintf(stderr, "sv_hershey_gen: cannot write %s\n", tmp.c_str());
    return 1;
  }
  const bool written = fwrite(out.data(), 1, out.size(), f) == out.size();
  const bool closed = fclose(f) == 0;
  if (!written || !closed || rename(tmp.c_str(), argv[2]) != 0) {
    fprintf(stderr, "sv_hershey_gen: cannot write %s\n", argv[2]);
    remove(tmp.c_str());
    return 1;
  }
  return 0;
}
