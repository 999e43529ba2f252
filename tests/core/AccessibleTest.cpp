// What assistive technology is told: the window and its announced controls
// with roles, names, description, screen bounds and state, and default
// actions that do exactly what a click does, and nothing while the box is open.

#include "HeadlessFixture.h"
#include "ProgramRun.h"
#include "ui/Unit1.h"

#include <gmock/gmock.h>

using namespace Platform::Headless;
using ::testing::ElementsAre;

namespace {

const std::string kTone = "Beep(1200,5)";
const std::string kQuestion =
    "MessageBox(window1,\"Do you want to close the application?\",\"Confirm\",0x24)";
const std::string kOpenSignUp = "ShellExecute(null,\"OPEN\",\"http://book.avendrel.com/signup\",\"\",\"\",1)";
const std::string kOpenHome = "ShellExecute(null,\"OPEN\",\"http://www.avendrel.com/\",\"\",\"\",1)";

// Indexes in the tree: 0 the window, then the announced controls bottom first.
constexpr int kPicture = 1, kSignUp = 2, kHome = 3;

const char* const kDescription =
    "Thank you for downloading Avendrel! Manage your bookings on the go with the free Avendrel "
    "phone apps. Online booking, open around the clock. Automatic e-mail and text reminders. "
    "Your calendar on every device. Award-winning: Best Booking App 2027. Free for 30 days "
    "\xe2\x80\x93 every feature included.";

class Accessible : public HeadlessFixture {
protected:
    // Builds TForm1 from the real definition and shows it on a 1920 x 1080 screen.
    Platform::AccessibleTree& ShowForm()
    {
        form_ = new TForm1(Application);
        form_->LoadDefinition();
        form_->Show();
        Platform::AccessibleTree* tree = AccessibleTreeOfWindow();
        EXPECT_EQ(tree, &form_->Accessible()) << "the window is handed the form's tree";
        return *tree;
    }
    TForm1* form_ = nullptr;
};

Platform::AccessibleNode Describe(const Platform::AccessibleTree& tree, int index)
{
    Platform::AccessibleNode node;
    EXPECT_TRUE(tree.DescribeAccessible(index, node)) << index;
    return node;
}

}  // namespace

TEST_F(Accessible, TheWindowAndItsHotspotsAreAnnouncedWithScreenBounds)
{
    Platform::AccessibleTree& tree = ShowForm();
    ASSERT_EQ(tree.AccessibleChildCount(), 3);
    using R = Platform::AccessibleRole;
    // The window is centred at 560, 202; the picture is drawn at window y 92.
    const struct {
        R Role;
        std::string Name, Description, Action;
        int Left, Top, Width, Height;
    } expected[] = {
        {R::Window, "Avendrel", kDescription, "", 560, 202, 800, 677},
        {R::Graphic, "Thank you for downloading Avendrel!", "", "", 560, 294, 800, 493},
        {R::PushButton, "Start free trial. Sign up now \xe2\x80\x93 no credit card required",
         "A browser window will open on book.avendrel.com", "Press", 1000, 600, 337, 86},
        {R::Link, "www.avendrel.com", "", "Jump", 1162, 757, 193, 23},
    };
    for (int i = 0; i < 4; ++i) {
        const auto& e = expected[i];
        const Platform::AccessibleNode node = Describe(tree, i);
        EXPECT_EQ(node.Role, e.Role) << i;
        EXPECT_EQ(node.Name, e.Name) << i;
        EXPECT_EQ(node.Description, e.Description) << i;
        EXPECT_EQ(node.DefaultAction, e.Action) << i;
        EXPECT_EQ((TRect{node.Left, node.Top, node.Width, node.Height}),
                  (TRect{e.Left, e.Top, e.Width, e.Height})) << i;
        EXPECT_TRUE(node.Enabled) << i;
        EXPECT_TRUE(node.Showing) << i;
    }
    Platform::AccessibleNode node;
    EXPECT_FALSE(tree.DescribeAccessible(4, node));
    EXPECT_FALSE(tree.DescribeAccessible(-1, node));

    // A hidden control is not announced.
    form_->Image11->SetVisible(false);
    ASSERT_EQ(tree.AccessibleChildCount(), 2);
    EXPECT_EQ(Describe(tree, 2).Name, "www.avendrel.com");
}

TEST_F(Accessible, HitTestingFindsTheTopmostObjectAtAScreenPoint)
{
    const Platform::AccessibleTree& tree = ShowForm();
    const struct {
        int X, Y;  // window coordinates; the window is at 560, 202
        int Index;
    } cases[] = {
        {608, 440, kSignUp}, {440, 398, kSignUp}, {776, 483, kSignUp}, {700, 566, kHome},
        {794, 577, kHome},   {100, 300, kPicture}, {777, 483, kPicture}, {400, 50, 0},
        {400, 600, 0},       {-1, 300, -1},        {800, 300, -1},       {400, 677, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tree.AccessibleAt(560 + c.X, 202 + c.Y), c.Index) << c.X << "," << c.Y;
}

TEST_F(Accessible, WhileTheWindowIsDisabledEverythingIsDisabledAndNothingActs)
{
    Platform::AccessibleTree& tree = ShowForm();
    form_->SetEnabled(false);
    for (int i = 0; i <= 3; ++i) EXPECT_FALSE(Describe(tree, i).Enabled) << i;
    EXPECT_FALSE(tree.DoAccessibleAction(kHome));
    EXPECT_FALSE(tree.DoAccessibleAction(kSignUp));
    form_->SetEnabled(true);
    EXPECT_TRUE(Describe(tree, kHome).Enabled);
}

namespace {

// A backend's side of the events: each one noted in the desktop's record,
// where it shows against the platform calls.
class RecordedEvents final : public Platform::AccessibleEvents {
public:
    void AccessibleEnabledChanged(int index, bool enabled) noexcept override
    {
        Note("EnabledChanged(" + std::to_string(index) + "," + (enabled ? "on" : "off") + ")");
    }
};

}  // namespace

TEST_F(Accessible, EveryObjectIsAnnouncedDisabledAndEnabledAgainWhenTheFormIs)
{
    Platform::AccessibleTree& tree = ShowForm();
    RecordedEvents events;
    tree.SetAccessibleEvents(&events);
    const auto announced = [] {
        std::vector<std::string> seen;
        for (const std::string& call : Calls())
            if (call.rfind("EnabledChanged", 0) == 0) seen.push_back(call);
        return seen;
    };
    // As a modal box disables its owner and enables it again.
    form_->SetEnabled(false);
    form_->SetEnabled(true);
    EXPECT_THAT(announced(), ElementsAre("EnabledChanged(0,off)", "EnabledChanged(1,off)",
                                         "EnabledChanged(2,off)", "EnabledChanged(3,off)",
                                         "EnabledChanged(0,on)", "EnabledChanged(1,on)",
                                         "EnabledChanged(2,on)", "EnabledChanged(3,on)"));

    // Only a change is announced, and nothing once the backend has let go.
    form_->SetEnabled(true);
    EXPECT_EQ(announced().size(), 8u);
    tree.SetAccessibleEvents(nullptr);
    form_->SetEnabled(false);
    form_->SetEnabled(true);
    EXPECT_EQ(announced().size(), 8u);
}

TEST(AccessibleProgram, DefaultActionsDoWhatClicksDo)
{
    const struct {
        const char* Name;
        std::vector<Event> Events;
        std::vector<BoxAnswer> Answers;
        bool Ends;
        std::vector<std::string> Actions;
    } cases[] = {
        {"home page, twice", {AccessibleAction(kHome), AccessibleAction(kHome)}, {}, false,
         {kTone, kOpenHome, kTone, kOpenHome}},
        {"sign-up answered No", {AccessibleAction(kSignUp)}, {{Platform::Box::ResultNo, {}}}, false,
         {kTone, kQuestion, kOpenSignUp}},
        {"sign-up answered Yes", {AccessibleAction(kSignUp), AccessibleAction(kHome)},
         {{Platform::Box::ResultYes, {}}}, true, {kTone, kQuestion, kOpenSignUp, "ExitProcess(0)"}},
        {"nothing behind the picture, the window or past the end",
         {AccessibleAction(kPicture), AccessibleAction(0), AccessibleAction(4), AccessibleAction(-1)},
         {}, false, {}},
        {"nothing while the box is open; the answer still counts",
         {AccessibleAction(kSignUp)},
         {{Platform::Box::ResultYes, {AccessibleAction(kHome), AccessibleAction(kSignUp)}}}, true,
         {kTone, kQuestion, kOpenSignUp, "ExitProcess(0)"}},
    };
    for (const auto& c : cases) {
        Script script;
        script.Events = c.Events;
        script.Answers = c.Answers;
        const ProgramRun run = RunProgram(script);
        EXPECT_EQ(run.Ended, c.Ends) << c.Name;
        if (c.Ends) {
            EXPECT_EQ(run.Status, 0) << c.Name;
        }
        EXPECT_EQ(run.Actions(), c.Actions) << c.Name;
    }

    // Refusals are seen as such, and the scripted clicks after them still act.
    Script script;
    script.Events = {AccessibleAction(kPicture)};
    for (const Event& e : Click(700, 566)) script.Events.push_back(e);
    script.Answers = {{Platform::Box::ResultNo, {AccessibleAction(kHome)}}};
    const ProgramRun run = RunProgram(script);
    EXPECT_THAT(run.Only({"<AccessibleAction", "AccessibleActionRefused", "Beep", "ShellExecute"}),
                ElementsAre("<AccessibleAction(1)", "AccessibleActionRefused", kTone, kOpenHome));
}
