// Win32 backend: the main window's accessible object for assistive technology.
// Implemented features:
//  [X] WM_GETOBJECT for the client object (OBJID_CLIENT) answered with an
//      IAccessible over the framework's tree: the window as ROLE_SYSTEM_CLIENT,
//      its announced controls as simple child elements (child ids 1 .. n)
//  [X] Names, descriptions, roles, states (unavailable while a modal box has
//      disabled the window), accLocation, accHitTest, accNavigate, the default
//      action's name and accDoDefaultAction
//  [X] A default action is posted to the window and performed by the message
//      loop, so the caller's request returns at once even when the action opens
//      a modal box; it arrives like a click and is refused in the same way
//  [X] oleacc (LresultFromObject, the standard window object for the parent) and
//      oleaut32 (BSTRs) are loaded from the system folder only, when assistive
//      technology first asks: a session without it loads neither
//  [X] Clients still holding the object after the window is gone get
//      RPC_E_DISCONNECTED
//  [X] State changes raised as WinEvents (EVENT_OBJECT_STATECHANGE for the
//      client object and each of its children) when a modal box disables the
//      window and when it closes; the system raises the window's own show and
//      foreground events. NotifyWinEvent is user32's: nothing more is loaded
// Missing features or Issues:
//  [ ] No IEnumVARIANT: clients fall back to get_accChild for simple elements

#include "platform/win32_internal.h"
#include "platform/win32_library.h"

#include "platform/Accessibility.h"

#include <oleacc.h>

namespace Platform::Win32 {

namespace {

constexpr UINT kAccessibleActionMessage = WM_APP + 1;

// The system functions this file needs, loaded on first use.
struct TAccessibilityLibrary {
    bool Tried = false;
    LRESULT(WINAPI* LresultFromObject)(REFIID, WPARAM, LPUNKNOWN) = nullptr;
    HRESULT(WINAPI* CreateStdAccessibleObject)(HWND, LONG, REFIID, void**) = nullptr;
    BSTR(WINAPI* SysAllocString)(const OLECHAR*) = nullptr;
    HRESULT(WINAPI* CoDisconnectObject)(LPUNKNOWN, DWORD) = nullptr;
};

const TAccessibilityLibrary& Library()
{
    static TAccessibilityLibrary library;
    if (library.Tried) return library;
    library.Tried = true;
    // From the system folder only: never a DLL beside the executable.
    static SystemLibrary oleacc(L"oleacc.dll"), oleaut(L"oleaut32.dll"), ole(L"ole32.dll");
    if (oleacc.Open()) {
        AVENDREL_WIN32_FIND(oleacc, library, LresultFromObject);
        AVENDREL_WIN32_FIND(oleacc, library, CreateStdAccessibleObject);
    }
    if (oleaut.Open()) AVENDREL_WIN32_FIND(oleaut, library, SysAllocString);
    if (ole.Open()) AVENDREL_WIN32_FIND(ole, library, CoDisconnectObject);
    return library;
}

LONG SystemRole(AccessibleRole role)
{
    switch (role) {
    case AccessibleRole::Window: return ROLE_SYSTEM_CLIENT;
    case AccessibleRole::Graphic: return ROLE_SYSTEM_GRAPHIC;
    case AccessibleRole::PushButton: return ROLE_SYSTEM_PUSHBUTTON;
    case AccessibleRole::Link: return ROLE_SYSTEM_LINK;
    }
    return ROLE_SYSTEM_CLIENT;
}

LONG SystemState(const AccessibleNode& node)
{
    LONG state = 0;
    if (!node.Enabled) state |= STATE_SYSTEM_UNAVAILABLE;
    if (!node.Showing) state |= STATE_SYSTEM_INVISIBLE;
    if (node.Role == AccessibleRole::Link) state |= STATE_SYSTEM_LINKED;
    if (node.Role == AccessibleRole::Graphic) state |= STATE_SYSTEM_READONLY;
    return state;
}

void SetEmpty(VARIANT* variant)
{
    variant->vt = VT_EMPTY;
}

void SetChild(VARIANT* variant, LONG id)
{
    variant->vt = VT_I4;
    variant->lVal = id;
}

// The accessible object of one main window. The window record holds one
// reference; clients hold theirs through COM.
class TWindowAccessible final : public IAccessible {
public:
    TWindowAccessible(HWND handle, AccessibleTree* tree) : handle_(handle), tree_(tree) {}

    // The window is going away: every later request fails, and COM lets go
    // of the references that other processes hold.
    void Disconnect()
    {
        tree_ = nullptr;
        // Only a window that clients asked for has an object to disconnect,
        // and they asked through the libraries loaded above.
        if (const auto disconnect = Library().CoDisconnectObject) disconnect(this, 0);
    }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(IAccessible)) {
            *object = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG refs = ::InterlockedDecrement(&refs_);
        if (refs == 0) delete this;
        return static_cast<ULONG>(refs);
    }

    // IDispatch: clients call the IAccessible methods directly.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override
    {
        if (info) *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override
    {
        return E_NOTIMPL;
    }

    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override
    {
        if (!parent) return E_POINTER;
        *parent = nullptr;
        if (!tree_) return RPC_E_DISCONNECTED;
        const auto create = Library().CreateStdAccessibleObject;
        if (!create) return S_FALSE;
        return create(handle_, OBJID_WINDOW, IID_IDispatch, reinterpret_cast<void**>(parent));
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override
    {
        if (!count) return E_POINTER;
        if (!tree_) return RPC_E_DISCONNECTED;
        *count = tree_->AccessibleChildCount();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override
    {
        if (!object) return E_POINTER;
        *object = nullptr;
        AccessibleNode node;
        const HRESULT found = Find(child, node);
        if (found != S_OK) return found;
        // The children are simple elements: the parent answers for them.
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override
    {
        return Text(child, name, [](const AccessibleNode& node) { return node.Name; });
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override
    {
        return Text(child, value, [](const AccessibleNode&) { return std::string(); });
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override
    {
        return Text(child, description, [](const AccessibleNode& node) { return node.Description; });
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override
    {
        if (!role) return E_POINTER;
        SetEmpty(role);
        AccessibleNode node;
        const HRESULT found = Find(child, node);
        if (found != S_OK) return found;
        SetChild(role, SystemRole(node.Role));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override
    {
        if (!state) return E_POINTER;
        SetEmpty(state);
        AccessibleNode node;
        const HRESULT found = Find(child, node);
        if (found != S_OK) return found;
        SetChild(state, SystemState(node));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override
    {
        return Text(child, help, [](const AccessibleNode&) { return std::string(); });
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, LONG* topic) override
    {
        if (file) *file = nullptr;
        if (topic) *topic = 0;
        return DISP_E_MEMBERNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override
    {
        // The window takes no keys.
        return Text(child, shortcut, [](const AccessibleNode&) { return std::string(); });
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override
    {
        if (!focus) return E_POINTER;
        SetEmpty(focus);
        return tree_ ? S_FALSE : RPC_E_DISCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override
    {
        if (!selection) return E_POINTER;
        SetEmpty(selection);
        return tree_ ? S_FALSE : RPC_E_DISCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override
    {
        return Text(child, action, [](const AccessibleNode& node) { return node.DefaultAction; });
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG, VARIANT) override { return DISP_E_MEMBERNOTFOUND; }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                          VARIANT child) override
    {
        if (!left || !top || !width || !height) return E_POINTER;
        *left = *top = *width = *height = 0;
        AccessibleNode node;
        const HRESULT found = Find(child, node);
        if (found != S_OK) return found;
        *left = node.Left;
        *top = node.Top;
        *width = node.Width;
        *height = node.Height;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override
    {
        if (!end) return E_POINTER;
        SetEmpty(end);
        AccessibleNode node;
        const HRESULT found = Find(start, node);
        if (found != S_OK) return found;
        const LONG from = start.lVal;
        const LONG count = tree_->AccessibleChildCount();
        LONG to = -1;
        switch (direction) {
        case NAVDIR_FIRSTCHILD: to = from == CHILDID_SELF && count > 0 ? 1 : -1; break;
        case NAVDIR_LASTCHILD: to = from == CHILDID_SELF && count > 0 ? count : -1; break;
        case NAVDIR_NEXT: to = from != CHILDID_SELF && from < count ? from + 1 : -1; break;
        case NAVDIR_PREVIOUS: to = from > 1 ? from - 1 : -1; break;
        default: break;
        }
        if (to < 0) return S_FALSE;
        SetChild(end, to);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* child) override
    {
        if (!child) return E_POINTER;
        SetEmpty(child);
        if (!tree_) return RPC_E_DISCONNECTED;
        const int index = tree_->AccessibleAt(x, y);
        if (index < 0) return S_FALSE;
        SetChild(child, index);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override
    {
        AccessibleNode node;
        const HRESULT found = Find(child, node);
        if (found != S_OK) return found;
        if (node.DefaultAction.empty()) return DISP_E_MEMBERNOTFOUND;
        if (!node.Enabled) return E_FAIL;
        // Performed by the loop, as a click is: the action may open a modal box.
        return ::PostMessageW(handle_, kAccessibleActionMessage, static_cast<WPARAM>(child.lVal), 0)
                   ? S_OK
                   : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    ~TWindowAccessible() = default;

    // The node of a child id: S_OK, E_INVALIDARG for an id outside the tree.
    HRESULT Find(const VARIANT& child, AccessibleNode& node) const
    {
        if (!tree_) return RPC_E_DISCONNECTED;
        if (child.vt != VT_I4) return E_INVALIDARG;
        return tree_->DescribeAccessible(child.lVal, node) ? S_OK : E_INVALIDARG;
    }

    // A text property: S_FALSE and no string when it is empty.
    template <class Get>
    HRESULT Text(const VARIANT& child, BSTR* out, Get get) const
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        AccessibleNode node;
        const HRESULT found = Find(child, node);
        if (found != S_OK) return found;
        const std::string text = get(node);
        if (text.empty()) return S_FALSE;
        const auto allocate = Library().SysAllocString;
        if (!allocate) return E_OUTOFMEMORY;
        *out = allocate(Widen(text).c_str());
        return *out ? S_OK : E_OUTOFMEMORY;
    }

    LONG refs_ = 1;
    HWND handle_;
    AccessibleTree* tree_;
};

// Raises the WinEvents of the window's accessible objects, which hook
// clients (in or out of context) receive whether or not they asked for the
// object before.
class TAccessibleNotifier final : public AccessibleEvents {
public:
    explicit TAccessibleNotifier(HWND handle) : handle_(handle) {}

    void AccessibleEnabledChanged(int index, bool) noexcept override
    {
        ::NotifyWinEvent(EVENT_OBJECT_STATECHANGE, handle_, OBJID_CLIENT,
                         index == 0 ? CHILDID_SELF : static_cast<LONG>(index));
    }

private:
    HWND handle_;
};

} // namespace

void WatchAccessible(Platform::Window& window)
{
    if (!window.Tree || !window.Handle || window.AccessibleNotifier) return;
    window.AccessibleNotifier = new TAccessibleNotifier(window.Handle);
    window.Tree->SetAccessibleEvents(window.AccessibleNotifier);
}

bool HandleAccessibleMessage(Platform::Window& window, UINT message, WPARAM wParam, LPARAM lParam,
                             LRESULT& result)
{
    if (!window.Tree) return false;
    if (message == kAccessibleActionMessage) {
        window.Tree->DoAccessibleAction(static_cast<int>(wParam));
        result = 0;
        return true;
    }
    // NOTE: lParam carries a 32-bit object id, sign-extended or not depending on the caller.
    if (message != WM_GETOBJECT || static_cast<LONG>(static_cast<DWORD>(lParam)) != OBJID_CLIENT)
        return false;
    const auto fromObject = Library().LresultFromObject;
    if (!window.Handle || !fromObject || !Library().SysAllocString) return false;
    if (!window.AccessibleObject)
        window.AccessibleObject = new TWindowAccessible(window.Handle, window.Tree);
    result = fromObject(__uuidof(IAccessible), wParam, static_cast<TWindowAccessible*>(window.AccessibleObject));
    return true;
}

void ReleaseAccessible(Platform::Window& window)
{
    if (window.AccessibleNotifier) {
        if (window.Tree) window.Tree->SetAccessibleEvents(nullptr);
        delete static_cast<TAccessibleNotifier*>(window.AccessibleNotifier);
        window.AccessibleNotifier = nullptr;
    }
    if (!window.AccessibleObject) return;
    auto* object = static_cast<TWindowAccessible*>(window.AccessibleObject);
    window.AccessibleObject = nullptr;
    object->Disconnect();
    object->Release();
}

} // namespace Platform::Win32
