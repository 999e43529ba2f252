#include "framework/Image.h"

#include "framework/Exceptions.h"
#include "platform/Platform.h"

#include <cmath>
#include <string>

namespace {

// The screen scale the framework works at: unscaled pixels.
constexpr double kScreenScale = 1.0;

TBitmap DecodeResource(const std::string& name, int line)
{
    const Platform::Table& platform = Platform::Current();
    const auto data = platform.FindResource(name.c_str());
    if (data.empty()) throw EDefinitionError(line, "expected a resource named " + name + " in the executable");
    Platform::DecodedImage image;
    if (!platform.DecodePng(data, image))
        throw EDefinitionError(line, "expected a PNG picture in the resource " + name);
    TBitmap bitmap{image.Width, image.Height, std::move(image.Pixels), {}, {}};
    bitmap.IndexRuns();
    return bitmap;
}

TBitmapEntry ReadBitmapEntry(const TDefinitionValue& value)
{
    ReadTable(value, "Bitmaps");
    TBitmapEntry entry;
    bool hasScale = false, hasWidth = false, hasHeight = false;
    for (const TDefinitionProperty& field : value.Fields) {
        if (field.Name == "Scale") {
            entry.Scale = ReadNumber(field.Value, "Scale");
            if (!(entry.Scale > 0.0) || !std::isfinite(entry.Scale))
                throw EDefinitionError(field.Value.Line, "expected a scale above 0 for Scale");
            hasScale = true;
        } else if (field.Name == "Width") {
            entry.Width = static_cast<int>(ReadInteger(field.Value, "Width", 1, 16384));
            hasWidth = true;
        } else if (field.Name == "Height") {
            entry.Height = static_cast<int>(ReadInteger(field.Value, "Height", 1, 16384));
            hasHeight = true;
        } else if (field.Name == "Resource") {
            entry.Resource = ReadText(field.Value, "Resource");
        } else {
            throw EDefinitionError(field.Value.Line, "unknown field " + field.Name +
                                                         " of a bitmap entry; expected one of "
                                                         "Scale, Width, Height, Resource");
        }
    }
    if (!hasScale) throw EDefinitionError(value.Line, "a bitmap entry is missing the required field Scale");
    if (entry.Resource.empty()) {
        if (hasWidth || hasHeight)
            throw EDefinitionError(value.Line, "expected Resource for a bitmap entry with a size");
        return entry;
    }
    if (!hasWidth || !hasHeight)
        throw EDefinitionError(value.Line, "a bitmap entry with a Resource is missing the required "
                                           "fields Width and Height");
    entry.Bitmap = DecodeResource(entry.Resource, value.Line);
    const int expectedWidth = static_cast<int>(std::lround(entry.Width * entry.Scale));
    const int expectedHeight = static_cast<int>(std::lround(entry.Height * entry.Scale));
    if (entry.Bitmap->Width != expectedWidth || entry.Bitmap->Height != expectedHeight)
        throw EDefinitionError(value.Line, "expected a " + std::to_string(expectedWidth) + " x " +
                                               std::to_string(expectedHeight) + " picture in " +
                                               entry.Resource + ", found " +
                                               std::to_string(entry.Bitmap->Width) + " x " +
                                               std::to_string(entry.Bitmap->Height));
    return entry;
}

}  // namespace

TImage::TImage(TComponent* owner) : TControl(owner) {}

const TBitmapEntry* TImage::EntryForScale(double scale) const
{
    const TBitmapEntry* best = nullptr;
    for (const TBitmapEntry& entry : bitmaps_) {
        if (!best || std::fabs(entry.Scale - scale) < std::fabs(best->Scale - scale)) best = &entry;
    }
    return best;
}

TRect TImage::PictureRect() const
{
    const TBitmapEntry* entry = EntryForScale(kScreenScale);
    if (!entry || !entry->Bitmap) return {};
    return FitPicture(entry->Bitmap->Width / entry->Scale, entry->Bitmap->Height / entry->Scale,
                      BoundsRect());
}

TRect TImage::AccessibleBounds() const
{
    const TRect picture = PictureRect();
    return picture.Width > 0 && picture.Height > 0 ? picture : BoundsRect();
}

void TImage::Paint(TSurface& surface) const
{
    const TBitmapEntry* entry = EntryForScale(kScreenScale);
    if (!entry || !entry->Bitmap) return;
    surface.DrawBitmap(*entry->Bitmap, PictureRect());
}

bool TImage::PaintOnClearedSurface(TSurface& surface) const
{
    const TBitmapEntry* entry = EntryForScale(kScreenScale);
    if (!entry || !entry->Bitmap) return false;
    return surface.ClearAndDrawBitmap(*entry->Bitmap, PictureRect());
}

const TPropertyTable<TImage>& TImage::Properties()
{
    static const TPropertyTable<TImage> table = [] {
        TPropertyTable<TImage> properties;
        AddControlProperties(properties);
        properties.push_back({"WrapMode", false,
                              [](TImage& image, const TDefinitionValue& value, TBuildContext&) {
                                  image.wrapMode_ = static_cast<TImageWrapMode>(
                                      ReadChoice(value, "WrapMode", {"Fit"}));
                              }});
        properties.push_back({"Bitmaps", false,
                              [](TImage& image, const TDefinitionValue& value, TBuildContext&) {
                                  if (value.Kind != TDefinitionValue::TKind::List)
                                      throw EDefinitionError(value.Line,
                                                             "expected a list of bitmap entries "
                                                             "for Bitmaps, found " +
                                                                 std::string(DescribeKind(value.Kind)));
                                  image.bitmaps_.clear();
                                  for (const TDefinitionValue& item : value.Items)
                                      image.bitmaps_.push_back(ReadBitmapEntry(item));
                              }});
        return properties;
    }();
    return table;
}
