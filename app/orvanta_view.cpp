// The View menu and the dataset keys of the main window. The menu holds the
// placeholder "(none)" (id 9999) until the scene's objects are listed here.

#include "orvanta.h"

void orvanta::UpdateViewMenu() {}

void orvanta::ViewItemActivateSL(int item) { (void)item; }

void orvanta::ToggleData(int n) { (void)n; }

void orvanta::ToggleData1ActionSL() { ToggleData(1); }
void orvanta::ToggleData2ActionSL() { ToggleData(2); }
void orvanta::ToggleData3ActionSL() { ToggleData(3); }
void orvanta::ToggleData4ActionSL() { ToggleData(4); }
void orvanta::ToggleData5ActionSL() { ToggleData(5); }
void orvanta::ToggleData6ActionSL() { ToggleData(6); }
void orvanta::ToggleData7ActionSL() { ToggleData(7); }
void orvanta::ToggleData8ActionSL() { ToggleData(8); }
void orvanta::ToggleData9ActionSL() { ToggleData(9); }
void orvanta::ToggleData10ActionSL() { ToggleData(10); }
