#pragma once

#include "shortcuts/Name.h"

#include <QWidget>

class QLabel;
class QPushButton;

// The show/hide shortcut where the desktop chooses the keys (the desktop portal on Wayland): the
// keys the desktop reports for the slot, and a button that asks the desktop to change them in its
// own dialog. A recorder cannot work there, as programs do not see the keys.
class DesktopHotKeyField : public QWidget {
    Q_OBJECT

public:
    explicit DesktopHotKeyField(const GlobalShortcuts::Name& name, QWidget* parent = nullptr);

    QLabel* triggerLabel() const { return m_trigger; }
    QPushButton* changeButton() const { return m_change; }

private:
    void updateTrigger();

    GlobalShortcuts::Name m_name;
    QLabel* m_trigger = nullptr;
    QPushButton* m_change = nullptr;
};
