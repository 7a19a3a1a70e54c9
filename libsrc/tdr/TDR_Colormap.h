#ifndef TDR_COLORMAP_H
#define TDR_COLORMAP_H

class TDR_Manager;

// Colour maps: 256 packed colours, red in the low byte, then green, blue
// and alpha (255 after reading). Arrays the functions allocate are
// malloc'ed; the caller releases them with free().

// Reads a colour-map block (the payload of tag TDR_TAG_BK_CMAP, 20010, or
// the colours another record carries after its own fields) from the stream
// position: an int32 (skipped) when the current tag version is 0, then 256
// x {R, G, B} bytes, all within the rest of the current record. Fills
// colours, or a new array when colours is null, and returns it; null when
// the record does not hold the block (colours is then unchanged).
unsigned int* TDR_UtlReadColormapTag(TDR_Manager* manager, unsigned int* colours);
// Writes the 256 colours as a colour-map payload (with the int32 first when
// the current tag version is 0). 0 on success, -1 on failure.
int TDR_UtlWriteColormapTag(TDR_Manager* manager, const unsigned int* colours);

// Reads a colour-map file: its header, the records up to the BK_CMAP record
// and that record's colours. Returns colours (or a new array when null) or,
// after its own debug message, null with colours unchanged.
unsigned int* TDR_UtlReadColormap(const char* path, unsigned int* colours);
// Writes a colour-map file: header, one BK_CMAP record, end tag. 0 or -1.
// The file is replaced only when the whole write succeeded; after a failed
// write the old file is left as it was.
int TDR_UtlWriteColormap(const char* path, const unsigned int* colours);

// As TDR_UtlReadColormap, for a map that its caller can do without (a
// default map): a file that does not exist is reported once per process
// instead of at every call. Damaged files are reported every time.
unsigned int* TDR_UtlReadColormapOnce(const char* path, unsigned int* colours);

// Fills colours with the built-in ramp that stands in for a missing colour
// map: grey, index i gives red = green = blue = i, alpha 255.
void TDR_UtlBuiltInColormap(unsigned int* colours);

#endif
