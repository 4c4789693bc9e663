#include "windows/DesktopHotKeyField.h"

#include "shortcuts/GlobalShortcuts.h"
#include "shortcuts/Notifier.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

DesktopHotKeyField::DesktopHotKeyField(const GlobalShortcuts::Name& name, QWidget* parent)
    : QWidget(parent), m_name(name)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_trigger = new QLabel(this);
    m_trigger->setObjectName(QStringLiteral("desktopTrigger"));
    m_trigger->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_trigger, 1);
    m_change = new QPushButton(tr("Change…"), this);
    m_change->setToolTip(tr("Choose the keys in your desktop's shortcut settings"));
    layout->addWidget(m_change);
    connect(m_change, &QPushButton::clicked, this, [] { GlobalShortcuts::chooseKeysOnDesktop(); });
    connect(&GlobalShortcuts::Notifier::shared(), &GlobalShortcuts::Notifier::desktopTriggersDidChange, this,
        &DesktopHotKeyField::updateTrigger);
    updateTrigger();
}

void DesktopHotKeyField::updateTrigger()
{
    const QString trigger = GlobalShortcuts::desktopTrigger(m_name);
    m_trigger->setText(trigger.isEmpty() ? tr("Not set") : trigger);
}
