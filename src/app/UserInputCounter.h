#pragma once

#include <QObject>

// Notices the keys and mouse buttons the user presses in the application's windows (not in a question or a
// file dialog), so that work that finishes later can tell whether the user has gone on to something else
// since it began. The count only ever grows; a press that travels from a widget to its parents counts at
// each.
class UserInputCounter : public QObject {
    Q_OBJECT

public:
    explicit UserInputCounter(QObject* parent = nullptr);

    quint64 count() const { return m_count; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    quint64 m_count = 0;
};
