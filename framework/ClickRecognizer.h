#pragma once
// What a click is, for one control: a press of the primary button inside the
// control marks it pressed, unless that press is the second press of a
// double-click; a release clears the mark and is a click only when the mark
// was set and the release lies inside the control. Every release clears the
// mark, whichever button it is.

#include "platform/Platform.h"

class TClickRecognizer {
public:
    enum class PressResult { None, Marked, DoubleClick };

    PressResult Press(Platform::MouseButton button, bool doubleClick, bool inside);
    // True when this release completes a click.
    bool Release(bool inside);
    // Forgets a press whose release will never arrive.
    void Reset() { marked_ = false; }
    bool Marked() const { return marked_; }

private:
    bool marked_ = false;
};
