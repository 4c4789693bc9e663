#pragma once

#include <QObject>

class QSocketNotifier;

// The signals that ask a program to end (SIGTERM when the desktop session or the user's service
// manager stops it, SIGHUP when its terminal goes, SIGINT for Ctrl+C there) arrive as `received`
// on the event loop instead of killing the process on the spot, so that Vesk can end as Quit does:
// transitions land and every write reaches the disk first. One instance per process.
class TerminationSignals : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received(int signalNumber);

private:
    static void handle(int signalNumber);
    void readPending();

    QSocketNotifier* m_notifier = nullptr;
};
