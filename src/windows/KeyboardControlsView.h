#pragma once

#include <QScrollArea>

class QLabel;

// The content of the keyboard controls reference: a header and the table of shortcuts by section,
// in a vertical scroll area.
class KeyboardControlsView : public QScrollArea {
    Q_OBJECT

public:
    // The usual size of the reference; smaller only where the screen is.
    static constexpr int width = 420;
    static constexpr int height = 550;

    explicit KeyboardControlsView(const QString& globalHotKeyDisplayName, QWidget* parent = nullptr);

    QString globalHotKeyDisplayName() const { return m_globalHotKeyDisplayName; }

    // The labels of each row as shown, in order: the keys' label and the description's label.
    struct RowLabels {
        QLabel* shortcut;
        QLabel* description;
    };
    const QList<RowLabels>& rowLabels() const { return m_rowLabels; }
    // The section headings as shown.
    const QList<QLabel*>& sectionTitleLabels() const { return m_sectionTitleLabels; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyAppearance();

    QString m_globalHotKeyDisplayName;
    QLabel* m_subtitle = nullptr;
    QList<RowLabels> m_rowLabels;
    QList<QLabel*> m_sectionTitleLabels;
};
