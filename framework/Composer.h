#pragma once
// Composes a form onto its surface: the surface is cleared to fully
// transparent (or filled white when the form is not transparent), then each
// visible control draws itself, bottom of the z-order first. The result is
// that, whichever way it is reached (the bottom control may do the clearing
// itself, writing each pixel once).

class TForm;
class TSurface;

void ComposeForm(const TForm& form, TSurface& surface);
