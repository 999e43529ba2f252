#pragma once
// TApplication: the program's single application object. It registers the
// forms to create, creates them when it runs, shows the main form, runs the
// event loop until it is terminated, and shows any error that escapes an
// event handler in an error box, after which the loop goes on.

#include "framework/Component.h"
#include "framework/Form.h"

#include <exception>
#include <functional>
#include <string>
#include <vector>

class TApplication : public TComponent {
public:
    explicit TApplication(TComponent* owner);
    ~TApplication() override;
    const char* ClassName() const override { return "TApplication"; }

    // Runs the initialisation hook InitProc, if one is installed.
    void Initialize();

    // Registers a form class for creation by Run; `reference` receives the
    // form when it is created. The first form registered is the main form.
    template <class T>
    void CreateForm(T*& reference)
    {
        registrations_.push_back([&reference](TApplication& application) {
            T* form = new T(&application);
            application.BuildRegisteredForm(*form, [&reference, form] { reference = form; },
                                            [&reference] { reference = nullptr; });
        });
    }

    // Creates the registered forms in order, builds each from its definition
    // and runs its creation handler, shows the main form, and runs the event
    // loop until the application is terminated. When a form cannot be
    // created, the error is shown, ExitCode is set to 1 and Run returns.
    void Run();
    // Ends the event loop.
    void Terminate();
    bool Terminated() const { return terminated_; }

    TForm* MainForm() const { return mainForm_; }
    const std::vector<TForm*>& Forms() const { return forms_; }
    // The form whose window is `window`, or nullptr.
    TForm* FindForm(const Platform::Window* window) const;

    // Shows `error` in an error box.
    void ShowException(const std::exception& error) noexcept;
    // Writes `error` as one line on standard error, then shows it in an error
    // box where one can be shown: for errors that may also keep the user from
    // seeing any box (a window that is not on the screen).
    void ReportError(const std::exception& error) noexcept;

private:
    void BuildRegisteredForm(TForm& form, const std::function<void()>& setReference,
                             std::function<void()> clearReference);

    std::vector<std::function<void(TApplication&)>> registrations_;
    std::vector<TForm*> forms_;
    TForm* mainForm_ = nullptr;
    bool terminated_ = false;
};

// The application object; created by start-up, destroyed by finalisation.
extern TApplication* Application;
// An optional hook that Initialize runs.
extern void (*InitProc)();

// Runs `handler`; an error that escapes it is shown by the application.
void HandleEventSafely(const std::function<void()>& handler) noexcept;

// The name the desktop lists the program under: the executable's file name
// cut at its first dot, every character after the first in lower case (as the
// desktop lowers letters, so not only A to Z).
std::string TaskNameFromFileName(const std::string& fileName);
