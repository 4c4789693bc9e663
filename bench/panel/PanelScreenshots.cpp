// panel_screenshots STATE light|dark OUTPUT.png: shows one panel in STATE (welcome, list, input,
// edit, completion; moved and filtered: the expanded row after it was moved away or filtered out and
// back; widened and narrowed: the expanded row after a resize) and captures the screen area of its
// window with ImageMagick's import.

#include "panel/TaskListView.h"
#include "panel/VeskPanelController.h"
#include "platform/DialogPresenter.h"
#include "platform/ManualScheduler.h"
#include "platform/SettingsStore.h"
#include "session/SessionController.h"
#include "sync/VeskDocumentController.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QStyle>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

class SilentDialogs : public DialogPresenter {
public:
    int runAlert(const QString&, const QString&, const QStringList&) override { return -1; }
    QString chooseFileToOpen(const QStringList&, const QString&) override { return {}; }
    QString chooseFileToSave(const QString&, const QStringList&, const QString&, const QString&) override
    {
        return {};
    }
};

QPalette darkPalette()
{
    QPalette p;
    p.setColor(QPalette::Window, QColor(30, 30, 32));
    p.setColor(QPalette::WindowText, QColor(235, 235, 240));
    p.setColor(QPalette::Base, QColor(48, 48, 52));
    p.setColor(QPalette::AlternateBase, QColor(40, 40, 44));
    p.setColor(QPalette::Text, QColor(235, 235, 240));
    p.setColor(QPalette::Button, QColor(52, 52, 56));
    p.setColor(QPalette::ButtonText, QColor(235, 235, 240));
    p.setColor(QPalette::Highlight, QColor(10, 132, 255));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::PlaceholderText, QColor(150, 150, 155));
    return p;
}

const char* sample = "Write the quarterly report\n"
                     "> Two pages, with a summary of the numbers\n"
                     "> and the plan for the next quarter\n"
                     "Call the plumber about the kitchen sink\n"
                     "Read [the project plan](https://example.com/plan) before Monday\n"
                     "---\n"
                     "Book flights for the conference\n"
                     "Look at https://example.org/recipes for dinner ideas\n"
                     "Renew the library card\n"
                     "---\n"
                     "Buy milk\n"
                     "Send the invoice to Dana\n";

// A task whose wrapped title and note take more lines in a narrow window than in a wide one.
const char* longTask
    = "Plan the spring garden: compare the seed catalogues, order the tomatoes and beans, and "
      "sketch where the raised beds go this year\n"
      "> Ask the neighbours whether they want to share the compost delivery in April\n";

} // namespace

int main(int argc, char** argv)
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: panel_screenshots STATE light|dark OUTPUT.png\n");
        return 2;
    }
    const QString state = QString::fromLocal8Bit(argv[1]);
    const bool dark = QString::fromLocal8Bit(argv[2]) == QLatin1String("dark");
    const QString output = QString::fromLocal8Bit(argv[3]);
    QApplication::setPalette(dark ? darkPalette() : QApplication::style()->standardPalette());

    QTemporaryDir dir;
    SettingsStore settings(dir.filePath(QStringLiteral("settings.ini")));
    SettingsStore::setShared(&settings);
    const QString path = dir.filePath(QStringLiteral("Groceries.vesk"));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    const bool resizing = state == QLatin1String("widened") || state == QLatin1String("narrowed");
    if (resizing)
        file.write(longTask);
    file.write(sample);
    file.close();

    // Delays only move when told, so each state holds still for the capture.
    ManualScheduler scheduler;
    QTimer turns;
    QObject::connect(&turns, &QTimer::timeout, [&] { scheduler.runDueJobs(); });
    turns.start(10);

    SilentDialogs dialogs;
    VeskDocumentController document(&dialogs, &scheduler);
    VeskPanelController panel(&document, &scheduler);
    SessionController* session = document.sessionController();
    if (state != QLatin1String("welcome"))
        document.openDocument(QUrl::fromLocalFile(path));
    panel.showPanel();
    panel.host()->move(40, 40);
    scheduler.runDueJobs();
    if (state == QLatin1String("narrowed"))
        panel.host()->resize(panel.host()->width() + 300, panel.host()->height());

    const auto ids = [&](TaskSection section) { return session->itemIDs(section); };
    if (state == QLatin1String("list")) {
        session->setSelection(SessionSelection::task(ids(TaskSection::working).at(0)));
        scheduler.advance(0.3);
    } else if (state == QLatin1String("input")) {
        session->setSelection(SessionSelection::task(ids(TaskSection::working).at(1)));
        session->beginCreatingNewItem();
    } else if (state == QLatin1String("edit")) {
        session->setSelection(SessionSelection::task(ids(TaskSection::inbox).at(0)));
        session->beginEditingSelectedItem();
    } else if (state == QLatin1String("completion")) {
        session->setSelection(SessionSelection::task(ids(TaskSection::working).at(1)));
        scheduler.advance(0.3);
        session->toggleSelectedItemCompletion();
        scheduler.advance(0.1);
    } else if (state == QLatin1String("moved") || state == QLatin1String("filtered")) {
        session->setSelection(SessionSelection::task(ids(TaskSection::working).at(0)));
        scheduler.advance(0.3);
        // Once the row has grown, it is moved away or filtered out and back.
        QTimer::singleShot(400, [&] {
            if (state == QLatin1String("moved"))
                session->toggleSelectedItemToday();
            else
                session->setFilterQuery(QStringLiteral("milk"));
            scheduler.advance(1);
            session->setFilterQuery(QString());
        });
    } else if (resizing) {
        session->setSelection(SessionSelection::task(ids(TaskSection::working).at(0)));
        scheduler.advance(0.3);
        // Once the row has grown, the window changes width.
        QTimer::singleShot(400, [&] {
            const int width = panel.host()->width() + (state == QLatin1String("widened") ? 300 : -300);
            panel.host()->resize(width, panel.host()->height());
        });
    }
    scheduler.runDueJobs();

    QTimer::singleShot(900, [&] {
        const QRect frame = panel.host()->frameGeometry().adjusted(-1, -1, 1, 1);
        const QString crop = QStringLiteral("%1x%2+%3+%4")
                                 .arg(frame.width())
                                 .arg(frame.height())
                                 .arg(std::max(frame.x(), 0))
                                 .arg(std::max(frame.y(), 0));
        const int status = QProcess::execute(QStringLiteral("import"),
            {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("-crop"), crop,
                QStringLiteral("+repage"), output});
        QApplication::exit(status);
    });
    const int status = app.exec();
    panel.closePanel();
    SettingsStore::setShared(nullptr);
    return status;
}
