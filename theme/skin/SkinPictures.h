// The window's skin pictures for the code that swaps them while the pointer moves (the window
// chrome): the sixteen slots live in the skin code from one skin application to the next.
#pragma once

#include "theme/skin/SkinLayout.h"

#include <QImage>

namespace glyptor {
class TFMain;
}

namespace glyptor::skin {

// Whether the window holds picture slots (between CreatePictureSlots and FreePictureSlots).
bool HasPictureSlots(const TFMain& window);
// The picture of a slot: a null image when the slot is empty or no slots exist.
QImage PictureSlot(const TFMain& window, SlotIndex slot);
// Draws a slot picture at (0, 0) over the composed title picture and shows the result; the
// tiles around it stay. This is how TITLE1 and TITLE2 take turns.
void DrawTitleLabel(TFMain& window, SlotIndex slot);

} // namespace glyptor::skin
