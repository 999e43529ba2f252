// The whole program on the headless desktop: start-up, placement, the
// hotspots' actions, the ways it ends, and what happens when a box fails.

#include "ProgramRun.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace Platform::Headless;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

constexpr int kSignUpX = 608, kSignUpY = 440;
constexpr int kHomeX = 700, kHomeY = 566;

const std::string kTone = "Beep(1200,5)";
const std::string kQuestion =
    "MessageBox(window1,\"Do you want to close the application?\",\"Confirm\",0x24)";
const std::string kOpenSignUp = "ShellExecute(null,\"OPEN\",\"http://book.avendrel.com/signup\",\"\",\"\",1)";
const std::string kOpenHome = "ShellExecute(null,\"OPEN\",\"http://www.avendrel.com/\",\"\",\"\",1)";
const std::string kErrorBox =
    "MessageBox(window1,\"The message box could not be shown.\",\"Error\",0x10)";

Script WithEvents(std::vector<Event> events, std::vector<BoxAnswer> answers = {})
{
    Script script;
    script.Events = std::move(events);
    script.Answers = std::move(answers);
    return script;
}

std::vector<Event> Join(std::initializer_list<std::vector<Event>> parts)
{
    std::vector<Event> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

}  // namespace

TEST(Program, StartsByBuildingTheFormThenShowsItCentredAndWaits)
{
    const ProgramRun run = RunProgram({});
    EXPECT_FALSE(run.Ended);
    EXPECT_THAT(run.Calls, ElementsAre("Init", "FindResource(TFORM1)", "FindResource(ARTWORK)",
                                       ::testing::StartsWith("DecodePng("), "GetScreenSize",
                                       "ExecutableName",
                                       "CreateWindow(\"Avendrel\",\"Avendrel\",560,202,800,677)",
                                       "PresentWindow(window1,800x677,560,202)", "ShowWindow(window1)",
                                       "RunLoop"));
}

TEST(Program, PlacementFollowsTheScreenForAnySize)
{
    const struct {
        int Width, Height;
        const char* Window;
    } cases[] = {
        {1920, 1080, "560,202"}, {1680, 1050, "440,186"}, {1366, 768, "283,46"},
        {800, 600, "0,-38"},     {1025, 769, "112,46"},   {320, 240, "-240,-218"},
    };
    for (const auto& c : cases) {
        Script script;
        script.Screen = {c.Width, c.Height};
        const ProgramRun run = RunProgram(script);
        EXPECT_THAT(run.Only({"CreateWindow", "PresentWindow"}),
                    ElementsAre("CreateWindow(\"Avendrel\",\"Avendrel\"," + std::string(c.Window) + ",800,677)",
                                "PresentWindow(window1,800x677," + std::string(c.Window) + ")"))
            << c.Width << " x " << c.Height;
    }
}

TEST(Program, TaskNameComesFromTheExecutableFileName)
{
    const struct {
        const char* File;
        const char* Name;
    } cases[] = {{"Avendrel.exe", "Avendrel"}, {"AVENDREL.EXE", "Avendrel"},
                 {"avendrel", "avendrel"},     {"AvenDrel.Setup.exe", "Avendrel"},
                 {"X", "X"},
                 // Every letter after the first is lowered, not only A to Z;
                 // the first is kept whatever it is.
                 {"AVENDREL\u00C4\u00D6.EXE", "Avendrel\u00E4\u00F6"},
                 {"\u00C4VENDREL.exe", "\u00C4vendrel"},
                 {"\u0391\u0392\u0393.exe", "\u0391\u03B2\u03B3"},
                 {"\u00C9T\u00C9-2024.EXE", "\u00C9t\u00E9-2024"},
                 // Bytes that are not UTF-8 stay as they are.
                 {"AB\xFF" "CD.exe", "Ab\xFF" "cd"}};
    for (const auto& c : cases) {
        Script script;
        script.ExecutableName = c.File;
        const ProgramRun run = RunProgram(script);
        EXPECT_THAT(run.Only({"CreateWindow"}),
                    ElementsAre("CreateWindow(\"Avendrel\",\"" + std::string(c.Name) + "\",560,202,800,677)"))
            << c.File;
    }
}

TEST(Program, SignUpAnsweredYesOpensThePageThenEndsWithStatusZero)
{
    const ProgramRun run = RunProgram(WithEvents(
        Join({Click(kSignUpX, kSignUpY), Click(kHomeX, kHomeY)}), {{Platform::Box::ResultYes, {}}}));
    EXPECT_TRUE(run.Ended);
    EXPECT_EQ(run.Status, 0);
    // The home-page click queued after it never runs: the handler does not return.
    EXPECT_THAT(run.Actions(), ElementsAre(kTone, kQuestion, kOpenSignUp, "ExitProcess(0)"));
    // Finalisation destroys the window and closes the desktop before the exit.
    EXPECT_THAT(run.Only({"DestroyWindow", "Terminate", "ExitProcess"}),
                ElementsAre("DestroyWindow(window1)", "Terminate", "ExitProcess(0)"));
    EXPECT_THAT(run.Only({"<Press", "<Release"}),
                ElementsAre("<Press(608,440,Left)", "<Release(608,440,Left)"));
}

TEST(Program, EveryWayOfEndingFinishesTheHandOversAfterTheWindowIsGone)
{
    // An address still on its way to the browser must not die with the
    // process: the window goes first, then the hand-overs are finished
    // (bounded), then the desktop is closed and the process exits.
    struct Case {
        const char* Name;
        Script Run;
        std::vector<std::string> Expected;
    };
    const std::vector<Case> cases = {
        {"sign-up answered Yes",
         WithEvents(Click(kSignUpX, kSignUpY), {{Platform::Box::ResultYes, {}}}),
         {kOpenSignUp, "DestroyWindow(window1)", "FinishHandOvers(10000) with 1 in progress",
          "Terminate", "ExitProcess(0)"}},
        {"home page, then a close request at once",
         WithEvents(Join({Click(kHomeX, kHomeY), {CloseRequest()}})),
         {kOpenHome, "DestroyWindow(window1)", "FinishHandOvers(10000) with 1 in progress",
          "Terminate", "ExitProcess(0)"}},
        {"a close request with nothing handed over",
         WithEvents({CloseRequest()}),
         {"DestroyWindow(window1)", "FinishHandOvers(10000) with 0 in progress", "Terminate",
          "ExitProcess(0)"}},
    };
    for (const Case& c : cases) {
        const ProgramRun run = RunProgram(c.Run);
        EXPECT_TRUE(run.Ended) << c.Name;
        EXPECT_EQ(run.Status, 0) << c.Name;
        EXPECT_EQ(run.Only({"ShellExecute", "DestroyWindow", "FinishHandOvers", "Terminate",
                            "ExitProcess"}),
                  c.Expected)
            << c.Name;
        EXPECT_EQ(run.Errors, "") << c.Name << ": nothing is printed while waiting";
    }
}

TEST(Program, SignUpAnsweredNoOpensThePageAfterTheBoxAndKeepsTheWindow)
{
    const ProgramRun run = RunProgram(WithEvents(
        Join({Click(kSignUpX, kSignUpY), Click(kHomeX, kHomeY)}), {{Platform::Box::ResultNo, {}}}));
    EXPECT_FALSE(run.Ended);
    EXPECT_THAT(run.Only({"Beep", "MessageBox", "ShellExecute", "DestroyWindow", "ExitProcess"}),
                ElementsAre(kTone, kQuestion, "MessageBox returned 7", kOpenSignUp, kTone, kOpenHome));
}

TEST(Program, ABoxThatFailsIsShownAsAnErrorAndTheLoopGoesOn)
{
    // No scripted answer: the first box fails; the error box is answered OK.
    Script script = WithEvents(Join({Click(kSignUpX, kSignUpY), Click(kHomeX, kHomeY)}));
    script.Answers = {};
    ProgramRun run = RunProgram(script);
    EXPECT_FALSE(run.Ended);
    // Failing box, then the error box (which fails too: nothing more can be shown).
    EXPECT_THAT(run.Actions(), ElementsAre(kTone, kQuestion + "=0", kErrorBox + "=0", kTone, kOpenHome));

    // With an error box that can be shown. A Yes/No box answers 6 or 7; any
    // other result means the question never reached the user: 0 (failed), -1
    // (what Wine gives without a display driver), values no button has, and
    // the results of buttons this box does not have.
    for (const int result : {Platform::Box::Failed, -1, 42, 1, 2, 3, 8, 0x7FFFFFFF}) {
        Script answered = WithEvents(Join({Click(kSignUpX, kSignUpY), Click(kHomeX, kHomeY)}),
                                     {{result, {}}, {Platform::Box::ResultOk, {}}});
        run = RunProgram(answered);
        EXPECT_FALSE(run.Ended) << result;
        EXPECT_THAT(run.Actions(), ElementsAre(kTone, kQuestion, kErrorBox, kTone, kOpenHome))
            << "nothing is opened and nothing ends when the box answered " << result;
    }
}

TEST(Program, AnErrorBoxThatGivesNoAnswerLeavesALineOnStandardError)
{
    // The question fails, then the error box returns what no OK box returns.
    Script script = WithEvents(Join({Click(kSignUpX, kSignUpY), Click(kHomeX, kHomeY)}),
                               {{-1, {}}, {-1, {}}});
    const ProgramRun run = RunProgram(script);
    EXPECT_FALSE(run.Ended);
    EXPECT_THAT(run.Actions(), ElementsAre(kTone, kQuestion, kErrorBox, kTone, kOpenHome));
    EXPECT_EQ(run.Errors, "The message box could not be shown. (The message box could not be shown.)\n");
}

TEST(Program, ClicksWhileTheBoxIsOpenDoNothingAndTheAnswerStillCounts)
{
    BoxAnswer yes{Platform::Box::ResultYes,
                  Join({Click(kHomeX, kHomeY), Click(kSignUpX, kSignUpY), {MoveTo(100, 300)}})};
    const ProgramRun run = RunProgram(WithEvents(Click(kSignUpX, kSignUpY), {yes}));
    EXPECT_TRUE(run.Ended);
    EXPECT_EQ(run.Status, 0);
    EXPECT_THAT(run.Actions(), ElementsAre(kTone, kQuestion, kOpenSignUp, "ExitProcess(0)"));
    EXPECT_THAT(run.Only({"SetCursor"}), ElementsAre("SetCursor(window1,Hand)"))
        << "the cursor stays as it was while the window is disabled";
}

TEST(Program, EveryHomePageClickOpensThePageOnceAndNeverEnds)
{
    std::vector<Event> events;
    for (int i = 0; i < 5; ++i) {
        auto click = Click(kHomeX + i, kHomeY);
        events.insert(events.end(), click.begin(), click.end());
    }
    const ProgramRun run = RunProgram(WithEvents(events));
    EXPECT_FALSE(run.Ended);
    std::vector<std::string> expected;
    for (int i = 0; i < 5; ++i) {
        expected.push_back(kTone);
        expected.push_back(kOpenHome);
    }
    EXPECT_EQ(run.Actions(), expected);
}

TEST(Program, ACloseRequestEndsWithStatusZeroWithoutAQuestion)
{
    const ProgramRun run = RunProgram(WithEvents({MoveTo(kSignUpX, kSignUpY), CloseRequest()}));
    EXPECT_TRUE(run.Ended);
    EXPECT_EQ(run.Status, 0);
    EXPECT_THAT(run.Actions(), ElementsAre("ExitProcess(0)"));
    EXPECT_THAT(run.Only({"<CloseRequest", "QuitLoop", "RunLoop returned", "DestroyWindow", "Terminate",
                          "ExitProcess"}),
                ElementsAre("<CloseRequest", "QuitLoop", "RunLoop returned", "DestroyWindow(window1)",
                            "Terminate", "ExitProcess(0)"));
}

TEST(Program, ExposeRepresentsTheSameFrame)
{
    const ProgramRun run = RunProgram(WithEvents({Expose()}));
    EXPECT_THAT(run.Only({"PresentWindow"}), ElementsAre("PresentWindow(window1,800x677,560,202)",
                                                         "PresentWindow(window1,800x677,560,202)"));
}

TEST(Program, APresentationTheDesktopRefusesIsReportedOnceAndTheProgramGoesOn)
{
    const std::string refused =
        "The window Form1 could not be shown: the desktop did not take its picture.";
    // Refused at start, once the window is shown and at the first exposure;
    // taken at the second.
    Script script = WithEvents(Join({{Expose(), Expose()}, Click(kHomeX, kHomeY), {CloseRequest()}}),
                               {{Platform::Box::ResultOk, {}}});
    script.PresentFailures = 3;
    const ProgramRun run = RunProgram(script);
    EXPECT_TRUE(run.Ended);
    EXPECT_EQ(run.Status, 0) << "a close request still ends the program with 0";
    EXPECT_EQ(run.Errors, refused + "\n") << "one line, not one per attempt";
    EXPECT_THAT(run.Only({"PresentWindow", "MessageBox(", "ShowWindow", "<Expose"}),
                ElementsAre("PresentWindow(window1,800x677,560,202)=failed",
                            "MessageBox(null,\"" + refused + "\",\"Error\",0x10)", "ShowWindow(window1)",
                            "PresentWindow(window1,800x677,560,202)=failed",
                            "<Expose", "PresentWindow(window1,800x677,560,202)=failed", "<Expose",
                            "PresentWindow(window1,800x677,560,202)"));
    EXPECT_THAT(run.Only({"Beep", "ShellExecute"}), ElementsAre(kTone, kOpenHome))
        << "the picture is up after the second exposure and takes the click";

    // No box can be shown either: the line on standard error is all there is.
    Script noBox = WithEvents({Expose(), CloseRequest()});
    noBox.PresentFailures = 100;
    const ProgramRun alone = RunProgram(noBox);
    EXPECT_EQ(alone.Status, 0);
    EXPECT_EQ(alone.Errors, refused + "\n");
    EXPECT_THAT(alone.Only({"MessageBox("}), ElementsAre("MessageBox(null,\"" + refused + "\",\"Error\",0x10)=0"));
}

// A press whose release never reaches the window must not hold the mouse
// or a hotspot's mark: the clicks that follow work as they would have.
TEST(Program, ALostReleaseLosesNoLaterClick)
{
    using Platform::MouseButton;
    const Event rightDown = Press(kSignUpX, kSignUpY, MouseButton::Right);
    const struct {
        const char* Name;
        std::vector<Event> Events;
        std::vector<Event> WhileBoxOpen;
        int Questions, HomePages;
    } cases[] = {
        {"right released while the box is open",
         Join({{rightDown}, Click(kSignUpX, kSignUpY), Click(kHomeX, kHomeY)}),
         {Release(kSignUpX, kSignUpY, MouseButton::Right)}, 1, 1},
        {"the box takes the mouse while right is held",
         Join({{rightDown}, Click(kSignUpX, kSignUpY), Click(kHomeX, kHomeY)}),
         {CaptureLost()}, 1, 1},
        {"sign-up press lost, then a press on the picture released on sign-up",
         {Press(kSignUpX, kSignUpY), LostRelease(kSignUpX, kSignUpY), Press(300, 300),
          MoveTo(kSignUpX, kSignUpY), Release(kSignUpX, kSignUpY)},
         {}, 0, 0},
        {"sign-up press taken by the desktop, then the same",
         {Press(kSignUpX, kSignUpY), CaptureLost(), Press(300, 300), MoveTo(kSignUpX, kSignUpY),
          Release(kSignUpX, kSignUpY)},
         {}, 0, 0},
        {"home press taken by the desktop, then a home click",
         Join({{Press(kHomeX, kHomeY), CaptureLost()}, Click(kHomeX, kHomeY)}), {}, 0, 1},
        {"right press taken by the desktop, then a home click",
         Join({{rightDown, CaptureLost()}, Click(kHomeX, kHomeY)}), {}, 0, 1},
    };
    for (const auto& c : cases) {
        const ProgramRun run = RunProgram(WithEvents(c.Events, {{Platform::Box::ResultNo, c.WhileBoxOpen}}));
        EXPECT_EQ(static_cast<int>(run.Only({kQuestion.c_str()}).size()), c.Questions) << c.Name;
        EXPECT_EQ(static_cast<int>(run.Only({kOpenHome.c_str()}).size()), c.HomePages) << c.Name;
        EXPECT_FALSE(run.Ended) << c.Name;
    }
}

TEST(Program, ADesktopThatCannotBeReachedEndsWithStatusOne)
{
    Script script;
    script.InitFails = true;
    const ProgramRun run = RunProgram(script);
    EXPECT_TRUE(run.Ended);
    EXPECT_EQ(run.Status, 1);
    EXPECT_THAT(run.Calls, ElementsAre("Init"));
}

// Where the mouse lands: hotspots over the picture, the picture itself, and
// the transparent bands and columns that let the mouse through.
TEST(Program, HitTestingSendsClicksToTheTopmostControlOrThroughTheWindow)
{
    const struct {
        int X, Y;
        const char* Reaches;  // "signup", "home", "picture" or "beneath"
    } cases[] = {
        {440, 398, "signup"},  {776, 483, "signup"},  {608, 440, "signup"},
        {439, 440, "picture"}, {777, 440, "picture"}, {608, 397, "picture"}, {608, 484, "picture"},
        {602, 555, "home"},    {793, 577, "home"},    {700, 566, "home"},
        {794, 566, "beneath"},  // inside the home hotspot, but a transparent column
        {601, 566, "picture"}, {700, 578, "picture"},
        {100, 91, "beneath"},  {100, 92, "picture"},  {100, 584, "picture"}, {100, 585, "beneath"},
        {4, 300, "beneath"},   {5, 300, "picture"},   {793, 300, "picture"}, {794, 300, "beneath"},
        {799, 676, "beneath"}, {0, 0, "beneath"},
    };
    for (const auto& c : cases) {
        const ProgramRun run = RunProgram(WithEvents(Click(c.X, c.Y), {{Platform::Box::ResultNo, {}}}));
        const auto passed = run.Only({"<PassedThrough"});
        const auto actions = run.Actions();
        std::string reached = "picture";
        if (!passed.empty()) {
            reached = "beneath";
        } else if (actions.size() > 1 && actions[1] == kQuestion) {
            reached = "signup";
        } else if (actions.size() == 2 && actions[1] == kOpenHome) {
            reached = "home";
        }
        EXPECT_EQ(reached, c.Reaches) << c.X << "," << c.Y;
        if (std::string(c.Reaches) == "beneath") {
            EXPECT_EQ(passed.size(), 3u) << c.X << "," << c.Y;
        }
        if (std::string(c.Reaches) == "picture") {
            EXPECT_THAT(actions, IsEmpty()) << c.X << "," << c.Y;
        }
    }
}

TEST(Program, TheCursorIsTheHandOverHotspotsAndTheArrowElsewhere)
{
    const ProgramRun run = RunProgram(WithEvents({MoveTo(300, 300), MoveTo(608, 440), MoveTo(610, 441),
                                                  MoveTo(439, 440), MoveTo(700, 566), MoveTo(601, 566),
                                                  MoveTo(100, 50), MoveTo(700, 566)}));
    // 100,50 lies in the transparent band: the window never sees that move.
    EXPECT_THAT(run.Only({"SetCursor"}),
                ElementsAre("SetCursor(window1,Arrow)", "SetCursor(window1,Hand)", "SetCursor(window1,Arrow)",
                            "SetCursor(window1,Hand)", "SetCursor(window1,Arrow)", "SetCursor(window1,Hand)"));
}

// Sequences of presses and releases on the home-page hotspot, and how many
// clicks each one makes.
TEST(Program, ClickRecognitionOverSequencesOfPressesAndReleases)
{
    using Platform::MouseButton;
    const int x = kHomeX, y = kHomeY;
    const struct {
        const char* Name;
        std::vector<Event> Events;
        int Clicks;
    } cases[] = {
        {"press and release inside", {Press(x, y), Release(x, y)}, 1},
        {"release elsewhere on the picture", {Press(x, y), Release(300, 300)}, 0},
        {"release outside the window", {Press(x, y), MoveTo(-50, 900), Release(-50, 900)}, 0},
        {"out and back in before the release", {Press(x, y), MoveTo(300, 300), MoveTo(x, y), Release(x, y)}, 1},
        {"press on the picture, release inside", {Press(300, 300), MoveTo(x, y), Release(x, y)}, 0},
        {"press in the other hotspot, release inside", {Press(kSignUpX, kSignUpY), Release(x, y)}, 0},
        {"right button", {Press(x, y, MouseButton::Right), Release(x, y, MouseButton::Right)}, 0},
        {"middle button", {Press(x, y, MouseButton::Middle), Release(x, y, MouseButton::Middle)}, 0},
        {"double-click", {Press(x, y), Release(x, y), Press(x, y, MouseButton::Left, true), Release(x, y)}, 1},
        {"double-click press alone", {Press(x, y, MouseButton::Left, true), Release(x, y)}, 0},
        // Any release completes a marked press, whichever button it is, and clears the mark.
        {"right release while left held",
         {Press(x, y), Press(x, y, MouseButton::Right), Release(x, y, MouseButton::Right), Release(x, y)}, 1},
        {"left release while right held",
         {Press(x, y, MouseButton::Right), Press(x, y), Release(x, y), Release(x, y, MouseButton::Right)}, 1},
        {"release without press", {Release(x, y)}, 0},
        {"press in the transparent column", {Press(794, y), Release(x, y)}, 0},
        {"two clicks", {Press(x, y), Release(x, y), Press(x, y), Release(x, y)}, 2},
    };
    for (const auto& c : cases) {
        const ProgramRun run = RunProgram(WithEvents(c.Events));
        EXPECT_EQ(static_cast<int>(run.Only({"ShellExecute"}).size()), c.Clicks) << c.Name;
        EXPECT_EQ(static_cast<int>(run.Only({"Beep"}).size()), c.Clicks) << c.Name;
        EXPECT_FALSE(run.Ended) << c.Name;
    }
}
