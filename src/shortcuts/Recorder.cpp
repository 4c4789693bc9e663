#include "shortcuts/Recorder.h"

#include "shortcuts/RecorderField.h"

#include <QFormLayout>

RecorderField* Recorder::makeField(DialogPresenter& dialogs, QWidget* parent) const
{
    RecorderField* field = nullptr;
    if (const auto* name = std::get_if<GlobalShortcuts::Name>(&source)) {
        field = new RecorderField(*name, dialogs, parent);
        field->onChange = onChange;
    } else {
        const ShortcutBinding binding = std::get<ShortcutBinding>(source);
        field = new RecorderField(binding.get ? binding.get() : std::nullopt, dialogs, parent);
        const auto changed = onChange;
        // The owner's value follows every change made through the field, before onChange hears of it.
        field->onChange = [binding, changed](const std::optional<Shortcut>& shortcut) {
            if (binding.set)
                binding.set(shortcut);
            if (changed)
                changed(shortcut);
        };
    }
    field->validateShortcut = validateShortcut;
    field->conflictPolicy = conflictPolicy;
    if (!label.isEmpty())
        field->setAccessibleName(label);
    return field;
}

RecorderField* Recorder::addTo(QFormLayout& form, DialogPresenter& dialogs) const
{
    RecorderField* field = makeField(dialogs, form.parentWidget());
    if (label.isEmpty())
        form.addRow(field);
    else
        form.addRow(label, field);
    return field;
}
