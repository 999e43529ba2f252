// Composing: the surface the window presents, pixel for pixel, and the
// drawing and decoding it rests on.

#include "HeadlessFixture.h"
#include "framework/Composer.h"
#include "framework/Surface.h"
#include "platform/EmbeddedResources.h"
#include "platform/PngDecoder.h"
#include "ui/Unit1.h"

namespace {

Platform::DecodedImage DecodedArtwork()
{
    Platform::DecodedImage image;
    EXPECT_TRUE(Platform::DecodePngForHeadless(Platform::FindEmbeddedResource("ARTWORK"), image));
    return image;
}

class Composing : public HeadlessFixture {};

}  // namespace

TEST_F(Composing, TheWindowShowsTheArtworkBetweenTwoTransparentBands)
{
    auto* form = new TForm1(Application);
    form->LoadDefinition();
    form->DoCreate();
    form->Show();
    const std::vector<std::uint32_t>& shown = Platform::Headless::PresentedPixels();
    ASSERT_EQ(shown.size(), 800u * 677u);
    const Platform::DecodedImage artwork = DecodedArtwork();
    ASSERT_EQ(artwork.Width, 800);
    ASSERT_EQ(artwork.Height, 493);

    int opaque = 0, mismatched = 0, bandPixels = 0;
    for (int y = 0; y < 677; ++y) {
        for (int x = 0; x < 800; ++x) {
            const std::uint32_t pixel = shown[static_cast<std::size_t>(y) * 800 + x];
            if (y < 92 || y >= 585) {
                bandPixels += pixel != 0;
                continue;
            }
            const std::uint32_t expected = artwork.Pixels[static_cast<std::size_t>(y - 92) * 800 + x];
            mismatched += pixel != expected;
            const bool sideColumn = x <= 4 || x >= 794;
            EXPECT_EQ((pixel >> 24) == 0, sideColumn) << x << "," << y;
            opaque += (pixel >> 24) == 255;
            if (::testing::Test::HasFailure()) return;
        }
    }
    EXPECT_EQ(bandPixels, 0) << "the bands above and below are fully transparent, all four channels";
    EXPECT_EQ(mismatched, 0) << "the artwork is drawn unscaled at window y 92";
    EXPECT_EQ(opaque, (800 - 11) * 493) << "every artwork pixel but the side columns is opaque";
}

TEST_F(Composing, HiddenControlsDrawNothingAndFormCreateMakesThePictureVisible)
{
    auto* form = new TForm1(Application);
    form->LoadDefinition();
    form->Image1->SetVisible(false);
    TSurface surface(800, 677);
    ComposeForm(*form, surface);
    for (std::uint32_t pixel : surface.Pixels()) ASSERT_EQ(pixel, 0u);
    form->DoCreate();
    EXPECT_TRUE(form->Image1->Visible());
    EXPECT_EQ(Application->Name(), "Avendrel");
    ComposeForm(*form, surface);
    EXPECT_EQ(surface.Pixel(400, 300) >> 24, 255u);
}

TEST(Surface, SourceOverBlendsPremultipliedPixels)
{
    EXPECT_EQ(SourceOver(0xFF112233, 0xFFFFFFFF), 0xFF112233u) << "opaque replaces";
    EXPECT_EQ(SourceOver(0x00000000, 0xFF445566), 0xFF445566u) << "transparent keeps";
    EXPECT_EQ(SourceOver(0x80400000, 0x00000000), 0x80400000u) << "over nothing stays as it is";
    // Half-covered red over opaque blue: 0x80 alpha, blue keeps 127/255 of itself.
    EXPECT_EQ(SourceOver(0x80800000, 0xFF0000FF), 0xFF80007Fu);
}

TEST(Surface, DrawingIsClippedToTheSurfaceAndScalesToTheTarget)
{
    TBitmap bitmap{2, 2, {0xFF000001, 0xFF000002, 0xFF000003, 0xFF000004}, {}, {}};
    TSurface surface(3, 3);
    surface.DrawBitmap(bitmap, {-1, -1, 2, 2});  // only the bottom-right pixel lands
    EXPECT_EQ(surface.Pixel(0, 0), 0xFF000004u);
    EXPECT_EQ(surface.Pixel(1, 0), 0u);
    EXPECT_EQ(surface.Pixel(0, 1), 0u);

    TSurface scaled(4, 4);
    scaled.DrawBitmap(bitmap, {0, 0, 4, 4});
    EXPECT_EQ(scaled.Pixel(1, 1), 0xFF000001u);
    EXPECT_EQ(scaled.Pixel(2, 1), 0xFF000002u);
    EXPECT_EQ(scaled.Pixel(3, 3), 0xFF000004u);
}

TEST(Surface, DrawingByRunsGivesTheSamePixelsAsDrawingPixelByPixel)
{
    // Opaque, transparent and partly transparent stretches, drawn unscaled at
    // several offsets (some clipped), once with runs and once without.
    TBitmap bitmap{7, 3, {}, {}, {}};
    const std::uint32_t pattern[] = {0xFF102030, 0xFF405060, 0x00000000, 0x80402010,
                                     0x80402010, 0xFF000001, 0x00000000};
    for (int y = 0; y < 3; ++y)
        for (std::uint32_t pixel : pattern) bitmap.Pixels.push_back(pixel + static_cast<std::uint32_t>(y));
    TBitmap indexed = bitmap;
    indexed.IndexRuns();
    ASSERT_FALSE(indexed.Runs.empty());
    for (TPoint at : {TPoint{0, 0}, TPoint{2, 1}, TPoint{-3, -1}, TPoint{6, 4}, TPoint{-7, 0}}) {
        TSurface plain(9, 5), byRuns(9, 5);
        plain.Fill(0xFF0000FF);
        byRuns.Fill(0xFF0000FF);
        plain.DrawBitmap(bitmap, {at.X, at.Y, 7, 3});
        byRuns.DrawBitmap(indexed, {at.X, at.Y, 7, 3});
        EXPECT_EQ(plain.Pixels(), byRuns.Pixels()) << at.X << "," << at.Y;

        // Clearing and drawing in one pass equals clearing, then drawing,
        // whatever the surface held before.
        TSurface cleared(9, 5), onePass(9, 5);
        cleared.Fill(0);
        cleared.DrawBitmap(bitmap, {at.X, at.Y, 7, 3});
        onePass.Fill(0xFF0000FF);
        ASSERT_TRUE(onePass.ClearAndDrawBitmap(indexed, {at.X, at.Y, 7, 3}));
        EXPECT_EQ(cleared.Pixels(), onePass.Pixels()) << at.X << "," << at.Y;
    }
    TSurface untouched(9, 5);
    untouched.Fill(0xFF0000FF);
    EXPECT_FALSE(untouched.ClearAndDrawBitmap(indexed, {0, 0, 14, 6})) << "scaled";
    EXPECT_FALSE(untouched.ClearAndDrawBitmap(bitmap, {0, 0, 7, 3})) << "runs not indexed";
    EXPECT_EQ(untouched.Pixel(4, 4), 0xFF0000FFu);
}

TEST(Surface, ATransparentFillClearsWhateverWasDrawnBefore)
{
    TBitmap opaque{3, 3, std::vector<std::uint32_t>(9, 0xFF102030), {}, {}};
    TBitmap indexed = opaque;
    indexed.IndexRuns();
    const struct {
        const char* Name;
        std::vector<TRect> Draws;
        std::uint32_t FillFirst;
    } cases[] = {
        {"one draw", {{2, 3, 3, 3}}, 0},
        {"draws far apart", {{0, 0, 3, 3}, {5, 17, 3, 3}}, 0},
        {"clipped at the top and the bottom", {{1, -2, 3, 3}, {4, 18, 3, 3}}, 0},
        {"scaled over the whole surface", {{0, 0, 8, 20}}, 0},
        {"outside: nothing drawn", {{-5, 4, 3, 3}, {2, 25, 3, 3}}, 0},
        {"after an opaque fill", {{2, 3, 3, 3}}, 0xFFFFFFFF},
    };
    for (const auto& c : cases) {
        for (const TBitmap* bitmap : {&opaque, &indexed}) {
            TSurface surface(8, 20);
            for (int round = 0; round < 2; ++round) {
                if (c.FillFirst) surface.Fill(c.FillFirst);
                for (const TRect& target : c.Draws) surface.DrawBitmap(*bitmap, target);
                surface.Fill(0);
                for (std::uint32_t pixel : surface.Pixels()) ASSERT_EQ(pixel, 0u) << c.Name;
            }
        }
    }
}

TEST(PngDecoder, DecodesToPremultipliedArgbAndRefusesWhatIsNotAPng)
{
    // Two straight-alpha RGBA pixels, (255, 128, 0, 128) and (10, 20, 30, 0),
    // as an 8-bit RGBA PNG.
    std::vector<std::uint8_t> png = {
        0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44,
        0x52, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0xf4,
        0x22, 0x7f, 0x8a, 0x00, 0x00, 0x00, 0x11, 0x49, 0x44, 0x41, 0x54, 0x78, 0xda, 0x63, 0xf8,
        0xdf, 0xc0, 0xd0, 0xc0, 0x25, 0x22, 0xc7, 0x00, 0x00, 0x0e, 0xa1, 0x02, 0x3c, 0x6c, 0x66,
        0x09, 0x73, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

    Platform::DecodedImage decoded;
    ASSERT_TRUE(Platform::DecodePngForHeadless(png, decoded));
    ASSERT_EQ(decoded.Width, 2);
    ASSERT_EQ(decoded.Height, 1);
    EXPECT_EQ(decoded.Pixels[0], 0x80804000u) << "each channel × alpha / 255, rounded";
    EXPECT_EQ(decoded.Pixels[1], 0x00000000u) << "a transparent pixel keeps no colour";

    const std::uint8_t garbage[] = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g'};
    EXPECT_FALSE(Platform::DecodePngForHeadless(garbage, decoded));
    png.resize(png.size() / 2);
    EXPECT_FALSE(Platform::DecodePngForHeadless(png, decoded)) << "a truncated file";
}
