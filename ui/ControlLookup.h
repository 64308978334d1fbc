// SPDX-License-Identifier: Apache-2.0
#pragma once
// Finding a form's controls by name and index: one lookup for the Qt forms and
// the fake ones of the tests alike.

#include <map>
#include <stdexcept>
#include <string>
#include <utility>

namespace ui {

// "name", or "name(index)" for a member of a control array.
inline std::string controlId(const std::string& name, int index) {
    return index >= 0 ? name + "(" + std::to_string(index) + ")" : name;
}

// A form's controls, keyed by name and index (-1 outside a control array).
template <typename Entry>
using ControlMap = std::map<std::pair<std::string, int>, Entry>;

// The control's entry in a form's map (a ControlMap, or a const one); a name
// the form lacks is a programming error and throws std::out_of_range.
template <typename Map>
auto& findControl(Map& controls, const std::string& form, const std::string& name, int index) {
    auto it = controls.find({name, index});
    if (it == controls.end()) throw std::out_of_range("no control " + controlId(name, index) + " in " + form);
    return it->second;
}

// The control as the kind the caller asks for; another kind is a programming
// error and throws std::out_of_range.
template <typename T, typename Control>
T& controlOfKind(Control* control, const std::string& name, int index) {
    T* wanted = dynamic_cast<T*>(control);
    if (!wanted) throw std::out_of_range("control " + controlId(name, index) + " is of another kind");
    return *wanted;
}

}  // namespace ui
