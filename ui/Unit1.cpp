#include "ui/Unit1.h"

#include "app/Avendrel.h"
#include "framework/Application.h"
#include "framework/Dialogs.h"
#include "platform/Platform.h"

TForm1* Form1 = nullptr;

const TPublishedTable& TForm1::Published() const
{
    static const TPublishedTable table = TPublishedTable()
                                             .Field("Image1", &TForm1::Image1)
                                             .Field("Image11", &TForm1::Image11)
                                             .Field("Image13", &TForm1::Image13)
                                             .Handler("FormCreate", &TForm1::FormCreate)
                                             .Handler("Image11Click", &TForm1::Image11Click)
                                             .Handler("Image13Click", &TForm1::Image13Click);
    return table;
}

void PlayClickTone()
{
    Platform::Current().Beep(1200, 5);  // a missing sound device is not worth a word
}

void OpenAddress(const std::string& address)
{
    // Whatever the shell answers, the program goes on: any message is the shell's.
    Platform::Current().ShellExecute(nullptr, "OPEN", address, "", "", Platform::ShowNormal);
}

void TForm1::FormCreate(TObject*)
{
    Application->SetName("Avendrel");
    Image1->SetVisible(true);
}

void TForm1::Image11Click(TObject*)
{
    PlayClickTone();
    int answer = 0;
    {
        // The question lives only as long as the box is open, and is released
        // by unwinding when showing the box raises an error.
        const std::string question = "Do you want to close the application?";
        answer = MessageDlg(question, TMsgDlgType::Confirmation, {TMsgDlgBtn::Yes, TMsgDlgBtn::No}, 0);
    }
    OpenAddress(kSignUpPage);
    if (answer == mrYes) EndProgram();
}

void TForm1::Image13Click(TObject*)
{
    PlayClickTone();
    OpenAddress(kHomePage);
}
