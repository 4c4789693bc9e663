#pragma once

#include <QByteArray>
#include <QHashFunctions>
#include <QMetaType>
#include <QString>
#include <Qt>

#include <optional>

// A key combination as it is stored: a virtual key code in the numbering of the stored settings (49
// is the space bar; see KeyMap) and a modifier mask in the hot key encoding. Equal and hashed by
// both fields.
struct Shortcut {
    // Hot key modifier bits.
    static constexpr int command = 0x100;
    static constexpr int shift = 0x200;
    static constexpr int option = 0x800;
    static constexpr int control = 0x1000;
    static constexpr int function = 0x20000;

    // Event modifier flags, the other side of the fixed map between the two encodings.
    static constexpr quint32 shiftFlag = 0x20000;
    static constexpr quint32 controlFlag = 0x40000;
    static constexpr quint32 optionFlag = 0x80000;
    static constexpr quint32 commandFlag = 0x100000;
    static constexpr quint32 functionFlag = 0x800000;

    int carbonKeyCode = 0;
    int carbonModifiers = 0;

    Shortcut() = default;
    // From raw stored values; the mask is normalised so that only the five modifier bits survive.
    Shortcut(int keyCode, int modifiers);
    // From a key and event modifier flags (all other flags are dropped).
    static Shortcut fromEventFlags(int keyCode, quint32 eventFlags);
    // From Qt's modifiers: Ctrl is Control, Alt is Option, Meta (Super) is Command.
    static Shortcut fromQt(int keyCode, Qt::KeyboardModifiers modifiers);

    static quint32 eventFlagsFromModifiers(int carbonModifiers);
    static int modifiersFromEventFlags(quint32 eventFlags);
    static int modifiersFromQt(Qt::KeyboardModifiers modifiers);

    // The JSON form {"carbonKeyCode": …, "carbonModifiers": …}, compact UTF-8.
    QByteArray toJson() const;
    // None unless json is an object whose two members are integers.
    static std::optional<Shortcut> fromJson(const QByteArray& json);

    // The display text, Linux style: "Ctrl+Alt+Space". A key that is not special shows the
    // character the current keyboard layout gives it, capitalised.
    QString description() const;

    friend bool operator==(const Shortcut&, const Shortcut&) = default;
};

inline size_t qHash(const Shortcut& shortcut, size_t seed = 0)
{
    return qHashMulti(seed, shortcut.carbonKeyCode, shortcut.carbonModifiers);
}

Q_DECLARE_METATYPE(Shortcut)
