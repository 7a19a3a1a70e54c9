#ifndef SV_COLOUR_H
#define SV_COLOUR_H

// Packed 32-bit colours: red in the low byte, then green, blue and alpha
// (red, green, blue, alpha from low to high). As bytes in memory on this
// little-endian platform they are R, G, B, A, the order OpenGL takes them in.
inline unsigned PackColour(unsigned r, unsigned g, unsigned b, unsigned a) {
  return (r & 0xFFu) | ((g & 0xFFu) << 8) | ((b & 0xFFu) << 16) | ((a & 0xFFu) << 24);
}
inline unsigned ColourRed(unsigned c) { return c & 0xFFu; }
inline unsigned ColourGreen(unsigned c) { return (c >> 8) & 0xFFu; }
inline unsigned ColourBlue(unsigned c) { return (c >> 16) & 0xFFu; }
inline unsigned ColourAlpha(unsigned c) { return (c >> 24) & 0xFFu; }
// The colour with its alpha byte replaced.
inline unsigned ColourWithAlpha(unsigned c, unsigned a) { return (c & 0x00FFFFFFu) | ((a & 0xFFu) << 24); }

#endif
