#include "app/DeferredIconStyle.h"

#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPointer>
#include <QStyleOption>
#include <QWidget>

#include <optional>

namespace {

// Stands for a standard icon of a style and asks the style for it on first use.
class DeferredIconEngine : public QIconEngine {
public:
    DeferredIconEngine(const QStyle* style, QStyle::StandardPixmap icon, Qt::LayoutDirection direction)
        : m_style(style), m_icon(icon), m_direction(direction)
    { }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        real().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return real().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        return real().pixmap(size, scale, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return real().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return real().availableSizes(mode, state);
    }
    bool isNull() override { return real().isNull(); }
    QString key() const override { return QStringLiteral("DeferredIconEngine"); }
    QIconEngine* clone() const override
    {
        auto* copy = new DeferredIconEngine(m_style, m_icon, m_direction);
        copy->m_real = m_real;
        return copy;
    }

private:
    const QIcon& real()
    {
        if (!m_real) {
            QStyleOption option;
            option.direction = m_direction;
            m_real = m_style ? m_style->standardIcon(m_icon, &option) : QIcon();
        }
        return *m_real;
    }

    QPointer<const QStyle> m_style;
    QStyle::StandardPixmap m_icon;
    Qt::LayoutDirection m_direction;
    std::optional<QIcon> m_real;
};

} // namespace

DeferredIconStyle::DeferredIconStyle(const QString& key) : QProxyStyle(key) { }

QIcon DeferredIconStyle::standardIcon(
    StandardPixmap icon, const QStyleOption* option, const QWidget* widget) const
{
    if (icon != SP_ToolBarHorizontalExtensionButton && icon != SP_ToolBarVerticalExtensionButton)
        return QProxyStyle::standardIcon(icon, option, widget);
    const Qt::LayoutDirection direction = option ? option->direction
        : widget                                 ? widget->layoutDirection()
                                                 : QGuiApplication::layoutDirection();
    return QIcon(new DeferredIconEngine(baseStyle(), icon, direction));
}
