#include "framework/Form.h"

#include "framework/Application.h"
#include "framework/Composer.h"
#include "framework/ControlClasses.h"
#include "framework/Definition.h"
#include "framework/Exceptions.h"

#include <cctype>

namespace {

constexpr int kMaxClientSize = 16384;

const TPropertyTable<TForm>& FormProperties()
{
    // Properties that only the form designer uses are checked and kept out of
    // the way: they have no effect on the running form.
    static const TPropertyTable<TForm> table = {
        {"Caption", true,
         [](TForm& form, const TDefinitionValue& value, TBuildContext&) {
             form.Caption = ReadText(value, "Caption");
         }},
        {"BorderStyle", false,
         [](TForm&, const TDefinitionValue& value, TBuildContext&) {
             ReadChoice(value, "BorderStyle", {"None"});
         }},
        {"BorderIcons", false,
         [](TForm&, const TDefinitionValue& value, TBuildContext&) {
             if (!ReadChoiceList(value, "BorderIcons", {"SystemMenu", "Minimize", "Maximize"}).empty())
                 throw EDefinitionError(value.Line, "expected [] for BorderIcons: a form without "
                                                    "a border has no border icons");
         }},
        {"ClientWidth", true,
         [](TForm& form, const TDefinitionValue& value, TBuildContext&) {
             form.ClientWidth = static_cast<int>(ReadInteger(value, "ClientWidth", 1, kMaxClientSize));
         }},
        {"ClientHeight", true,
         [](TForm& form, const TDefinitionValue& value, TBuildContext&) {
             form.ClientHeight = static_cast<int>(ReadInteger(value, "ClientHeight", 1, kMaxClientSize));
         }},
        {"Position", false,
         [](TForm& form, const TDefinitionValue& value, TBuildContext&) {
             form.Position = static_cast<TFormPosition>(
                 ReadChoice(value, "Position", {"Designed", "ScreenCenter"}));
         }},
        {"Left", false,
         [](TForm& form, const TDefinitionValue& value, TBuildContext&) {
             form.Left = static_cast<int>(ReadInteger(value, "Left", -kMaxClientSize, kMaxClientSize));
         }},
        {"Top", false,
         [](TForm& form, const TDefinitionValue& value, TBuildContext&) {
             form.Top = static_cast<int>(ReadInteger(value, "Top", -kMaxClientSize, kMaxClientSize));
         }},
        {"Transparency", false,
         [](TForm& form, const TDefinitionValue& value, TBuildContext&) {
             form.Transparency = ReadBoolean(value, "Transparency");
         }},
        {"FormStyle", false,
         [](TForm&, const TDefinitionValue& value, TBuildContext&) {
             ReadChoice(value, "FormStyle", {"Normal"});
         }},
        {"FormFactor", false,
         [](TForm&, const TDefinitionValue& value, TBuildContext&) {
             for (const TDefinitionProperty& field : ReadTable(value, "FormFactor").Fields) {
                 if (field.Name == "Width" || field.Name == "Height")
                     ReadInteger(field.Value, "FormFactor", 1, kMaxClientSize);
                 else if (field.Name == "Devices")
                     ReadChoiceList(field.Value, "FormFactor.Devices", {"Desktop", "Phone", "Tablet"});
                 else
                     throw EDefinitionError(field.Value.Line,
                                            "unknown field " + field.Name +
                                                " of FormFactor; expected one of Width, Height, Devices");
             }
         }},
        {"DesignerDevice", false,
         [](TForm&, const TDefinitionValue& value, TBuildContext&) { ReadText(value, "DesignerDevice"); }},
        {"DesignerOrientation", false,
         [](TForm&, const TDefinitionValue& value, TBuildContext&) {
             ReadChoice(value, "DesignerOrientation", {"Portrait", "Landscape"});
         }},
        {"AccessibleName", false,
         [](TForm& form, const TDefinitionValue& value, TBuildContext&) {
             form.AccessibleName = ReadAccessibleText(value, "AccessibleName");
         }},
        {"AccessibleDescription", false,
         [](TForm& form, const TDefinitionValue& value, TBuildContext&) {
             form.AccessibleDescription = ReadAccessibleText(value, "AccessibleDescription");
         }},
        {"OnCreate", false,
         [](TForm& form, const TDefinitionValue& value, TBuildContext& context) {
             form.OnCreate = ReadHandler(value, "OnCreate", context);
         }},
    };
    return table;
}

std::string ResourceNameFor(const char* className)
{
    std::string name = className;
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

unsigned ButtonBit(Platform::MouseButton button)
{
    return 1u << static_cast<unsigned>(button);
}

void SetNameAt(TComponent& component, const std::string& name, int line)
{
    try {
        component.SetName(name);
    } catch (const EComponentError& error) {
        throw EDefinitionError(line, std::string("expected an identifier for the name: ") + error.what());
    }
}

}  // namespace

TForm::TForm(TComponent* owner)
    : TComponent(owner), accessible_(std::make_unique<TFormAccessible>(*this))
{
}

TForm::~TForm()
{
    DestroyHandle();
    if (OnDestroyed) OnDestroyed();
}

void TForm::DestroyHandle()
{
    if (window_) Platform::Current().DestroyWindow(window_);
    window_ = nullptr;
}

const TPublishedTable& TForm::Published() const
{
    static const TPublishedTable empty;
    return empty;
}

void TForm::LoadDefinition()
{
    const std::string resource = ResourceNameFor(ClassName());
    const auto data = Platform::Current().FindResource(resource.c_str());
    if (data.empty())
        throw EResourceError("The definition " + resource + " of " + ClassName() +
                             " is not in the executable.");
    BuildFromText({reinterpret_cast<const char*>(data.data()), data.size()});
}

void TForm::BuildFromText(std::string_view text)
{
    Build(ReadDefinition(text));
}

void TForm::Build(const TDefinitionObject& definition)
{
    if (definition.ClassName != ClassName())
        throw EDefinitionError(definition.ClassLine, std::string("expected Class = \"") + ClassName() +
                                                    "\" for this form, found \"" +
                                                    definition.ClassName + "\"");
    SetNameAt(*this, definition.Name, definition.Line);
    TBuildContext context{*this};
    ApplyProperties(*this, FormProperties(), definition.Properties, definition.Line,
                    definition.Name + " (" + ClassName() + ")", context);

    const TPublishedTable& published = Published();
    for (const TDefinitionObject& child : definition.Children) {
        const TControlFactory create = FindControlClass(child.ClassName);
        if (!create) {
            std::string known;
            for (const std::string& name : ControlClassNames()) known += (known.empty() ? "" : ", ") + name;
            throw EDefinitionError(child.ClassLine, "unknown class " + child.ClassName + " for " +
                                                   child.Name + "; expected one of " + known);
        }
        if (FindControl(child.Name))
            throw EDefinitionError(child.NameLine, "expected a new name, found a second control named " +
                                                   child.Name);
        TControl* control = create(*this, child, context);
        controls_.push_back(control);
        control->SetParentForm(this);
        SetNameAt(*control, child.Name, child.NameLine);
        CheckAccessibleControl(*control, child);
        if (const auto* field = published.FindField(child.Name); field && !field->Bind(*this, control))
            throw EDefinitionError(child.ClassLine, "expected the class of the field " + child.Name +
                                                        " of " + ClassName() + ", found " + child.ClassName);
    }
    for (const auto& field : published.Fields()) {
        if (!FindControl(field.Name))
            throw EDefinitionError(definition.Line, definition.Name + " (" + ClassName() +
                                                        ") is missing the control " + field.Name +
                                                        " of its field " + field.Name);
    }
    for (TControl* control : controls_) {
        if (control->Align() == TAlignLayout::Client) control->SetBounds({0, 0, ClientWidth, ClientHeight});
    }
    surface_ = TSurface(ClientWidth, ClientHeight);
}

void TForm::DoCreate()
{
    if (OnCreate) OnCreate(this);
}

TControl* TForm::FindControl(const std::string& name) const
{
    for (TControl* control : controls_)
        if (control->Name() == name) return control;
    return nullptr;
}

TControl* TForm::ControlAt(int x, int y) const
{
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
        if ((*it)->Visible() && (*it)->BoundsRect().Contains(x, y)) return *it;
    }
    return nullptr;
}

TNotifyEvent TForm::BindHandler(const std::string& name, int line, const char* property)
{
    const TPublishedTable::THandler* handler = Published().FindHandler(name);
    if (!handler) {
        std::string known;
        for (const auto& h : Published().Handlers()) known += (known.empty() ? "" : ", ") + h.Name;
        throw EDefinitionError(line, "unknown handler " + name + " for " + property + "; " +
                                         ClassName() + " publishes " +
                                         (known.empty() ? std::string("no handlers") : known));
    }
    return [this, call = handler->Call](TObject* sender) { call(*this, sender); };
}

void TForm::Show()
{
    if (window_) return;
    const Platform::Table& platform = Platform::Current();
    TPoint position{Left, Top};
    if (Position == TFormPosition::ScreenCenter) {
        const Platform::ScreenSize screen = platform.GetScreenSize();
        position = CenterOnScreen(screen.Width, screen.Height, ClientWidth, ClientHeight);
    }
    Platform::WindowDesc desc;
    desc.Caption = Caption;
    desc.TaskName = TaskNameFromFileName(platform.ExecutableName());
    desc.Left = position.X;
    desc.Top = position.Y;
    desc.Width = ClientWidth;
    desc.Height = ClientHeight;
    desc.Accessible = accessible_.get();
    window_ = platform.CreateWindow(desc, this);
    if (!window_) throw EWindowError("The window " + Name() + " could not be created.");
    Left = position.X;
    Top = position.Y;
    Invalidate();
    platform.ShowWindow(window_);
    // A desktop that refused the picture of a hidden window may take it now.
    if (presentFailed_) Present();
}

void TForm::SetEnabled(bool enabled)
{
    if (enabled == enabled_) return;
    enabled_ = enabled;
    accessible_->FormEnabledChanged();
}

void TForm::Close()
{
    if (Application && Application->MainForm() == this) {
        Application->Terminate();
        return;
    }
    DestroyHandle();
}

void TForm::Invalidate()
{
    if (!window_) return;
    ComposeForm(*this, surface_);
    Present();
}

void TForm::Present()
{
    if (Platform::Current().PresentWindow(window_, surface_.View(), Left, Top)) {
        presentFailed_ = false;
        return;
    }
    if (presentFailed_) return;
    presentFailed_ = true;
    if (Application)
        Application->ReportError(
            EWindowError("The window " + Name() + " could not be shown: the desktop did not take its picture."));
}

void TForm::UpdateCursor(int x, int y)
{
    const TControl* control = ControlAt(x, y);
    const Platform::CursorShape shape = control && control->Cursor() == TCursor::HandPoint
                                            ? Platform::CursorShape::Hand
                                            : Platform::CursorShape::Arrow;
    if (cursorKnown_ && shape == cursor_) return;
    cursor_ = shape;
    cursorKnown_ = true;
    Platform::Current().SetCursor(window_, shape);
}

void TForm::ReleaseMouse()
{
    captured_ = nullptr;
    buttonsDown_ = 0;
    for (TControl* control : controls_) control->CancelMouse();
}

void TForm::MouseDown(Platform::MouseButton button, int x, int y, bool doubleClick) noexcept
{
    HandleEventSafely([&] {
        if (!enabled_) return;
        // A button pressed again without its release: that release went
        // elsewhere, so whatever it would have ended ends here.
        if (buttonsDown_ & ButtonBit(button)) ReleaseMouse();
        UpdateCursor(x, y);
        TControl* target = captured_ ? captured_ : ControlAt(x, y);
        buttonsDown_ |= ButtonBit(button);
        if (!captured_) captured_ = target;
        if (target) target->MouseDown(button, x, y, doubleClick);
    });
}

void TForm::MouseUp(Platform::MouseButton button, int x, int y) noexcept
{
    HandleEventSafely([&] {
        TControl* target = captured_ ? captured_ : ControlAt(x, y);
        buttonsDown_ &= ~ButtonBit(button);
        if (buttonsDown_ == 0) captured_ = nullptr;
        if (!enabled_) {
            // The press began before a box disabled the form: no click now.
            if (target) target->CancelMouse();
            return;
        }
        if (target) target->MouseUp(button, x, y);
    });
}

void TForm::MouseMove(int x, int y) noexcept
{
    HandleEventSafely([&] {
        if (!enabled_) return;
        UpdateCursor(x, y);
    });
}

void TForm::CloseRequest() noexcept
{
    HandleEventSafely([&] { Close(); });
}

void TForm::CaptureLost() noexcept
{
    HandleEventSafely([&] { ReleaseMouse(); });
}

void TForm::Expose() noexcept
{
    HandleEventSafely([&] {
        if (window_) Present();
    });
}
