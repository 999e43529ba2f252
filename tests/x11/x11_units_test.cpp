// Unit tests of the Linux backend's portable parts: the shape taken from a
// surface's alpha, the pixels of visuals other than the surface's layout, the
// double-click rule, the XSETTINGS reader and the icon reader, the
// executable's name. None needs a display.

#include "platform/linux_accessibility_switch.h"
#include "platform/linux_executable_name.h"
#include "platform/x11_double_click.h"
#include "platform/x11_icon.h"
#include "platform/x11_pixels.h"
#include "platform/x11_shape.h"
#include "platform/x11_xsettings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <vector>

using namespace Platform;
using namespace Platform::X11;

namespace {

// A surface drawn from text rows: '#' opaque, '+' barely visible, '.' transparent.
struct TextSurface {
    std::vector<std::uint32_t> Pixels;
    SurfaceView View;
    explicit TextSurface(const std::vector<std::string>& rows)
    {
        for (const std::string& row : rows)
            for (char c : row)
                Pixels.push_back(c == '#' ? 0xFF336699u : c == '+' ? 0x01010101u : 0u);
        View = {Pixels.data(), static_cast<int>(rows[0].size()), static_cast<int>(rows.size())};
    }
};

}  // namespace

TEST(X11Shape, RectanglesCoverExactlyTheVisiblePixels)
{
    struct Case {
        const char* Name;
        std::vector<std::string> Rows;
        std::vector<ShapeRect> Expected;
    };
    const Case cases[] = {
        {"all transparent", {"....", "...."}, {}},
        {"all opaque", {"###", "###"}, {{0, 0, 3, 2}}},
        {"alpha 1 counts as visible", {".+.", "..."}, {{1, 0, 1, 1}}},
        {"two runs in one row", {"#..##"}, {{0, 0, 1, 1}, {3, 0, 2, 1}}},
        {"equal rows merge into one band", {".##.", ".##.", ".##."}, {{1, 0, 2, 3}}},
        {"a changed row starts a new band",
         {"##..", "##..", "#..#", "#..#"},
         {{0, 0, 2, 2}, {0, 2, 1, 2}, {3, 2, 1, 2}}},
        {"transparent rows split bands", {"#", ".", "#"}, {{0, 0, 1, 1}, {0, 2, 1, 1}}},
        {"edge columns", {"#..#"}, {{0, 0, 1, 1}, {3, 0, 1, 1}}},
    };
    for (const Case& c : cases) {
        TextSurface surface(c.Rows);
        EXPECT_EQ(VisibleRectangles(surface.View), c.Expected) << c.Name;
    }
}

TEST(X11Shape, WindowWithBandsAndSideColumnsIsOneRectangle)
{
    // The program's layout: an 800 x 493 picture at y 92 whose columns 0-4
    // and 794-799 are transparent, in an 800 x 677 window.
    std::vector<std::uint32_t> pixels(800 * 677, 0);
    for (int y = 92; y < 585; ++y)
        for (int x = 5; x < 794; ++x) pixels[y * 800 + x] = 0xFF000000u | static_cast<unsigned>(x);
    const std::vector<ShapeRect> expected = {{5, 92, 789, 493}};
    EXPECT_EQ(VisibleRectangles({pixels.data(), 800, 677}), expected);
}

TEST(X11Shape, EmptySurfaceGivesNoRectangles)
{
    EXPECT_TRUE(VisibleRectangles({nullptr, 10, 10}).empty());
    std::uint32_t pixel = 0xFFFFFFFF;
    EXPECT_TRUE(VisibleRectangles({&pixel, 0, 1}).empty());
}

TEST(X11Pixels, ChannelsScaledToEachMaskRoundedToTheNearestStep)
{
    struct Case {
        const char* Name;
        ChannelMasks Masks;
        std::uint32_t Premultiplied;
        std::uint32_t Expected;
    };
    const ChannelMasks rgb565{0xF800, 0x07E0, 0x001F, 0};
    const ChannelMasks rgb555{0x7C00, 0x03E0, 0x001F, 0};
    const ChannelMasks bgr565{0x001F, 0x07E0, 0xF800, 0};
    const ChannelMasks rgb101010{0x3FF00000, 0x000FFC00, 0x000003FF, 0};
    const ChannelMasks argb{0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    const Case cases[] = {
        {"565 white", rgb565, 0xFFFFFFFF, 0xFFFF},
        {"565 black", rgb565, 0xFF000000, 0x0000},
        {"565 red, green, blue apart", rgb565, 0xFFFF0000, 0xF800},
        {"565 rounds: 0x84 is 16.4 of 31, 32.9 of 63", rgb565, 0xFF848484,
         (16u << 11) | (33u << 5) | 16u},
        {"565 transparent is black", rgb565, 0x00000000, 0x0000},
        {"555", rgb555, 0xFF00FF00, 0x03E0},
        {"blue in the high bits", bgr565, 0xFF0000FF, 0xF800},
        {"10 bits: 0x80 is 513.5 of 1023", rgb101010, 0xFF808080,
         (514u << 20) | (514u << 10) | 514u},
        {"10 bits white", rgb101010, 0xFFFFFFFF, 0x3FFFFFFF},
        {"alpha mask keeps alpha", argb, 0x80402010, 0x80402010},
        {"half-covered pixel shows over black", rgb101010, 0x80800000, 514u << 20},
    };
    for (const Case& c : cases) {
        const std::uint32_t pixel = c.Premultiplied;
        const std::vector<std::uint32_t> out = MaskedPixels({&pixel, 1, 1}, c.Masks);
        ASSERT_EQ(out.size(), 1u) << c.Name;
        EXPECT_EQ(out[0], c.Expected) << c.Name << std::hex << " got 0x" << out[0];
    }
    EXPECT_TRUE(MaskedPixels({nullptr, 4, 4}, rgb565).empty());
}

namespace {

// A surface of one colour, `size` pixels square.
std::vector<std::uint32_t> Flat(std::uint32_t colour, int size)
{
    return std::vector<std::uint32_t>(static_cast<std::size_t>(size * size), colour);
}

// The mean of one channel of the palette colours that `pixels` name.
double MeanChannel(const std::vector<std::uint32_t>& pixels,
                   const std::vector<PaletteColour>& palette, std::uint8_t PaletteColour::*channel)
{
    double sum = 0;
    for (std::uint32_t p : pixels)
        for (const PaletteColour& c : palette)
            if (c.Pixel == p) sum += c.*channel;
    return sum / static_cast<double>(pixels.size());
}

std::vector<PaletteColour> Numbered(std::vector<PaletteColour> colours, std::uint32_t first)
{
    for (PaletteColour& c : colours) c.Pixel = first++;
    return colours;
}

}  // namespace

TEST(X11Pixels, PaletteColoursMapToThemselvesAndOthersAreMixedByTheDither)
{
    const std::vector<PaletteColour> cube = Numbered(ColourCube(6), 40);
    ASSERT_EQ(cube.size(), 216u);
    EXPECT_EQ(cube.front().Red + cube.front().Green + cube.front().Blue, 0);
    EXPECT_EQ(cube.back().Red + cube.back().Green + cube.back().Blue, 3 * 255);

    // A colour of the cube is shown as itself on every pixel.
    for (const PaletteColour& c : {cube[0], cube[43], cube[215]}) {
        const std::uint32_t argb = 0xFF000000u | (c.Red << 16) | (c.Green << 8) | c.Blue;
        const std::vector<std::uint32_t> surface = Flat(argb, 8);
        const std::vector<std::uint32_t> out = PalettePixels({surface.data(), 8, 8}, cube, false);
        EXPECT_EQ(std::set<std::uint32_t>(out.begin(), out.end()),
                  std::set<std::uint32_t>{c.Pixel});
    }
    // A colour between two cube steps mixes them, on average near the colour itself.
    for (std::uint32_t red : {0x20u, 0x80u, 0xE0u}) {
        const std::vector<std::uint32_t> surface = Flat(0xFF000000u | (red << 16) | 0x3333, 16);
        const std::vector<std::uint32_t> out = PalettePixels({surface.data(), 16, 16}, cube, false);
        EXPECT_GE(std::set<std::uint32_t>(out.begin(), out.end()).size(), 2u) << red;
        EXPECT_NEAR(MeanChannel(out, cube, &PaletteColour::Red), red, 8) << red;
        EXPECT_NEAR(MeanChannel(out, cube, &PaletteColour::Green), 0x33, 8) << red;
    }
}

TEST(X11Pixels, GreyVisualsCompareLightnessAndTwoColoursDitherToMidGrey)
{
    // Black and white only: mid grey is half of each, pure green is lighter than pure blue.
    const std::vector<PaletteColour> blackWhite = Numbered(GreyRamp(2), 0);
    const std::vector<std::uint32_t> grey = Flat(0xFF808080, 16);
    const std::vector<std::uint32_t> out = PalettePixels({grey.data(), 16, 16}, blackWhite, true);
    EXPECT_NEAR(MeanChannel(out, blackWhite, &PaletteColour::Red), 128, 10);
    const std::vector<PaletteColour> ramp = Numbered(GreyRamp(16), 0);
    const std::vector<std::uint32_t> green = Flat(0xFF00FF00, 8), blue = Flat(0xFF0000FF, 8);
    const double greenLightness =
        MeanChannel(PalettePixels({green.data(), 8, 8}, ramp, true), ramp, &PaletteColour::Red);
    const double blueLightness =
        MeanChannel(PalettePixels({blue.data(), 8, 8}, ramp, true), ramp, &PaletteColour::Red);
    EXPECT_GT(greenLightness, blueLightness + 60);
    // Nothing to choose from, or nothing to draw.
    EXPECT_EQ(PalettePixels({grey.data(), 16, 16}, {}, false), std::vector<std::uint32_t>(256, 0));
    EXPECT_TRUE(PalettePixels({nullptr, 16, 16}, ramp, true).empty());
}

TEST(X11DoubleClick, SecondPressRecognisedOnlyWithinTimeAndDistance)
{
    struct Press {
        int Button, X, Y;
        std::uint32_t Time;
        bool Second;
    };
    struct Case {
        const char* Name;
        std::vector<Press> Presses;
    };
    const Case cases[] = {
        {"quick second press", {{1, 10, 10, 1000, false}, {1, 10, 10, 1200, true}}},
        {"at the time limit", {{1, 10, 10, 1000, false}, {1, 10, 10, 1400, true}}},
        {"just too late", {{1, 10, 10, 1000, false}, {1, 10, 10, 1401, false}}},
        {"at the distance limit", {{1, 10, 10, 0, false}, {1, 15, 5, 100, true}}},
        {"too far across", {{1, 10, 10, 0, false}, {1, 16, 10, 100, false}}},
        {"too far down", {{1, 10, 10, 0, false}, {1, 10, 16, 100, false}}},
        {"other button", {{1, 10, 10, 0, false}, {3, 10, 10, 100, false}}},
        {"third press starts a new pair",
         {{1, 0, 0, 0, false}, {1, 0, 0, 100, true}, {1, 0, 0, 200, false}, {1, 0, 0, 300, true}}},
        {"late press becomes the new first",
         {{1, 0, 0, 0, false}, {1, 0, 0, 1000, false}, {1, 0, 0, 1100, true}}},
        {"clock wraps between presses", {{1, 0, 0, 0xFFFFFF00u, false}, {1, 0, 0, 0x40, true}}},
    };
    for (const Case& c : cases) {
        DoubleClickDetector detector;
        for (std::size_t i = 0; i < c.Presses.size(); ++i) {
            const Press& p = c.Presses[i];
            EXPECT_EQ(detector.Press(p.Button, p.X, p.Y, p.Time), p.Second)
                << c.Name << ", press " << i + 1;
        }
    }
}

TEST(X11DoubleClick, DesktopLimitsReplaceTheDefaultsAndResetForgets)
{
    DoubleClickDetector detector;
    detector.SetLimits(100, 1);
    EXPECT_FALSE(detector.Press(1, 0, 0, 0));
    EXPECT_FALSE(detector.Press(1, 0, 0, 150));  // within 400 ms but not within 100
    EXPECT_TRUE(detector.Press(1, 1, 1, 250));
    EXPECT_FALSE(detector.Press(1, 0, 0, 300));
    detector.Reset();
    EXPECT_FALSE(detector.Press(1, 0, 0, 310));
}

namespace {

// Builds an XSETTINGS property in either byte order.
class XSettingsBlob {
public:
    explicit XSettingsBlob(bool bigEndian, std::uint32_t count) : m_big(bigEndian)
    {
        m_bytes.push_back(bigEndian ? 1 : 0);
        Pad(3);
        Card32(7);  // serial
        Card32(count);
    }
    void Integer(const std::string& name, std::int32_t value)
    {
        Header(0, name);
        Card32(static_cast<std::uint32_t>(value));
    }
    void String(const std::string& name, const std::string& value)
    {
        Header(1, name);
        Card32(static_cast<std::uint32_t>(value.size()));
        m_bytes.insert(m_bytes.end(), value.begin(), value.end());
        Pad((4 - value.size() % 4) % 4);
    }
    void Color(const std::string& name)
    {
        Header(2, name);
        Pad(8);
    }
    void Raw(std::uint8_t byte) { m_bytes.push_back(byte); }
    std::vector<std::uint8_t>& Bytes() { return m_bytes; }

private:
    void Header(std::uint8_t type, const std::string& name)
    {
        m_bytes.push_back(type);
        Pad(1);
        Card16(static_cast<std::uint16_t>(name.size()));
        m_bytes.insert(m_bytes.end(), name.begin(), name.end());
        Pad((4 - name.size() % 4) % 4);
        Card32(3);  // last-change serial
    }
    void Pad(std::size_t n) { m_bytes.insert(m_bytes.end(), n, 0); }
    void Card16(std::uint16_t v)
    {
        const std::uint8_t b[2] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
        Put(b, 2);
    }
    void Card32(std::uint32_t v)
    {
        const std::uint8_t b[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                                   static_cast<std::uint8_t>(v >> 16),
                                   static_cast<std::uint8_t>(v >> 24)};
        Put(b, 4);
    }
    void Put(const std::uint8_t* little, std::size_t n)
    {
        for (std::size_t i = 0; i < n; ++i) m_bytes.push_back(m_big ? little[n - 1 - i] : little[i]);
    }
    bool m_big;
    std::vector<std::uint8_t> m_bytes;
};

}  // namespace

TEST(X11XSettings, ReadsIntegersPastStringsAndColoursInBothByteOrders)
{
    for (bool big : {false, true}) {
        XSettingsBlob blob(big, 4);
        blob.String("Net/ThemeName", "Adwaita");
        blob.Integer("Net/DoubleClickTime", 250);
        blob.Color("Gtk/Color");
        blob.Integer("Net/DoubleClickDistance", -3);
        std::map<std::string, int> values;
        EXPECT_TRUE(ReadXSettingsIntegers(blob.Bytes(), values)) << big;
        EXPECT_EQ(values.size(), 2u);
        EXPECT_EQ(values["Net/DoubleClickTime"], 250) << big;
        EXPECT_EQ(values["Net/DoubleClickDistance"], -3) << big;
    }
}

TEST(X11XSettings, MalformedDataIsRejectedKeepingWhatCameBefore)
{
    {
        XSettingsBlob blob(false, 2);  // says two settings, holds one
        blob.Integer("Net/DoubleClickTime", 300);
        std::map<std::string, int> values;
        EXPECT_FALSE(ReadXSettingsIntegers(blob.Bytes(), values));
        EXPECT_EQ(values["Net/DoubleClickTime"], 300);
    }
    {
        XSettingsBlob blob(false, 1);
        blob.Integer("Net/DoubleClickTime", 300);
        blob.Bytes().resize(blob.Bytes().size() - 2);  // value cut short
        std::map<std::string, int> values;
        EXPECT_FALSE(ReadXSettingsIntegers(blob.Bytes(), values));
        EXPECT_TRUE(values.empty());
    }
    {
        XSettingsBlob blob(false, 1);
        blob.Raw(9);  // unknown setting type
        blob.Bytes().resize(blob.Bytes().size() + 16, 0);
        std::map<std::string, int> values;
        EXPECT_FALSE(ReadXSettingsIntegers(blob.Bytes(), values));
    }
    std::map<std::string, int> values;
    EXPECT_FALSE(ReadXSettingsIntegers({}, values));
    const std::uint8_t badOrder[12] = {5};
    EXPECT_FALSE(ReadXSettingsIntegers(badOrder, values));
}

namespace {

void Le16(std::vector<std::uint8_t>& out, unsigned v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Le32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// A bitmap entry: header, palette, colour rows (bottom up), mask rows (bottom up).
std::vector<std::uint8_t> BitmapEntry(int width, int height, int bitCount,
                                      const std::vector<std::uint32_t>& palette,
                                      const std::vector<std::vector<std::uint8_t>>& colorRowsTopDown,
                                      const std::vector<std::vector<std::uint8_t>>& maskRowsTopDown)
{
    std::vector<std::uint8_t> e;
    Le32(e, 40);
    Le32(e, static_cast<std::uint32_t>(width));
    Le32(e, static_cast<std::uint32_t>(height * 2));
    Le16(e, 1);
    Le16(e, static_cast<unsigned>(bitCount));
    Le32(e, 0);
    for (int i = 0; i < 3; ++i) Le32(e, 0);  // image size, resolution
    Le32(e, static_cast<std::uint32_t>(palette.size()));
    Le32(e, 0);
    for (std::uint32_t c : palette) Le32(e, c);
    for (auto row = colorRowsTopDown.rbegin(); row != colorRowsTopDown.rend(); ++row)
        e.insert(e.end(), row->begin(), row->end());
    for (auto row = maskRowsTopDown.rbegin(); row != maskRowsTopDown.rend(); ++row)
        e.insert(e.end(), row->begin(), row->end());
    return e;
}

std::vector<std::uint8_t> IconFile(const std::vector<std::vector<std::uint8_t>>& entries)
{
    std::vector<std::uint8_t> file;
    Le16(file, 0);
    Le16(file, 1);
    Le16(file, static_cast<unsigned>(entries.size()));
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(entries.size());
    for (const auto& e : entries) {
        file.insert(file.end(), {0, 0, 0, 0});
        Le16(file, 1);
        Le16(file, 32);
        Le32(file, static_cast<std::uint32_t>(e.size()));
        Le32(file, offset);
        offset += static_cast<std::uint32_t>(e.size());
    }
    for (const auto& e : entries) file.insert(file.end(), e.begin(), e.end());
    return file;
}

// Stands in for libpng: a 1 x 2 picture, half-transparent red over opaque blue.
bool FakePng(std::span<const std::uint8_t>, DecodedImage& out)
{
    out.Width = 1;
    out.Height = 2;
    out.Pixels = {0x80800000u, 0xFF0000FFu};  // premultiplied
    return true;
}

const std::vector<std::uint8_t> PngMagic = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0};

}  // namespace

TEST(X11Icon, ReadsEveryKindOfEntryTopDownWithItsTransparency)
{
    // 2 x 2, 32 bits with alpha (rows of 8 bytes, BGRA), mask ignored.
    const auto argb = BitmapEntry(2, 2, 32, {},
                                  {{1, 2, 3, 0xFF, 4, 5, 6, 0x80}, {7, 8, 9, 0x00, 10, 11, 12, 0x40}},
                                  {{0, 0, 0, 0}, {0, 0, 0, 0}});
    // 3 x 2, 1 bit with palette black/white; mask makes the middle column transparent.
    const auto mono = BitmapEntry(3, 2, 1, {0x000000, 0xFFFFFF}, {{0xA0, 0, 0, 0}, {0x40, 0, 0, 0}},
                                  {{0x40, 0, 0, 0}, {0x40, 0, 0, 0}});
    // 1 x 1, 24 bits (row padded to 4 bytes), opaque through the mask.
    const auto rgb = BitmapEntry(1, 1, 24, {}, {{0x11, 0x22, 0x33, 0}}, {{0, 0, 0, 0}});
    // 2 x 1, 4 bits, palette index 1 then 2.
    const auto nibble = BitmapEntry(2, 1, 4, {0, 0x00FF00, 0x0000FF}, {{0x12, 0, 0, 0}}, {{0, 0, 0, 0}});
    const auto images = ReadIconImages(IconFile({argb, mono, rgb, nibble, PngMagic}), FakePng);
    ASSERT_EQ(images.size(), 5u);

    EXPECT_EQ(images[0].Width, 2);
    EXPECT_EQ(images[0].Pixels, (std::vector<std::uint32_t>{0xFF030201u, 0x80060504u, 0x00090807u,
                                                             0x400C0B0Au}));
    EXPECT_EQ(images[1].Width, 3);
    EXPECT_EQ(images[1].Height, 2);
    EXPECT_EQ(images[1].Pixels, (std::vector<std::uint32_t>{0xFFFFFFFFu, 0, 0xFFFFFFFFu,
                                                             0xFF000000u, 0, 0xFF000000u}));
    EXPECT_EQ(images[2].Pixels, (std::vector<std::uint32_t>{0xFF332211u}));
    EXPECT_EQ(images[3].Pixels, (std::vector<std::uint32_t>{0xFF00FF00u, 0xFF0000FFu}));
    // PNG entries come back straight, not premultiplied.
    EXPECT_EQ(images[4].Pixels, (std::vector<std::uint32_t>{0x80FF0000u, 0xFF0000FFu}));
}

TEST(X11Icon, ThirtyTwoBitEntryWithoutAlphaUsesItsMask)
{
    const auto entry = BitmapEntry(2, 1, 32, {}, {{1, 2, 3, 0, 4, 5, 6, 0}}, {{0x40, 0, 0, 0}});
    const auto images = ReadIconImages(IconFile({entry}), nullptr);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].Pixels, (std::vector<std::uint32_t>{0xFF030201u, 0}));
}

TEST(X11Icon, KeepsTheDeepestEntryOfEachSize)
{
    const auto paletted = BitmapEntry(1, 1, 8, {0x123456}, {{0, 0, 0, 0}}, {{0, 0, 0, 0}});
    const auto full = BitmapEntry(1, 1, 32, {}, {{9, 9, 9, 0xFF}}, {{0, 0, 0, 0}});
    const auto other = BitmapEntry(2, 1, 8, {0x123456}, {{0, 0, 0, 0}}, {{0, 0, 0, 0}});
    const auto images = ReadIconImages(IconFile({paletted, other, full}), nullptr);
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[0].Pixels, (std::vector<std::uint32_t>{0xFF090909u}));
    EXPECT_EQ(images[1].Width, 2);
}

TEST(X11Icon, DamagedFilesAndEntriesAreSkipped)
{
    EXPECT_TRUE(ReadIconImages({}, FakePng).empty());
    const std::vector<std::uint8_t> notIcon = {'G', 'I', 'F', '8', '9', 'a', 0, 0};
    EXPECT_TRUE(ReadIconImages(notIcon, FakePng).empty());

    const auto good = BitmapEntry(1, 1, 24, {}, {{1, 2, 3, 0}}, {{0, 0, 0, 0}});
    auto cut = good;
    cut.resize(cut.size() - 4);  // colour row intact, mask missing
    auto huge = good;
    huge[4] = 0xFF, huge[5] = 0xFF;  // width 65535
    auto compressed = good;
    compressed[16] = 1;  // run-length encoded
    auto file = IconFile({cut, huge, compressed, good});
    EXPECT_EQ(ReadIconImages(file, FakePng).size(), 1u);

    // A directory that points past the end of the file.
    file[6 + 12] = 0xFF, file[6 + 13] = 0xFF, file[6 + 14] = 0xFF;
    EXPECT_EQ(ReadIconImages(file, FakePng).size(), 1u);
    // A directory that claims more entries than the file holds.
    auto shortDirectory = IconFile({good});
    shortDirectory[4] = 200;
    EXPECT_TRUE(ReadIconImages(shortDirectory, FakePng).empty());
    // A PNG entry that does not decode.
    EXPECT_TRUE(ReadIconImages(IconFile({PngMagic}),
                               [](std::span<const std::uint8_t>, DecodedImage&) { return false; })
                    .empty());
}

TEST(X11Icon, NetWmIconDataIsSizeThenPixelsPerImageInBoundedPieces)
{
    const IconImage a{1, 2, {0xFF000001u, 0xFF000002u}};
    const IconImage b{1, 1, {0x80000003u}};
    const std::vector<unsigned long> whole = {1, 2, 0xFF000001u, 0xFF000002u, 1, 1, 0x80000003u};
    for (std::size_t maxPiece : {2u, 3u, 4u, 100u}) {
        std::vector<unsigned long> joined;
        std::size_t pieces = 0;
        NetWmIconData({a, b}, maxPiece, [&](std::span<const unsigned long> piece) {
            EXPECT_FALSE(piece.empty());
            EXPECT_LE(piece.size(), maxPiece);
            joined.insert(joined.end(), piece.begin(), piece.end());
            ++pieces;
        });
        EXPECT_EQ(joined, whole) << maxPiece;
        EXPECT_EQ(pieces > 1, maxPiece < whole.size()) << maxPiece;
    }
    std::size_t calls = 0;
    NetWmIconData({}, 10, [&](std::span<const unsigned long>) { ++calls; });
    EXPECT_EQ(calls, 0u);
}

TEST(LinuxExecutableName, FileNameOfTheLinkOrTheProductNameWhenItCannotBeRead)
{
    EXPECT_EQ(Linux::ExecutableFileName("/proc/self/exe"), "avendrel_x11_unit_tests");
    // Never the command line's name: the program reads no command line.
    EXPECT_EQ(Linux::ExecutableFileName("/nonexistent/link"), "Avendrel");
    EXPECT_EQ(Linux::ExecutableFileName(""), "Avendrel");
}

// --- following the desktop's accessibility switch --------------------------

namespace {

using Linux::AccessibilitySwitch;
using Linux::SwitchStep;

// One thing the session bus says, and what the program must do next.
struct SwitchEvent {
    enum Kind { Connected, NoBus, Status, StatusFails, Changed, Invalidated, Owner, Address, AddressFails, StartFails } What;
    bool A = false;  // IsEnabled, or the owner's presence
    bool B = false;  // ScreenReaderEnabled
    std::string Text;  // the address, or the root window's announcement
    SwitchStep Expected = SwitchStep::Nothing;
};

SwitchStep Feed(AccessibilitySwitch& s, const SwitchEvent& e)
{
    switch (e.What) {
    case SwitchEvent::Connected: return s.SessionBusConnected();
    case SwitchEvent::NoBus: return s.NoSessionBus(e.Text);
    case SwitchEvent::Status: return s.StatusAnswered(e.A, e.B);
    case SwitchEvent::StatusFails: return s.StatusFailed();
    case SwitchEvent::Changed: return s.StatusChanged(e.A, std::nullopt, false);
    case SwitchEvent::Invalidated: return s.StatusChanged(std::nullopt, std::nullopt, true);
    case SwitchEvent::Owner: return s.OwnerChanged(e.A);
    case SwitchEvent::Address: return s.AddressAnswered(e.Text);
    case SwitchEvent::AddressFails: return s.AddressFailed();
    case SwitchEvent::StartFails: s.StartFailed(); return SwitchStep::Nothing;
    }
    return SwitchStep::Nothing;
}

}  // namespace

TEST(AccessibilitySwitch, StartsOnlyOnceTheDesktopSaysAccessibilityIsOn)
{
    using E = SwitchEvent;
    using S = SwitchStep;
    const std::string bus = "unix:path=/run/user/1000/at-spi/bus_0";
    const struct {
        const char* Name;
        std::vector<SwitchEvent> Events;
        std::string Address;  // where it started; empty: it did not
    } cases[] = {
        {"on at start", {{E::Connected, 0, 0, "", S::AskStatus}, {E::Status, 1, 0, "", S::AskAddress},
                         {E::Address, 0, 0, bus, S::Start}}, bus},
        {"a screen reader alone is enough",
         {{E::Connected, 0, 0, "", S::AskStatus}, {E::Status, 0, 1, "", S::AskAddress},
          {E::Address, 0, 0, bus, S::Start}}, bus},
        {"off: nothing more is asked", {{E::Connected, 0, 0, "", S::AskStatus}, {E::Status, 0, 0, "", S::Nothing}}, ""},
        {"switched on later",
         {{E::Connected, 0, 0, "", S::AskStatus}, {E::Status, 0, 0, "", S::Nothing},
          {E::Changed, 1, 0, "", S::AskAddress}, {E::Address, 0, 0, bus, S::Start}}, bus},
        {"switched on and off before the address came: not started",
         {{E::Connected, 0, 0, "", S::AskStatus}, {E::Status, 0, 0, "", S::Nothing},
          {E::Changed, 1, 0, "", S::AskAddress}, {E::Changed, 0, 0, "", S::Nothing},
          {E::Address, 0, 0, bus, S::Nothing}}, ""},
        {"switched on twice: one question for the address",
         {{E::Connected, 0, 0, "", S::AskStatus}, {E::Changed, 1, 0, "", S::AskAddress},
          {E::Status, 1, 0, "", S::Nothing}, {E::Address, 0, 0, bus, S::Start},
          {E::Changed, 0, 0, "", S::Nothing}, {E::Changed, 1, 0, "", S::Nothing}}, bus},
        {"no launcher yet; it comes and is on",
         {{E::Connected, 0, 0, "", S::AskStatus}, {E::StatusFails, 0, 0, "", S::Nothing},
          {E::Owner, 1, 0, "", S::AskStatus}, {E::Status, 1, 0, "", S::AskAddress},
          {E::Address, 0, 0, bus, S::Start}}, bus},
        {"the launcher goes: its switch goes with it",
         {{E::Connected, 0, 0, "", S::AskStatus}, {E::Status, 1, 0, "", S::AskAddress},
          {E::Owner, 0, 0, "", S::Nothing}, {E::AddressFails, 0, 0, "", S::Nothing},
          {E::Owner, 1, 0, "", S::AskStatus}, {E::Status, 0, 0, "", S::Nothing}}, ""},
        {"told only that the switch changed: asked again",
         {{E::Connected, 0, 0, "", S::AskStatus}, {E::Status, 0, 0, "", S::Nothing},
          {E::Invalidated, 0, 0, "", S::AskStatus}, {E::Invalidated, 0, 0, "", S::Nothing},
          {E::Status, 0, 1, "", S::AskAddress}}, ""},
        {"an empty address starts nothing",
         {{E::Connected, 0, 0, "", S::AskStatus}, {E::Status, 1, 0, "", S::AskAddress},
          {E::Address, 0, 0, "", S::Nothing}}, ""},
        {"a failed start waits for the next switch",
         {{E::Connected, 0, 0, "", S::AskStatus}, {E::Status, 1, 0, "", S::AskAddress},
          {E::Address, 0, 0, bus, S::Start}, {E::StartFails, 0, 0, "", S::Nothing},
          {E::Changed, 1, 0, "", S::AskAddress}, {E::Address, 0, 0, bus, S::Start}}, bus},
        {"no session bus: the root window's announcement",
         {{E::NoBus, 0, 0, bus, S::Start}}, bus},
        {"no session bus and no announcement", {{E::NoBus, 0, 0, "", S::Nothing}}, ""},
    };
    for (const auto& c : cases) {
        AccessibilitySwitch s;
        for (std::size_t i = 0; i < c.Events.size(); ++i)
            EXPECT_EQ(Feed(s, c.Events[i]), c.Events[i].Expected) << c.Name << ", step " << i;
        EXPECT_EQ(s.Started(), !c.Address.empty()) << c.Name;
        if (!c.Address.empty()) {
            EXPECT_EQ(s.Address(), c.Address) << c.Name;
        }
    }
}

TEST(AccessibilitySwitch, TheSessionBusIsTheSessionsOrTheUsersSocketAndNeverStarted)
{
    static std::set<std::string> sockets;
    const auto exists = [](const std::string& path) { return sockets.count(path) > 0; };
    sockets = {"/run/user/1000/bus"};
    const struct {
        const char* Session;
        const char* Runtime;
        std::string Expected;
    } cases[] = {
        {"unix:path=/tmp/session", "/run/user/1000", "unix:path=/tmp/session"},
        {nullptr, "/run/user/1000", "unix:path=/run/user/1000/bus"},
        {"", "/run/user/1000", "unix:path=/run/user/1000/bus"},
        {"disabled:", "/run/user/1000", ""},    // the session says it has no bus
        {nullptr, "/run/user/1001", ""},         // no socket there
        {nullptr, nullptr, ""},                  // nothing known: no bus is started
        {nullptr, "run/user/1000", ""},          // not an absolute folder
        {nullptr, "/run/user/a;b", ""},          // would need escaping in an address
    };
    for (const auto& c : cases)
        EXPECT_EQ(Linux::SessionBusAddress(c.Session, c.Runtime, exists), c.Expected)
            << (c.Session ? c.Session : "(unset)") << " " << (c.Runtime ? c.Runtime : "(unset)");
}
