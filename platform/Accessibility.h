#pragma once
// What a window tells assistive technology (screen readers and the like):
// a small tree of accessible objects, the window itself and the objects in it,
// that the framework describes and a backend translates for the desktop's
// accessibility interface. No platform header is included here.

#include <string>

namespace Platform {

enum class AccessibleRole { Window, Graphic, PushButton, Link };

// One accessible object as the desktop should present it.
struct AccessibleNode {
    AccessibleRole Role = AccessibleRole::Window;
    std::string Name;         // UTF-8
    std::string Description;  // UTF-8; may be empty
    // What the default action is called ("Press", "Jump"); empty: it has none.
    std::string DefaultAction;
    // Where the object is, in screen pixels.
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    bool Enabled = true;
    bool Showing = false;
};

// Told by the framework when what an object reports changes, so that the
// backend can announce it to the desktop. Implemented by a backend; every
// entry is noexcept and may be called while a modal box is being opened.
class AccessibleEvents {
public:
    // Object `index` became enabled (or disabled); DescribeAccessible already
    // reports the new state.
    virtual void AccessibleEnabledChanged(int index, bool enabled) noexcept = 0;

protected:
    ~AccessibleEvents() = default;
};

// Implemented by the framework. Index 0 is the window; 1 .. ChildCount() are
// the objects in it, bottom of the z-order first. Every entry is noexcept.
class AccessibleTree {
public:
    virtual int AccessibleChildCount() const noexcept = 0;
    // False for an index outside the tree.
    virtual bool DescribeAccessible(int index, AccessibleNode& node) const noexcept = 0;
    // The topmost object at the screen point: a child's index, 0 for the
    // window itself, -1 outside the window.
    virtual int AccessibleAt(int screenX, int screenY) const noexcept = 0;
    // Performs the object's default action exactly as a click would; false
    // when the object has none or cannot act now (its window is disabled).
    // Backends call it from their event loop, never from inside a request
    // of the assistive technology, because the action may run a modal box.
    virtual bool DoAccessibleAction(int index) noexcept = 0;
    // The backend told of changes from now on; nullptr: nobody. A backend
    // sets it when it makes the window and clears it before the window goes.
    virtual void SetAccessibleEvents(AccessibleEvents* events) noexcept = 0;

protected:
    ~AccessibleTree() = default;
};

}  // namespace Platform
