// Start-up order: FormCreate runs once, after the form is built from its
// definition and before its window is first shown.

#include "HeadlessFixture.h"
#include "ui/Unit1.h"

#include <gmock/gmock.h>

namespace {

// TForm1 as the definition binds it, with its creation handler noted in the
// desktop's record so that its place among the platform calls shows.
class TNotingForm1 : public TForm1 {
public:
    using TForm1::TForm1;
    void NotedFormCreate(TObject* sender)
    {
        Platform::Headless::Note("FormCreate(" + std::string(Visible() ? "shown" : "hidden") + ")");
        FormCreate(sender);
    }

protected:
    const TPublishedTable& Published() const override
    {
        static const TPublishedTable table = TPublishedTable()
                                                 .Field("Image1", &TNotingForm1::Image1)
                                                 .Field("Image11", &TNotingForm1::Image11)
                                                 .Field("Image13", &TNotingForm1::Image13)
                                                 .Handler("FormCreate", &TNotingForm1::NotedFormCreate)
                                                 .Handler("Image11Click", &TNotingForm1::Image11Click)
                                                 .Handler("Image13Click", &TNotingForm1::Image13Click);
        return table;
    }
};

class Lifecycle : public HeadlessFixture {};

}  // namespace

TEST_F(Lifecycle, FormCreateRunsOnceBeforeTheWindowIsFirstShown)
{
    TNotingForm1* form = nullptr;
    int initialised = 0;
    static int* counter = nullptr;
    counter = &initialised;
    InitProc = [] { ++*counter; };
    Application->Initialize();
    InitProc = nullptr;
    EXPECT_EQ(initialised, 1);

    Application->CreateForm(form);
    EXPECT_EQ(form, nullptr) << "the reference stays empty until Run creates the form";
    Application->Run();  // the headless desktop returns from the loop once it is idle
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(Application->MainForm(), form);
    EXPECT_EQ(Application->Name(), "Avendrel");
    EXPECT_THAT(Platform::Headless::Calls(),
                ::testing::IsSupersetOf({"FormCreate(hidden)", "ShowWindow(window1)"}));
    // Both calls must be there before their order means anything: a missing
    // one would be found at end(), after everything.
    const auto& calls = Platform::Headless::Calls();
    const auto created = std::find(calls.begin(), calls.end(), "FormCreate(hidden)");
    const auto window =
        std::find(calls.begin(), calls.end(), "CreateWindow(\"Avendrel\",\"Avendrel\",560,202,800,677)");
    ASSERT_NE(created, calls.end()) << "FormCreate was not called";
    ASSERT_NE(window, calls.end()) << "the window was not created with its caption, place and size";
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "FormCreate(hidden)"), 1);
    EXPECT_LT(created, window) << "FormCreate ran after the window was created";
    EXPECT_TRUE(Platform::Headless::WindowShown());

    System::RunFinalizers();
    EXPECT_EQ(form, nullptr) << "destroying the application destroys the form and clears its reference";
    EXPECT_FALSE(Platform::Headless::WindowExists());
}

TEST_F(Lifecycle, AFormThatCannotBeBuiltIsShownAsAnErrorAndSetsTheExitCode)
{
    struct TForm9 : TForm {
        using TForm::TForm;
        const char* ClassName() const override { return "TForm9"; }
    };
    TForm9* form = nullptr;
    Platform::Headless::Load({{1920, 1080}, "Avendrel", {}, {{Platform::Box::ResultOk, {}}}, false});
    Application->CreateForm(form);
    Application->Run();
    EXPECT_EQ(form, nullptr);
    EXPECT_EQ(System::ExitCode, 1);
    EXPECT_THAT(Platform::Headless::Calls(),
                ::testing::Contains("MessageBox(null,\"The definition TFORM9 of TForm9 is not in the "
                                    "executable.\",\"Error\",0x10)"));
    EXPECT_FALSE(Platform::Headless::WindowExists());
    System::ExitCode = 0;
}
