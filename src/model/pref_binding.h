#pragma once
// Bindings into the Monitor's preferences: reading takes the field of the
// current value; writing assigns a whole new value through setPrefs, which
// applies, saves and hands it to the sampler (or does nothing when equal).

#include "model/monitor.h"
#include "ui/binding.h"

template <class T, class Field>
Binding<T> prefBinding(Monitor& monitor, Field field)
{
    return Binding<T>{[&monitor, field] {
                          Preferences prefs = monitor.prefs();
                          return T(field(prefs));
                      },
                      [&monitor, field](const T& value) {
                          Preferences prefs = monitor.prefs();
                          field(prefs) = value;
                          monitor.setPrefs(prefs);
                      }};
}

// The same for a switch on one member of the preferences.
inline Binding<bool> prefBinding(Monitor& monitor, bool Preferences::*member)
{
    return prefBinding<bool>(monitor, [member](Preferences& p) -> bool& { return p.*member; });
}
