#pragma once
// The fields and event handlers that a form class publishes, by name, so that
// building the form from its definition can set the fields to the controls it
// creates and bind the events it names. A form class registers its whole
// table in one place, its Published() override.

#include "framework/Component.h"

#include <functional>
#include <string>
#include <vector>

class TForm;

class TPublishedTable {
public:
    struct TField {
        std::string Name;
        // Sets the field; false when the component is not of the field's class.
        std::function<bool(TForm&, TComponent*)> Bind;
    };
    struct THandler {
        std::string Name;
        std::function<void(TForm&, TObject*)> Call;
    };

    template <class TF, class TC>
    TPublishedTable& Field(const char* name, TC* TF::*member)
    {
        fields_.push_back({name, [member](TForm& form, TComponent* component) {
                               auto* typed = dynamic_cast<TC*>(component);
                               if (!typed) return false;
                               static_cast<TF&>(form).*member = typed;
                               return true;
                           }});
        return *this;
    }

    template <class TF>
    TPublishedTable& Handler(const char* name, void (TF::*method)(TObject*))
    {
        handlers_.push_back({name, [method](TForm& form, TObject* sender) {
                                 (static_cast<TF&>(form).*method)(sender);
                             }});
        return *this;
    }

    const std::vector<TField>& Fields() const { return fields_; }
    const std::vector<THandler>& Handlers() const { return handlers_; }
    const TField* FindField(const std::string& name) const;
    const THandler* FindHandler(const std::string& name) const;

private:
    std::vector<TField> fields_;
    std::vector<THandler> handlers_;
};
