#ifndef SD_SERIESFRAMEVIEW_H
#define SD_SERIESFRAMEVIEW_H

#include "Sd_SonarDTM.h"

// The terrain model through which a surface series (Sd_SurfaceSeries) draws
// and picks its current frame: a non-contiguous terrain (empty code 0)
// whose rows are the frame's, held, never owned. Only the series uses it.
class Sd_SeriesFrameView : public Sd_SonarDTM {
 public:
  // The 16-bit grid payload reader of the terrain models, for the series'
  // height record.
  using Sd_BaseDTM::CodeGridMessages;
  using Sd_BaseDTM::ReadCodeGrid;

  // The alpha that switches blending on, without touching the colours
  // (their alpha bytes are the series').
  void SetBlendAlpha(int alpha) { m_alpha = alpha; }
};

#endif
