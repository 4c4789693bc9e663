#include "panel/PanelStatusLine.h"

#include "panel/PanelStyle.h"
#include "panel/TaskListAccessibility.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>

PanelStatusLine::PanelStatusLine(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(16, 4, 16, 6);
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("statusCount"));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("statusText"));
    m_status->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_status->setTextInteractionFlags(Qt::NoTextInteraction);
    const QFont font = PanelStyle::font(PanelStyle::TextStyle::caption);
    m_count->setFont(font);
    m_status->setFont(font);
    layout->addWidget(m_count);
    layout->addStretch(1);
    layout->addWidget(m_status);
    applyPalette();
    TaskListAccessibility::installFactory();
}

QString PanelStatusLine::countText(qsizetype workingCount)
{
    return workingCount == 1 ? QStringLiteral("1 next")
                             : QString::number(workingCount) + QStringLiteral(" next");
}

QString PanelStatusLine::statusText(const QString& appStatus, SyncState state)
{
    switch (state) {
    case SyncState::externallyModifiedConflicted:
        return QStringLiteral("Changed outside Vesk \u2014 click to resolve");
    case SyncState::unavailable:
        return QStringLiteral("File unavailable \u2014 click to resolve");
    case SyncState::unwritable:
        return QStringLiteral("File is read-only \u2014 click to resolve");
    case SyncState::inSync:
    case SyncState::externallyModifiedReloadable:
        break;
    }
    return appStatus;
}

void PanelStatusLine::setWorkingCount(qsizetype count)
{
    m_count->setText(countText(count));
    setAccessibleDescription(m_count->text());
}

void PanelStatusLine::setStatus(const QString& appStatus, SyncState state)
{
    m_status->setText(statusText(appStatus, state));
    // A status bar's name is what screen readers announce when it changes.
    setAccessibleName(m_status->text());
    m_resolvable = blocksSaving(state);
    m_status->setToolTip(m_resolvable
            ? QStringLiteral("The file needs attention, and editing is paused until you choose what to do "
                             "with it. Click to see the choices.")
            : appStatus);
    setCursor(m_resolvable ? Qt::PointingHandCursor : Qt::ArrowCursor);
    const bool blocked = blocksSaving(state) || appStatus.startsWith(QLatin1String("Save failed"))
        || appStatus.startsWith(QLatin1String("Could not"));
    if (blocked != m_blocked) {
        m_blocked = blocked;
        applyPalette();
    }
}

QString PanelStatusLine::shownCount() const
{
    return m_count->text();
}

QString PanelStatusLine::shownStatus() const
{
    return m_status->text();
}

void PanelStatusLine::applyPalette()
{
    QPalette p = palette();
    p.setColor(QPalette::WindowText, PanelStyle::secondaryLabelColor(palette()));
    m_count->setPalette(p);
    QPalette statusPalette = p;
    if (m_blocked)
        statusPalette.setColor(
            QPalette::WindowText, PanelStyle::isDark(palette()) ? QColor(255, 105, 97) : QColor(200, 40, 30));
    m_status->setPalette(statusPalette);
}

void PanelStatusLine::mouseReleaseEvent(QMouseEvent* event)
{
    QWidget::mouseReleaseEvent(event);
    if (m_resolvable && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit resolveRequested();
}

void PanelStatusLine::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyPalette();
}
