#pragma once

#include "shortcuts/ConflictPolicy.h"
#include "shortcuts/ShortcutSource.h"
#include "shortcuts/ValidationResult.h"

#include <QString>

#include <functional>
#include <optional>

class DialogPresenter;
class QFormLayout;
class QWidget;
class RecorderField;

// A shortcut recorder as a form shows it: an optional label beside a RecorderField for a source.
struct Recorder {
    QString label;
    ShortcutSource source;
    std::function<void(const std::optional<Shortcut>&)> onChange;
    std::function<GlobalShortcuts::ValidationResult(const Shortcut&)> validateShortcut;
    ConflictPolicy conflictPolicy;

    // The field for this recorder; conflicts are reported through dialogs, which must outlive it.
    RecorderField* makeField(DialogPresenter& dialogs, QWidget* parent = nullptr) const;
    // Adds the field to form: a labelled row with a label, the field alone without.
    RecorderField* addTo(QFormLayout& form, DialogPresenter& dialogs) const;
};
