// The form definition: the real one builds TForm1 exactly as declared; broken
// ones are refused with a message that names the line and what was expected.

#include "HeadlessFixture.h"
#include "framework/Exceptions.h"
#include "platform/EmbeddedResources.h"
#include "ui/Unit1.h"

#include <gmock/gmock.h>

namespace {

std::string RealDefinition()
{
    const auto bytes = Platform::FindEmbeddedResource("TFORM1");
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// The 1-based line on which `text` holds `needle`.
int LineOf(const std::string& text, const std::string& needle)
{
    const std::size_t at = text.find(needle);
    EXPECT_NE(at, std::string::npos) << needle;
    return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(at), '\n'));
}

std::string Replace(std::string text, const std::string& from, const std::string& to)
{
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

class Definition : public HeadlessFixture {};

}  // namespace

TEST_F(Definition, TheRealDefinitionBuildsTForm1AsDeclared)
{
    auto* form = new TForm1(Application);
    form->LoadDefinition();
    EXPECT_EQ(form->Name(), "Form1");
    EXPECT_EQ(form->Caption, "Avendrel");
    EXPECT_EQ(form->ClientWidth, 800);
    EXPECT_EQ(form->ClientHeight, 677);
    EXPECT_EQ(form->Position, TFormPosition::ScreenCenter);
    EXPECT_TRUE(form->Transparency);
    EXPECT_TRUE(form->OnCreate);

    ASSERT_EQ(form->Controls().size(), 3u);
    EXPECT_EQ(form->Controls()[0], form->Image1) << "z-order: the picture at the bottom";
    EXPECT_EQ(form->Controls()[1], form->Image11);
    EXPECT_EQ(form->Controls()[2], form->Image13);

    EXPECT_EQ(form->Image1->BoundsRect(), (TRect{0, 0, 800, 677}));
    EXPECT_EQ(form->Image1->Align(), TAlignLayout::Client);
    EXPECT_EQ(form->Image1->Cursor(), TCursor::Default);
    EXPECT_FALSE(form->Image1->OnClick);
    ASSERT_EQ(form->Image1->Bitmaps().size(), 1u);
    const TBitmapEntry& artwork = form->Image1->Bitmaps()[0];
    EXPECT_EQ(artwork.Scale, 1.0);
    EXPECT_EQ(artwork.Width, 800);
    EXPECT_EQ(artwork.Height, 493);
    ASSERT_TRUE(artwork.Bitmap);
    EXPECT_EQ(artwork.Bitmap->Width, 800);
    EXPECT_EQ(artwork.Bitmap->Height, 493);
    EXPECT_EQ(form->Image1->PictureRect(), (TRect{0, 92, 800, 493}));

    EXPECT_EQ(form->AccessibleName, "Avendrel");
    EXPECT_THAT(form->AccessibleDescription,
                ::testing::StartsWith("Thank you for downloading Avendrel! Manage your bookings"));
    const struct {
        TImage* Control;
        TAccessibleRole Role;
        const char* Name;
    } announced[] = {
        {form->Image1, TAccessibleRole::Graphic, "Thank you for downloading Avendrel!"},
        {form->Image11, TAccessibleRole::PushButton,
         "Start free trial. Sign up now \xe2\x80\x93 no credit card required"},
        {form->Image13, TAccessibleRole::Link, "www.avendrel.com"},
    };
    for (const auto& a : announced) {
        EXPECT_EQ(a.Control->AccessibleRole(), a.Role) << a.Control->Name();
        EXPECT_EQ(a.Control->AccessibleName(), a.Name) << a.Control->Name();
    }

    const struct {
        TImage* Hotspot;
        TRect Bounds;
    } hotspots[] = {{form->Image11, {440, 398, 337, 86}}, {form->Image13, {602, 555, 193, 23}}};
    for (const auto& h : hotspots) {
        EXPECT_EQ(h.Hotspot->BoundsRect(), h.Bounds) << h.Hotspot->Name();
        EXPECT_TRUE(h.Hotspot->Visible());
        EXPECT_EQ(h.Hotspot->Cursor(), TCursor::HandPoint);
        EXPECT_TRUE(h.Hotspot->OnClick);
        ASSERT_EQ(h.Hotspot->Bitmaps().size(), 1u);
        EXPECT_FALSE(h.Hotspot->Bitmaps()[0].Bitmap) << "one empty entry";
    }
}

TEST_F(Definition, BrokenDefinitionsAreRefusedNamingTheLine)
{
    const std::string real = RealDefinition();
    const std::string image13 = "Name = \"Image13\"";
    const struct {
        const char* Name;
        std::string Text;
        std::string LineHolding;  // in Text; empty: line 1
        std::string Message;      // after "line N: "
    } cases[] = {
        {"syntax error", Replace(real, "ClientWidth = 800", "ClientWidth = = 800"), "ClientWidth = = 800", ""},
        {"unknown class", Replace(real, "Class = \"TImage\"", "Class = \"TPicture\""), "TPicture",
         "unknown class TPicture for Image1; expected one of TImage"},
        {"unknown property", Replace(real, "FormStyle = \"Normal\"", "FormStyle = \"Normal\"\nColour = \"Red\""),
         "Colour", "unknown property Colour of Form1 (TForm1); expected one of Caption,"},
        {"unknown control property", Replace(real, "WrapMode = \"Fit\"", "Wrapmode = \"Fit\""), "Wrapmode",
         "unknown property Wrapmode of Image1 (TImage); expected one of Left, Top,"},
        {"unknown value", Replace(real, "\"ScreenCenter\"", "\"MainFormCenter\""), "MainFormCenter",
         "expected one of Designed, ScreenCenter for Position, found \"MainFormCenter\""},
        {"unknown cursor", Replace(real, "\"HandPoint\"", "\"Hand\""), "\"Hand\"",
         "expected one of Default, Arrow, HandPoint for Cursor, found \"Hand\""},
        {"wrong kind of value", Replace(real, "ClientWidth = 800", "ClientWidth = \"800\""), "ClientWidth",
         "expected an integer for ClientWidth, found a text"},
        {"value out of range", Replace(real, "Width = 337", "Width = -337"), "Width = -337",
         "expected an integer from 0 to"},
        {"unknown handler", Replace(real, "\"Image11Click\"", "\"Image12Click\""), "Image12Click",
         "unknown handler Image12Click for OnClick; TForm1 publishes FormCreate, Image11Click, Image13Click"},
        {"missing required property", Replace(real, "Caption = \"Avendrel\"\n", ""), "[Form1]",
         "Form1 (TForm1) is missing the required property Caption"},
        {"missing control size", Replace(real, "Height = 23\n", ""), "[[Form1.Controls]]\n" + image13,
         "Image13 (TImage) is missing the required property Height"},
        {"missing control name", Replace(real, image13 + "\n", ""), "[[Form1.Controls]]\nClass",
         "expected Name = \"...\" naming the control"},
        {"another form class", Replace(real, "Class = \"TForm1\"", "Class = \"TForm2\""), "TForm2",
         "expected Class = \"TForm1\" for this form, found \"TForm2\""},
        {"two controls of one name", Replace(real, image13, "Name = \"Image11\""), "Name = \"Image11\"\nClass = \"TImage\"\nLeft = 602",
         "expected a new name, found a second control named Image11"},
        {"a name that is no identifier", Replace(real, image13, "Name = \"Image 13\""), "Image 13",
         "expected an identifier for the name: ''Image 13'' is not a valid component name"},
        {"a published field without its control", Replace(real, image13, "Name = \"Image14\""), "[Form1]",
         "Form1 (TForm1) is missing the control Image13 of its field Image13"},
        {"a missing resource", Replace(real, "\"ARTWORK\"", "\"ARTWORK2\""), "ARTWORK2",
         "expected a resource named ARTWORK2 in the executable"},
        {"a picture of another size", Replace(real, "Height = 493", "Height = 490"), "Height = 490",
         "expected a 800 x 490 picture in ARTWORK, found 800 x 493"},
        {"a bitmap entry without a scale", Replace(real, "[{ Scale = 1.0 }]", "[{ }]"), "[{ }]",
         "a bitmap entry is missing the required field Scale"},
        {"border icons on a borderless form", Replace(real, "BorderIcons = []", "BorderIcons = [\"Maximize\"]"),
         "BorderIcons", "expected [] for BorderIcons"},
        {"a second form", real + "\n[Form2]\nClass = \"TForm1\"\n", "[Form2]",
         "expected one form table, found a second entry Form2"},
        {"nothing at all", "# empty\n", "", "expected a form table such as [Form1]"},
        {"unknown accessible property", Replace(real, "AccessibleRole = \"Link\"", "AccessibleRol = \"Link\""),
         "AccessibleRol =", "unknown property AccessibleRol of Image13 (TImage); expected one of Left,"},
        {"unknown accessible role", Replace(real, "\"PushButton\"", "\"Button\""), "\"Button\"",
         "expected one of Graphic, PushButton, Link for AccessibleRole, found \"Button\""},
        {"accessible name of another kind", Replace(real, "AccessibleName = \"Avendrel\"", "AccessibleName = 1"),
         "AccessibleName = 1", "expected a text for AccessibleName, found an integer"},
        {"empty accessible name", Replace(real, "AccessibleName = \"www.avendrel.com\"", "AccessibleName = \"\""),
         "AccessibleName = \"\"", "expected a text without leading or trailing spaces for AccessibleName"},
        {"accessible text with a line break", Replace(real, "\"A browser window", "\"\\nA browser window"),
         "A browser window", "expected a text without control characters for AccessibleDescription"},
        {"accessible name without a role", Replace(real, "AccessibleRole = \"Graphic\"\n", ""),
         "AccessibleName = \"Thank", "expected AccessibleRole beside AccessibleName of Image1"},
        {"role without a name", Replace(real, "AccessibleName = \"www.avendrel.com\"\n", ""),
         "AccessibleRole = \"Link\"", "expected AccessibleName beside AccessibleRole of Image13"},
        {"a button that cannot be clicked", Replace(real, "OnClick = \"Image11Click\"\n", ""),
         "AccessibleRole = \"PushButton\"",
         "expected OnClick beside AccessibleRole = \"PushButton\" of Image11: its default action is a click"},
    };
    for (const auto& c : cases) {
        const int line = c.LineHolding.empty() ? 1 : LineOf(c.Text, c.LineHolding);
        auto* form = new TForm1(Application);
        try {
            form->BuildFromText(c.Text);
            ADD_FAILURE() << c.Name << ": accepted";
        } catch (const EDefinitionError& error) {
            const std::string prefix = "line " + std::to_string(line) + ": ";
            EXPECT_THAT(error.what(), ::testing::StartsWith(prefix + c.Message)) << c.Name;
            EXPECT_EQ(error.Line, line) << c.Name;
        }
        delete form;
    }
}

TEST_F(Definition, AFormClassWithoutItsDefinitionIsAClearError)
{
    struct TForm9 : TForm {
        using TForm::TForm;
        const char* ClassName() const override { return "TForm9"; }
    };
    auto* form = new TForm9(Application);
    try {
        form->LoadDefinition();
        ADD_FAILURE() << "built without a definition";
    } catch (const EResourceError& error) {
        EXPECT_STREQ(error.what(), "The definition TFORM9 of TForm9 is not in the executable.");
    }
    delete form;
}

TEST_F(Definition, TextsOutsideAsciiAreRefusedBeforeParsing)
{
    // A byte outside ASCII anywhere, even inside a text or a comment, names its line.
    for (const char* text : {"[Form1]\nClass = \"TForm1\"\nCaption = \"Av\xc3\xa9ndrel\"\n",
                             "# \xef\xb8\x8f\n[Form1]\n", "[Form1]\n\n\xcc\xaa"}) {
        auto* form = new TForm1(Application);
        try {
            form->BuildFromText(text);
            ADD_FAILURE() << "accepted " << text;
        } catch (const EDefinitionError& error) {
            const std::string s = text;
            const int line = 1 + static_cast<int>(std::count(s.begin(), s.begin() + static_cast<long>(
                                                                 s.find_first_of("\x80\x81\xaa\xb8\xc3\xcc\xef")), '\n'));
            EXPECT_EQ(error.Line, line) << text;
            EXPECT_THAT(error.what(), ::testing::HasSubstr("expected ASCII text")) << text;
        }
        delete form;
    }
}
