// Load on the headless desktop: thousands of clicks answered exactly once
// each, and random mouse traffic checked against a reference model of what
// a click is.

#include "ProgramRun.h"

#include <gtest/gtest.h>

#include <random>

using namespace Platform::Headless;
using Platform::MouseButton;

TEST(Load, TenThousandHomePageClicksGiveTenThousandTonesAndRequestsInOrder)
{
    constexpr int kClicks = 10000;
    Script script;
    for (int i = 0; i < kClicks; ++i) {
        const int x = 602 + i % 192, y = 555 + i % 23;  // all over the hotspot's visible part
        script.Events.push_back(Press(x, y));
        script.Events.push_back(Release(x, y));
    }
    const ProgramRun run = RunProgram(script);
    ASSERT_FALSE(run.Ended);
    const auto actions = run.Actions();
    ASSERT_EQ(actions.size(), 2u * kClicks);
    for (int i = 0; i < kClicks; ++i) {
        ASSERT_EQ(actions[2 * i], "Beep(1200,5)") << i;
        ASSERT_EQ(actions[2 * i + 1], "ShellExecute(null,\"OPEN\",\"http://www.avendrel.com/\",\"\",\"\",1)") << i;
    }
    std::printf("home-page clicks: %d, tones: %zu, open requests: %zu\n", kClicks,
                run.Only({"Beep"}).size(), run.Only({"ShellExecute"}).size());
}

namespace {

// What a user can do: buttons go down and up, the pointer moves, and the
// desktop flags the second press of a quick pair as a double-click.
std::vector<Event> RandomTraffic(std::mt19937& random, int sequences)
{
    std::uniform_int_distribution<int> anyX(-20, 819), anyY(-20, 696);
    std::uniform_int_distribution<int> percent(0, 99);
    const auto nearHotspot = [&](int& x, int& y) {
        // Half of the points land in or around the two hotspots, where it matters.
        if (percent(random) < 50) {
            x = anyX(random);
            y = anyY(random);
        } else if (percent(random) < 50) {
            x = std::uniform_int_distribution<int>(430, 786)(random);
            y = std::uniform_int_distribution<int>(390, 492)(random);
        } else {
            x = std::uniform_int_distribution<int>(595, 799)(random);
            y = std::uniform_int_distribution<int>(548, 586)(random);
        }
    };
    std::vector<Event> events;
    unsigned down = 0;
    for (int s = 0; s < sequences; ++s) {
        const int steps = 1 + percent(random) % 6;
        for (int step = 0; step < steps; ++step) {
            int x, y;
            nearHotspot(x, y);
            const int roll = percent(random);
            const MouseButton button = roll < 70 ? MouseButton::Left : roll < 85 ? MouseButton::Right
                                                                             : MouseButton::Middle;
            const unsigned bit = 1u << static_cast<unsigned>(button);
            if (roll % 3 == 0) {
                events.push_back(MoveTo(x, y));
            } else if (!(down & bit)) {
                events.push_back(Press(x, y, button, percent(random) < 20));
                down |= bit;
            } else {
                events.push_back(Release(x, y, button));
                down &= ~bit;
            }
        }
        for (MouseButton button : {MouseButton::Left, MouseButton::Right, MouseButton::Middle}) {
            const unsigned bit = 1u << static_cast<unsigned>(button);
            if (down & bit) {
                int x, y;
                nearHotspot(x, y);
                events.push_back(Release(x, y, button));
                down &= ~bit;
            }
        }
    }
    return events;
}

// The reference model, written from the rules rather than from the code:
// the window takes a gesture only where its picture is opaque; the control
// under the first press of a gesture gets the whole gesture; a primary press
// inside a hotspot that is not the second of a double-click arms it; any
// release disarms it and clicks when it was armed and lands inside.
class ClickModel {
public:
    enum Target { Beneath, Picture, SignUp, Home };

    std::vector<Target> Clicks;

    void Feed(const Event& event)
    {
        const unsigned bit = 1u << static_cast<unsigned>(event.Button);
        if (event.What == Event::Kind::Move) return;
        if (event.What == Event::Kind::Press) {
            if (down_ == 0) gesture_ = TargetAt(event.X, event.Y);
            down_ |= bit;
            if (gesture_ >= SignUp && event.Button == MouseButton::Left)
                armed_ = Inside(gesture_, event.X, event.Y) ? !event.DoubleClick : armed_;
            return;
        }
        down_ &= ~bit;
        if (gesture_ >= SignUp) {
            if (armed_ && Inside(gesture_, event.X, event.Y)) Clicks.push_back(gesture_);
            armed_ = false;
        }
    }

private:
    static bool Opaque(int x, int y) { return x >= 5 && x <= 793 && y >= 92 && y <= 584; }
    static bool Inside(Target t, int x, int y)
    {
        if (t == SignUp) return x >= 440 && x <= 776 && y >= 398 && y <= 483;
        return x >= 602 && x <= 794 && y >= 555 && y <= 577;
    }
    static Target TargetAt(int x, int y)
    {
        if (!Opaque(x, y)) return Beneath;
        if (Inside(Home, x, y)) return Home;
        if (Inside(SignUp, x, y)) return SignUp;
        return Picture;
    }

    unsigned down_ = 0;
    Target gesture_ = Beneath;
    bool armed_ = false;
};

}  // namespace

TEST(Load, RandomMouseTrafficMatchesTheReferenceModel)
{
    constexpr int kSequences = 10000;
    std::mt19937 random(20261210);
    Script script;
    script.Events = RandomTraffic(random, kSequences);
    ClickModel model;
    for (const Event& event : script.Events) model.Feed(event);
    // Every confirmation is answered No, so the program never ends.
    script.Answers.assign(model.Clicks.size(), BoxAnswer{Platform::Box::ResultNo, {}});

    std::vector<std::string> expected;
    for (ClickModel::Target target : model.Clicks) {
        expected.push_back("Beep(1200,5)");
        if (target == ClickModel::SignUp) {
            expected.push_back("MessageBox(window1,\"Do you want to close the application?\",\"Confirm\",0x24)");
            expected.push_back("ShellExecute(null,\"OPEN\",\"http://book.avendrel.com/signup\",\"\",\"\",1)");
        } else {
            expected.push_back("ShellExecute(null,\"OPEN\",\"http://www.avendrel.com/\",\"\",\"\",1)");
        }
    }
    const ProgramRun run = RunProgram(script);
    ASSERT_FALSE(run.Ended);
    EXPECT_EQ(run.Actions(), expected);
    std::printf("random sequences: %d, events: %zu, clicks expected by the model: %zu, actions: %zu\n",
                kSequences, script.Events.size(), model.Clicks.size(), run.Actions().size());
    EXPECT_GT(model.Clicks.size(), 300u) << "the traffic should click often enough to mean something";
}
