#include "framework/Component.h"

#include "framework/Exceptions.h"

#include <algorithm>

namespace {

bool IsIdentStart(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool IsIdentPart(char c)
{
    return IsIdentStart(c) || (c >= '0' && c <= '9');
}

}  // namespace

bool IsValidIdent(const std::string& name)
{
    return !name.empty() && IsIdentStart(name.front()) &&
           std::all_of(name.begin() + 1, name.end(), IsIdentPart);
}

TComponent::TComponent(TComponent* owner) : owner_(owner)
{
    if (owner_) owner_->components_.push_back(this);
}

TComponent::~TComponent()
{
    // Owned components go first, the last created first.
    while (!components_.empty()) {
        TComponent* child = components_.back();
        components_.pop_back();
        child->owner_ = nullptr;
        delete child;
    }
    if (owner_) {
        auto& siblings = owner_->components_;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    }
}

void TComponent::SetName(const std::string& name)
{
    if (!name.empty() && !IsValidIdent(name))
        throw EComponentError("''" + name + "'' is not a valid component name");
    name_ = name;
}
