#include "ui/forms.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>

#include <map>
#include <vector>

namespace brevion::Forms {
namespace {

constexpr const char* kUnloading = "brevionUnloading";

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
    // A window unloads once: its Form_Unload may itself unload it again, or a close may arrive
    // for a window already unloaded whose deletion is still pending.
    if (!form || form->property(kUnloading).toBool())
        return;
    form->setProperty(kUnloading, true);

    // Form_Unload runs while the window is still registered, so code in it that reaches the
    // window by its class finds this instance instead of loading a fresh one.
    form->Form_Unload();
    auto& forms = registry();
    bool registered = false;
    for (auto it = forms.begin(); it != forms.end(); ++it) {
        if (it->second == form) {
            forms.erase(it);
            registered = true;
            break;
        }
    }
    form->hide();
    // Deferred, so that a window may unload itself from inside one of its own handlers. A window
    // the registry never made is not the registry's to destroy.
    if (registered)
        form->deleteLater();
    else
        form->setProperty(kUnloading, false);
}

void UnloadAll()
{
    std::vector<QPointer<Form>> loaded;
    for (const auto& [type, form] : registry())
        if (!form.isNull())
            loaded.push_back(form);
    for (const QPointer<Form>& form : loaded)
        if (!form.isNull())
            UnloadWidget(form.data());
}

void Flush() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

} // namespace brevion::Forms
