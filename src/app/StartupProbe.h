#pragma once

#include <QObject>

// For start-up measurements only: when the environment names a widget class in
// VESK_STARTUP_PROBE, the process ends as soon as the first widget of that class has been painted
// on screen, after printing "first frame <ns>" with the time of CLOCK_MONOTONIC in nanoseconds.
// Nothing happens otherwise.
class StartupProbe : public QObject {
    Q_OBJECT

public:
    static void installIfRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit StartupProbe(QByteArray className, QObject* parent);

    QByteArray m_className;
    bool m_fired = false;
};
