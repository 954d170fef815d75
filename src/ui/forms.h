#pragma once

#include "ui/form.h"

#include <functional>
#include <typeindex>

namespace brevion {

// The window registry: one instance per window class, created and loaded (Form_Load) on first
// access, unloaded (Form_Unload) and destroyed by Unload; the next access creates a fresh one.
namespace Forms {

Form* Find(std::type_index type);
Form* Create(std::type_index type, const std::function<Form*()>& make);
void Unload(std::type_index type);
void UnloadWidget(Form* form);
// Unloads every loaded window and dialog (the end of a session with the component).
void UnloadAll();
// Destroys unloaded windows whose deletion was deferred (they may have been unloaded from inside
// one of their own handlers).
void Flush();

template <class T> T& Get()
{
    if (Form* existing = Find(typeid(T)))
        return static_cast<T&>(*existing);
    return static_cast<T&>(*Create(typeid(T), [] { return new T(); }));
}

template <class T> bool IsLoaded() { return Find(typeid(T)) != nullptr; }

template <class T> bool IsVisible()
{
    const Form* form = Find(typeid(T));
    return form && form->isVisible();
}

template <class T> void Unload() { Unload(typeid(T)); }

} // namespace Forms
} // namespace brevion
