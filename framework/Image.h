#pragma once
// TImage: a control that shows a picture. It owns a list of bitmap entries,
// one per screen scale; an entry may be empty and then draws nothing. The
// picture is placed with the fit rule (shrunk to fit, never enlarged, centred).

#include "framework/Control.h"
#include "framework/Surface.h"

#include <optional>
#include <string>
#include <vector>

struct TBitmapEntry {
    double Scale = 1.0;
    int Width = 0;          // nominal size in pixels, for a non-empty entry
    int Height = 0;
    std::string Resource;   // the resource it was decoded from
    std::optional<TBitmap> Bitmap;
};

enum class TImageWrapMode { Fit };

class TImage : public TControl {
public:
    explicit TImage(TComponent* owner);
    const char* ClassName() const override { return "TImage"; }

    std::vector<TBitmapEntry>& Bitmaps() { return bitmaps_; }
    const std::vector<TBitmapEntry>& Bitmaps() const { return bitmaps_; }
    TImageWrapMode WrapMode() const { return wrapMode_; }

    // The entry for `scale`: the one whose scale is nearest, or none.
    const TBitmapEntry* EntryForScale(double scale) const;
    // Where the picture lands on the form, or an empty rectangle.
    TRect PictureRect() const;

    void Paint(TSurface& surface) const override;
    // The picture where one is drawn, else the control's rectangle.
    TRect AccessibleBounds() const override;
    bool PaintOnClearedSurface(TSurface& surface) const override;

    static const TPropertyTable<TImage>& Properties();

private:
    std::vector<TBitmapEntry> bitmaps_;
    TImageWrapMode wrapMode_ = TImageWrapMode::Fit;
};
