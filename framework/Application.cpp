#include "framework/Application.h"

#include "framework/Dialogs.h"
#include "framework/Exceptions.h"
#include "framework/System.h"

#include <algorithm>
#include <cstdio>

TApplication* Application = nullptr;
void (*InitProc)() = nullptr;

TApplication::TApplication(TComponent* owner) : TComponent(owner) {}

TApplication::~TApplication()
{
    // The forms are owned components; TComponent's destructor deletes them,
    // and each one's OnDestroyed takes it off forms_.
    while (!Components().empty()) delete Components().back();
}

void TApplication::Initialize()
{
    if (InitProc) InitProc();
}

void TApplication::BuildRegisteredForm(TForm& form, const std::function<void()>& setReference,
                                       std::function<void()> clearReference)
{
    try {
        form.LoadDefinition();
    } catch (...) {
        delete &form;
        throw;
    }
    form.OnDestroyed = [this, &form, clear = std::move(clearReference)] {
        forms_.erase(std::remove(forms_.begin(), forms_.end(), &form), forms_.end());
        if (mainForm_ == &form) mainForm_ = nullptr;
        clear();
    };
    forms_.push_back(&form);
    if (!mainForm_) mainForm_ = &form;
    setReference();
    form.DoCreate();
}

void TApplication::Run()
{
    try {
        auto registrations = std::move(registrations_);
        registrations_.clear();
        for (auto& create : registrations) create(*this);
        if (mainForm_ && !terminated_) mainForm_->Show();
    } catch (const std::exception& error) {
        ShowException(error);
        System::ExitCode = 1;
        return;
    }
    if (mainForm_ && !terminated_) Platform::Current().RunLoop();
}

void TApplication::Terminate()
{
    if (terminated_) return;
    terminated_ = true;
    Platform::Current().QuitLoop();
}

TForm* TApplication::FindForm(const Platform::Window* window) const
{
    if (!window) return nullptr;
    for (TForm* form : forms_)
        if (form->Handle() == window) return form;
    return nullptr;
}

void TApplication::ShowException(const std::exception& error) noexcept
{
    try {
        ShowErrorBox(error.what());
    } catch (const std::exception& failure) {
        // Not even the error box could be shown: stderr is all that is left.
        std::fprintf(stderr, "%s (%s)\n", error.what(), failure.what());
    } catch (...) {
        std::fprintf(stderr, "%s\n", error.what());
    }
}

void TApplication::ReportError(const std::exception& error) noexcept
{
    std::fprintf(stderr, "%s\n", error.what());
    std::fflush(stderr);
    try {
        ShowErrorBox(error.what());
    } catch (...) {
        // The line above already says it.
    }
}

void HandleEventSafely(const std::function<void()>& handler) noexcept
{
    try {
        handler();
    } catch (const std::exception& error) {
        if (Application) Application->ShowException(error);
    } catch (...) {
        if (Application) Application->ShowException(Exception("An unexpected error occurred."));
    }
}

std::string TaskNameFromFileName(const std::string& fileName)
{
    const std::string name = fileName.substr(0, fileName.find('.'));
    if (name.empty()) return name;
    // The first character is kept as it is, whatever its length in UTF-8:
    // its continuation bytes (10xxxxxx) belong to it.
    std::size_t first = 1;
    while (first < name.size() && (static_cast<unsigned char>(name[first]) & 0xC0) == 0x80) ++first;
    const std::string rest = name.substr(first);
    const auto lower = Platform::Current().LowerCase;
    return name.substr(0, first) + (lower ? lower(rest) : rest);
}
