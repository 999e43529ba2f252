#pragma once
// TForm: a top-level window built from its definition. It owns its controls
// in z-order, composes them onto its surface, routes the mouse to the topmost
// control under it (capturing it from a press until every button is up), and
// sets the cursor from that control.

#include "framework/Component.h"
#include "framework/Control.h"
#include "framework/Published.h"
#include "framework/Surface.h"
#include "platform/Platform.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

enum class TFormPosition { Designed, ScreenCenter };

class TForm : public TComponent, private Platform::WindowEvents {
public:
    explicit TForm(TComponent* owner);
    ~TForm() override;
    const char* ClassName() const override { return "TForm"; }

    // Builds the form from the definition resource named after its class
    // (the class name in capitals, e.g. TFORM1).
    void LoadDefinition();
    // Builds the form from a definition text; raises EDefinitionError.
    void BuildFromText(std::string_view text);
    // Runs the creation handler.
    void DoCreate();

    // Attributes set by the definition.
    std::string Caption;
    int ClientWidth = 0;
    int ClientHeight = 0;
    int Left = 0;
    int Top = 0;
    TFormPosition Position = TFormPosition::Designed;
    bool Transparency = false;
    TNotifyEvent OnCreate;
    // What assistive technology is told about the window: its name (the
    // caption when empty) and a description of what it shows.
    std::string AccessibleName;
    std::string AccessibleDescription;
    // The accessible tree the window hands to the desktop.
    TFormAccessible& Accessible() { return *accessible_; }

    const std::vector<TControl*>& Controls() const { return controls_; }
    TControl* FindControl(const std::string& name) const;
    // The topmost visible control whose rectangle holds the window point.
    TControl* ControlAt(int x, int y) const;

    // Places the form, creates its window, presents it and shows it.
    void Show();
    // Asks the form to close; closing the main form ends the application.
    void Close();
    bool Visible() const { return window_ != nullptr; }
    bool Enabled() const { return enabled_; }
    // Enables or disables the form (a modal box disables its owner); assistive
    // technology is told when this changes the form's state.
    void SetEnabled(bool enabled);
    Platform::Window* Handle() const { return window_; }

    // Composes the surface again and presents it, if the window exists. A
    // presentation that fails is reported once (until one succeeds again),
    // and the form goes on; the next change or exposure tries again.
    void Invalidate();
    const TSurface& Surface() const { return surface_; }

    // The handler named `name` for `property`, bound to this form; raises
    // EDefinitionError naming `line` when the form class does not publish it.
    TNotifyEvent BindHandler(const std::string& name, int line, const char* property);

    // Called when the form is destroyed, by whoever holds a reference to it.
    std::function<void()> OnDestroyed;

protected:
    // The fields and handlers the form class publishes.
    virtual const TPublishedTable& Published() const;

private:
    void MouseDown(Platform::MouseButton button, int x, int y, bool doubleClick) noexcept override;
    void MouseUp(Platform::MouseButton button, int x, int y) noexcept override;
    void MouseMove(int x, int y) noexcept override;
    void CloseRequest() noexcept override;
    void Expose() noexcept override;
    void CaptureLost() noexcept override;

    void Build(const struct TDefinitionObject& definition);
    void UpdateCursor(int x, int y);
    void Present();
    void DestroyHandle();
    // Forgets the capture, the buttons held and every control's press.
    void ReleaseMouse();

    std::vector<TControl*> controls_;
    std::unique_ptr<TFormAccessible> accessible_;
    TSurface surface_{0, 0};
    Platform::Window* window_ = nullptr;
    bool enabled_ = true;
    TControl* captured_ = nullptr;
    unsigned buttonsDown_ = 0;
    bool cursorKnown_ = false;
    // The last presentation failed and has been reported; reported again only
    // after a presentation has succeeded.
    bool presentFailed_ = false;
    Platform::CursorShape cursor_ = Platform::CursorShape::Arrow;
};
