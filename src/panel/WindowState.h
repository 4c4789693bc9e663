#pragma once

#include <QObject>

// Whether a panel is the key window of the active application; the list picks its selection
// colours from it.
class WindowState : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isActive READ isActive WRITE setActive NOTIFY isActiveChanged)

public:
    using QObject::QObject;

    bool isActive() const { return m_isActive; }
    void setActive(bool active)
    {
        m_isActive = active;
        Q_EMIT isActiveChanged(active);
    }

Q_SIGNALS:
    void isActiveChanged(bool active);

private:
    bool m_isActive = false;
};
