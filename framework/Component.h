#pragma once
// TObject, the root of the framework's classes, and TComponent: a named
// object that owns the components created with it as their owner.

#include <memory>
#include <string>
#include <vector>

class TObject {
public:
    virtual ~TObject() = default;
    virtual const char* ClassName() const { return "TObject"; }
};

class TComponent : public TObject {
public:
    explicit TComponent(TComponent* owner);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    const char* ClassName() const override { return "TComponent"; }

    const std::string& Name() const { return name_; }
    // Raises EComponentError unless `name` is an identifier (a letter or
    // underscore, then letters, digits or underscores). The empty name is
    // allowed and leaves the component unnamed.
    void SetName(const std::string& name);

    TComponent* Owner() const { return owner_; }
    // The components this one owns, in creation order.
    const std::vector<TComponent*>& Components() const { return components_; }

private:
    std::string name_;
    TComponent* owner_ = nullptr;
    std::vector<TComponent*> components_;
};

// True when `name` is an identifier.
bool IsValidIdent(const std::string& name);
