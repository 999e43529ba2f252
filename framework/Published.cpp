#include "framework/Published.h"

const TPublishedTable::TField* TPublishedTable::FindField(const std::string& name) const
{
    for (const TField& field : fields_)
        if (field.Name == name) return &field;
    return nullptr;
}

const TPublishedTable::THandler* TPublishedTable::FindHandler(const std::string& name) const
{
    for (const THandler& handler : handlers_)
        if (handler.Name == name) return &handler;
    return nullptr;
}
