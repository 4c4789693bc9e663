#include "windows/SettingsWindow.h"

#include "kit/KitStyle.h"
#include "platform/DialogPresenter.h"
#include "shortcuts/GlobalShortcuts.h"
#include "shortcuts/HotKeyBackend.h"
#include "shortcuts/Name.h"
#include "shortcuts/Notifier.h"
#include "shortcuts/Recorder.h"
#include "shortcuts/RecorderField.h"
#include "windows/DesktopHotKeyField.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

SettingsWindow::SettingsWindow(DialogPresenter& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window), m_dialogs(dialogs)
{
    setWindowTitle(tr("Settings"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* section = new QGroupBox(tr("Settings"), this);
    layout->addWidget(section, 0, Qt::AlignCenter);
    auto* form = new QFormLayout(section);
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);

    if (GlobalShortcuts::areKeysChosenByDesktop()) {
        m_desktopHotKey = new DesktopHotKeyField(GlobalShortcuts::Name::togglePanel(), section);
        form->addRow(tr("Hotkey"), m_desktopHotKey);
    } else {
        const Recorder recorder {tr("Hotkey"), GlobalShortcuts::Name::togglePanel(), {}, {}, {}};
        m_hotKeyRecorder = recorder.addTo(*form, dialogs);
        addTakenNotice(*form);
        if (HotKeyBackend::isWaylandSession())
            addDesktopBindingNotice(*form);
    }
    m_startAtLoginBox = new QCheckBox(tr("Start at login"), section);
    form->addRow(QString(), m_startAtLoginBox);
    updateStartAtLoginBox();
    connect(m_startAtLoginBox, &QCheckBox::toggled, this, &SettingsWindow::setStartAtLogin);
    // Wider than its usual size where the recorder needs it for the longest shortcut.
    setFixedSize(QSize(width, height).expandedTo(sizeHint()));
}

void SettingsWindow::addTakenNotice(QFormLayout& form)
{
    m_takenNotice = new QLabel(tr("In use by another application"), this);
    m_takenNotice->setObjectName(QStringLiteral("takenNotice"));
    m_takenNotice->setFont(KitStyle::font(KitStyle::TextStyle::caption));
    QPalette palette = m_takenNotice->palette();
    palette.setColor(QPalette::WindowText, KitStyle::secondaryLabelColor(palette));
    m_takenNotice->setPalette(palette);
    // The row keeps its place while hidden, so the window does not change shape.
    QSizePolicy policy = m_takenNotice->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    m_takenNotice->setSizePolicy(policy);
    // A form drops a hidden row's space whatever the size policy says; a box layout keeps it.
    auto* place = new QWidget(form.parentWidget());
    auto* placeLayout = new QVBoxLayout(place);
    placeLayout->setContentsMargins(0, 0, 0, 0);
    placeLayout->addWidget(m_takenNotice);
    form.addRow(QString(), place);
    updateTakenNotice();
    const auto& notifier = GlobalShortcuts::Notifier::shared();
    connect(&notifier, &GlobalShortcuts::Notifier::shortcutByNameDidChange, this,
        &SettingsWindow::updateTakenNotice);
    connect(&notifier, &GlobalShortcuts::Notifier::registrationDidChange, this,
        &SettingsWindow::updateTakenNotice);
}

void SettingsWindow::addDesktopBindingNotice(QFormLayout& form)
{
    // Without the desktop portal, programs get no keys on Wayland (X programs' grabs see only the
    // keys typed into X programs); the desktop itself can run the toggle command.
    m_desktopBindingNotice = new QLabel(tr("Your desktop does not let programs set global shortcuts. In "
                                           "its keyboard settings, add a custom shortcut that runs "
                                           "“vesk --toggle”."),
        this);
    m_desktopBindingNotice->setObjectName(QStringLiteral("desktopBindingNotice"));
    m_desktopBindingNotice->setWordWrap(true);
    m_desktopBindingNotice->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_desktopBindingNotice->setFont(KitStyle::font(KitStyle::TextStyle::caption));
    m_desktopBindingNotice->setMaximumWidth(width);
    form.addRow(m_desktopBindingNotice);
}

void SettingsWindow::updateTakenNotice()
{
    m_takenNotice->setVisible(GlobalShortcuts::isTakenByAnotherApplication(m_hotKeyRecorder->shortcutName()));
}

void SettingsWindow::showEvent(QShowEvent* event)
{
    updateStartAtLoginBox();
    QWidget::showEvent(event);
}

void SettingsWindow::updateStartAtLoginBox()
{
    const QSignalBlocker blocker(m_startAtLoginBox);
    m_startAtLoginBox->setChecked(m_autostartEntry.isEnabled());
}

void SettingsWindow::setStartAtLogin(bool enabled)
{
    QString error;
    if (!m_autostartEntry.setEnabled(enabled, &error)) {
        m_dialogs.runWindowAlert(this,
            enabled ? tr("Vesk could not set itself to start at login")
                    : tr("Vesk could not stop starting at login"),
            error, {});
    }
    updateStartAtLoginBox();
}

SettingsWindow::~SettingsWindow()
{
    // The field reports to the dialogs until it is gone.
    delete m_hotKeyRecorder;
}
