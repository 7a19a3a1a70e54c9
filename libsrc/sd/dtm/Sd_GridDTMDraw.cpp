// Grid terrain models: the whole and progressive drawing passes; the models
// draw the strips.
#include "Sd_GridDTM.h"

// The grid models' hooks of the drawing passes: grid space with the bounding
// box, Optimize's window, and the model's strips.
Sd_BaseDTM::PassHooks Sd_GridDTM::GridPassHooks() {
  return {[this] {
            EnterGridSpace(true);
            return HasDrawableGrids() && Optimize() != 0;
          },
          [this](int r, int r2, int s) { DrawStrip(r, r2, s); }, nullptr};
}

void Sd_GridDTM::Render() { DrawWholePass(GridPassHooks()); }

int Sd_GridDTM::StepRender() { return StepPass(GridPassHooks()); }
