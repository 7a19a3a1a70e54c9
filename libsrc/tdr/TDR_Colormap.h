#ifndef TDR_COLORMAP_H
#define TDR_COLORMAP_H

class TDR_Manager;

// Colour maps: 256 packed colours, red in the low byte, then green, blue
// and alpha (255 after reading). Arrays the functions allocate are
// malloc'ed; the caller releases them with free().

// Reads a colour-map payload (tag TDR_TAG_BK_CMAP, 20010) from the stream
// position: an int32 (skipped) when the current tag version is 0, then 256
// x {R, G, B} bytes. Fills colours, or a new array when colours is null,
// and returns it; null after a short read (colours is then unchanged).
unsigned int* TDR_UtlReadColormapTag(TDR_Manager* manager, unsigned int* colours);
// Writes the 256 colours as a colour-map payload (with the int32 first when
// the current tag version is 0). 0 on success, -1 on failure.
int TDR_UtlWriteColormapTag(TDR_Manager* manager, const unsigned int* colours);

// Reads a colour-map file: its header, the records up to the BK_CMAP record
// and that record's colours. Returns colours (or a new array when null) or,
// after its own debug message, null with colours unchanged.
unsigned int* TDR_UtlReadColormap(const char* path, unsigned int* colours);
// Writes a colour-map file: header, one BK_CMAP record, end tag. 0 or -1.
int TDR_UtlWriteColormap(const char* path, const unsigned int* colours);

#endif
