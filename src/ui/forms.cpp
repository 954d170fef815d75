#include "forms.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>

#include <map>

namespace brevion::Forms {
namespace {

std::map<std::type_index, QPointer<Form>>& registry()
{
    static std::map<std::type_index, QPointer<Form>> forms;
    return forms;
}

} // namespace

Form* Find(std::type_index type)
{
    auto& forms = registry();
    const auto it = forms.find(type);
    if (it == forms.end())
        return nullptr;
    if (it->second.isNull()) {
        forms.erase(it);
        return nullptr;
    }
    return it->second.data();
}

Form* Create(std::type_index type, const std::function<Form*()>& make)
{
    Form* form = make();
    registry()[type] = form;
    form->Form_Load();
    return form;
}

void Unload(std::type_index type)
{
    if (Form* form = Find(type))
        UnloadWidget(form);
}

void UnloadWidget(Form* form)
{
    auto& forms = registry();
    for (auto it = forms.begin(); it != forms.end(); ++it) {
        if (it->second == form) {
            forms.erase(it);
            break;
        }
    }
    form->Form_Unload();
    form->hide();
    form->deleteLater();
}

void Flush() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

} // namespace brevion::Forms
