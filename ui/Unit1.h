#pragma once
// The main window: the promotional picture with two hotspots, the sign-up
// button and the web address. Its controls are declared in Unit1.toml.

#include "framework/Form.h"
#include "framework/Image.h"

#include <string>

class TForm1 : public TForm {
public:
    using TForm::TForm;
    const char* ClassName() const override { return "TForm1"; }

    TImage* Image1 = nullptr;   // the picture
    TImage* Image11 = nullptr;  // the sign-up hotspot
    TImage* Image13 = nullptr;  // the home-page hotspot

    void FormCreate(TObject* Sender);
    // Sign-up: tone, the question, the sign-up page whatever the answer, the end on Yes.
    void Image11Click(TObject* Sender);
    // Home page: tone, the home page.
    void Image13Click(TObject* Sender);

protected:
    const TPublishedTable& Published() const override;
};

extern TForm1* Form1;

inline constexpr const char* kSignUpPage = "http://book.avendrel.com/signup";
inline constexpr const char* kHomePage = "http://www.avendrel.com/";

// Sounds the click tone, 1200 Hz for 5 ms, and returns when it has played.
void PlayClickTone();
// Hands `address` to the desktop, which opens it in the default browser.
void OpenAddress(const std::string& address);
