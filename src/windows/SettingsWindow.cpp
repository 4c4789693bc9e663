#include "SettingsWindow.h"

#include "DialogPresenter.h"
#include "Name.h"
#include "QtDialogPresenter.h"
#include "Recorder.h"
#include "RecorderField.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QVBoxLayout>

SettingsWindow::SettingsWindow(DialogPresenter* dialogs, QWidget* parent) : QWidget(parent, Qt::Window)
{
    if (!dialogs) {
        m_ownDialogs = std::make_unique<QtDialogPresenter>(this);
        dialogs = m_ownDialogs.get();
    }
    setWindowTitle(tr("Settings"));
    setFixedSize(width, height);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* section = new QGroupBox(tr("Settings"), this);
    layout->addWidget(section, 0, Qt::AlignCenter);
    auto* form = new QFormLayout(section);
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);

    const Recorder recorder {tr("Hotkey"), GlobalShortcuts::Name::togglePanel(), {}, {}, {}};
    m_hotKeyRecorder = recorder.addTo(*form, *dialogs);
}

SettingsWindow::~SettingsWindow()
{
    // The field reports to the dialogs until it is gone.
    delete m_hotKeyRecorder;
}
