#pragma once

namespace GlobalShortcuts {

// A virtual key code in the stored numbering, with names for the keys the program refers to.
struct Key {
    int rawValue = 0;

    static constexpr Key space() { return {49}; }
    static constexpr Key returnKey() { return {36}; }
    static constexpr Key tab() { return {48}; }
    static constexpr Key escape() { return {53}; }
    static constexpr Key a() { return {0}; }
    static constexpr Key f1() { return {122}; }

    friend constexpr bool operator==(Key, Key) = default;
};

} // namespace GlobalShortcuts
