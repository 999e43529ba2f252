#pragma once
// Composes a form onto its surface: the surface is cleared to fully
// transparent (or filled white when the form is not transparent), then each
// visible control draws itself, bottom of the z-order first.

class TForm;
class TSurface;

void ComposeForm(const TForm& form, TSurface& surface);
