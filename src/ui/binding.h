#pragma once
// A two-way binding: a getter and a setter over one value the parent owns.
// The settings controls hold no value of their own; they read through the
// getter whenever their owner asks them to sync, and write through the
// setter on every user action.

#include <functional>
#include <utility>

template <class T>
struct Binding {
    std::function<T()> get;
    std::function<void(const T&)> set;

    T value() const { return get ? get() : T{}; }
    void write(const T& value) const
    {
        if (set)
            set(value);
    }

    // A binding of another type over this one: `to` reads, `from` writes.
    template <class U, class To, class From>
    Binding<U> map(To to, From from) const
    {
        Binding<T> self = *this;
        return Binding<U>{[self, to] { return to(self.value()); },
                          [self, from](const U& value) { self.write(from(value)); }};
    }
};
