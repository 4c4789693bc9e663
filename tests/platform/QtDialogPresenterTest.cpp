#include "platform/gui/QtDialogPresenter.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <optional>

namespace {

// Acts on the modal dialog once it is on screen, from inside its event loop.
template <typename Dialog>
void whenShown(std::function<void(Dialog*)> act)
{
    QTimer::singleShot(0, qApp, [act] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        act(dialog);
    });
}

} // namespace

class QtDialogPresenterTest : public QObject {
    Q_OBJECT

private slots:
    void alertReturnsTheIndexOfTheChosenButton_data()
    {
        QTest::addColumn<int>("clicked");
        QTest::addColumn<bool>("onWindow");
        QTest::newRow("first") << 0 << false;
        QTest::newRow("third") << 2 << false;
        QTest::newRow("a window's sheet") << 1 << true;
    }

    void alertReturnsTheIndexOfTheChosenButton()
    {
        QFETCH(int, clicked);
        QFETCH(bool, onWindow);
        const QStringList buttons {"Reload from Disk", "Save to New File…", "Cancel"};
        QtDialogPresenter presenter;
        QWidget window;
        QWidget* field = new QWidget(&window);
        if (onWindow)
            window.show();
        bool checked = false;
        whenShown<QMessageBox>([&](QMessageBox* box) {
            checked = true;
            // A sheet belongs to its window alone and shows no icon; other alerts warn.
            QCOMPARE(box->windowModality(), onWindow ? Qt::WindowModal : Qt::ApplicationModal);
            QCOMPARE(box->parentWidget(), onWindow ? &window : nullptr);
            QCOMPARE(box->icon(), onWindow ? QMessageBox::NoIcon : QMessageBox::Warning);
            QCOMPARE(box->text(), QStringLiteral("Vesk hit a file problem"));
            QCOMPARE(box->informativeText(), QStringLiteral("Details"));
            QCOMPARE(box->buttons().size(), buttons.size());
            QCOMPARE(box->defaultButton()->text(), buttons.first());
            QCOMPARE(box->escapeButton()->text(), QStringLiteral("Cancel"));
            for (QAbstractButton* button : box->buttons())
                if (button->text() == buttons.at(clicked))
                    button->click();
        });
        const QString message = QStringLiteral("Vesk hit a file problem");
        const QString details = QStringLiteral("Details");
        QCOMPARE(onWindow ? presenter.runWindowAlert(field, message, details, buttons)
                          : presenter.runAlert(message, details, buttons),
            clicked);
        QVERIFY(checked);
    }

    // While Vesk shows that it is busy (a list opened in the background), a question to the user
    // shows the ordinary pointer, and the busy one comes back after it.
    void aQuestionShowsTheOrdinaryPointer()
    {
        QtDialogPresenter presenter;
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
        std::optional<Qt::CursorShape> shown;
        whenShown<QMessageBox>([&](QMessageBox* box) {
            shown = QGuiApplication::overrideCursor()->shape();
            QTest::keyClick(box, Qt::Key_Escape);
        });
        presenter.runAlert(QStringLiteral("Import as Vesk file?"), QStringLiteral("i"), {"Import", "Cancel"});
        QCOMPARE(shown, std::optional<Qt::CursorShape>(Qt::ArrowCursor));
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::BusyCursor);
        QGuiApplication::restoreOverrideCursor();
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    // Escape chooses Cancel; an alert without buttons gets one to close it.
    void alertsCloseWithEscapeOrTheirOnlyButton()
    {
        QtDialogPresenter presenter;
        whenShown<QMessageBox>([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
        QCOMPARE(presenter.runAlert(QStringLiteral("m"), QStringLiteral("i"), {"Import", "Cancel"}), 1);
        whenShown<QMessageBox>([](QMessageBox* box) {
            QCOMPARE(box->buttons().size(), 1);
            box->buttons().constFirst()->click();
        });
        QCOMPARE(presenter.runAlert(QStringLiteral("m"), QStringLiteral("i"), {}), 0);
    }

    void savePanelAddsTheSuffixAndOpenPanelReturnsTheFile()
    {
        QTemporaryDir folder;
        QtDialogPresenter presenter;
        whenShown<QFileDialog>([&](QFileDialog* dialog) {
            QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
            QCOMPARE(dialog->nameFilters(), QStringList {"Vesk files (*.vesk)"});
            QCOMPARE(dialog->directory().absolutePath(), folder.path());
            dialog->selectFile(QStringLiteral("Groceries"));
            static_cast<QDialog*>(dialog)->accept();
        });
        const QString saved = presenter.chooseFileToSave(
            QStringLiteral("Vesk.vesk"), {"Vesk files (*.vesk)"}, QStringLiteral("vesk"), folder.path());
        QCOMPARE(saved, folder.filePath(QStringLiteral("Groceries.vesk")));

        QFile file(saved);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        whenShown<QFileDialog>([&](QFileDialog* dialog) {
            QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFile);
            QCOMPARE(dialog->directory().absolutePath(), folder.path());
            dialog->selectFile(QStringLiteral("Groceries.vesk"));
            static_cast<QDialog*>(dialog)->accept();
        });
        QCOMPARE(presenter.chooseFileToOpen({"Vesk files (*.vesk)"}, folder.path()), saved);

        // Without a folder of its own the panel starts at home, not in the working folder.
        whenShown<QFileDialog>([](QFileDialog* dialog) {
            QCOMPARE(dialog->directory().absolutePath(), QDir::homePath());
            dialog->reject();
        });
        QVERIFY(presenter.chooseFileToOpen({"Vesk files (*.vesk)"}, QString()).isEmpty());
    }
};

QTEST_MAIN(QtDialogPresenterTest)
#include "QtDialogPresenterTest.moc"
