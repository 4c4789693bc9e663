#include "shortcuts/Shortcut.h"

#include "shortcuts/KeyMap.h"
#include "shortcuts/KeyboardLayout.h"
#include "shortcuts/SpecialKey.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <array>
#include <cmath>
#include <utility>

namespace {

// (event flag, hot key bit)
constexpr std::array<std::pair<quint32, int>, 5> modifierMap {{
    {Shortcut::shiftFlag, Shortcut::shift},
    {Shortcut::controlFlag, Shortcut::control},
    {Shortcut::optionFlag, Shortcut::option},
    {Shortcut::commandFlag, Shortcut::command},
    {Shortcut::functionFlag, Shortcut::function},
}};

std::optional<int> integerMember(const QJsonObject& object, const char* name)
{
    const QJsonValue value = object.value(QLatin1String(name));
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (number != std::trunc(number) || number < -2147483648.0 || number > 2147483647.0)
        return std::nullopt;
    return static_cast<int>(number);
}

} // namespace

Shortcut::Shortcut(int keyCode, int modifiers)
    : carbonKeyCode(keyCode), carbonModifiers(modifiersFromEventFlags(eventFlagsFromModifiers(modifiers)))
{ }

Shortcut Shortcut::fromEventFlags(int keyCode, quint32 eventFlags)
{
    return Shortcut(keyCode, modifiersFromEventFlags(eventFlags));
}

Shortcut Shortcut::fromQt(int keyCode, Qt::KeyboardModifiers modifiers)
{
    return Shortcut(keyCode, modifiersFromQt(modifiers));
}

quint32 Shortcut::eventFlagsFromModifiers(int carbonModifiers)
{
    quint32 flags = 0;
    for (const auto& [flag, bit] : modifierMap) {
        if (carbonModifiers & bit)
            flags |= flag;
    }
    return flags;
}

int Shortcut::modifiersFromEventFlags(quint32 eventFlags)
{
    int modifiers = 0;
    for (const auto& [flag, bit] : modifierMap) {
        if (eventFlags & flag)
            modifiers |= bit;
    }
    return modifiers;
}

int Shortcut::modifiersFromQt(Qt::KeyboardModifiers modifiers)
{
    int result = 0;
    if (modifiers & Qt::ControlModifier)
        result |= control;
    if (modifiers & Qt::AltModifier)
        result |= option;
    if (modifiers & Qt::ShiftModifier)
        result |= shift;
    if (modifiers & Qt::MetaModifier)
        result |= command;
    return result;
}

QByteArray Shortcut::toJson() const
{
    QJsonObject object;
    object.insert(QStringLiteral("carbonKeyCode"), carbonKeyCode);
    object.insert(QStringLiteral("carbonModifiers"), carbonModifiers);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<Shortcut> Shortcut::fromJson(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const auto keyCode = integerMember(document.object(), "carbonKeyCode");
    const auto modifiers = integerMember(document.object(), "carbonModifiers");
    if (!keyCode || !modifiers)
        return std::nullopt;
    return Shortcut(*keyCode, *modifiers);
}

QString Shortcut::description() const
{
    // Same order and words as Qt's own shortcut texts on Linux.
    QStringList parts;
    if (carbonModifiers & command)
        parts << QCoreApplication::translate("Shortcut", "Meta");
    if (carbonModifiers & control)
        parts << QCoreApplication::translate("Shortcut", "Ctrl");
    if (carbonModifiers & option)
        parts << QCoreApplication::translate("Shortcut", "Alt");
    if (carbonModifiers & shift)
        parts << QCoreApplication::translate("Shortcut", "Shift");
    if (carbonModifiers & function)
        parts << QCoreApplication::translate("Shortcut", "Fn");

    if (const auto special = specialKeyForCode(carbonKeyCode))
        parts << specialKeyDisplayText(*special);
    else
        parts << KeyboardLayout::current().characterForKey(carbonKeyCode).toUpper();
    return parts.join(QLatin1Char('+'));
}
