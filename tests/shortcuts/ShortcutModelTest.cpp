#include "FakeHotKeyBackend.h"
#include "platform/SettingsStore.h"
#include "shortcuts/GlobalShortcuts.h"
#include "shortcuts/HotKeyCenter.h"
#include "shortcuts/KeyMap.h"
#include "shortcuts/Notifier.h"
#include "shortcuts/PortalTrigger.h"
#include "shortcuts/SpecialKey.h"

#include <QApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace GlobalShortcuts;

namespace {
const Shortcut ctrlAltSpace(49, Shortcut::control | Shortcut::option);
const Shortcut ctrlAltK(40, Shortcut::control | Shortcut::option);
const Shortcut shiftMetaF5(96, Shortcut::shift | Shortcut::command);
} // namespace

class ShortcutModelTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<SettingsStore> m_store;
    FakeHotKeyBackend* m_backend = nullptr;
    int m_fileNumber = 0;

    // A new, empty settings file, as on a fresh installation.
    SettingsStore& useFreshSettings()
    {
        return useSettingsFile(m_dir.filePath(QString("s%1.ini").arg(++m_fileNumber)));
    }
    // A new store object on path, as after a restart.
    SettingsStore& useSettingsFile(const QString& path)
    {
        SettingsStore::setShared(nullptr);
        m_store = std::make_unique<SettingsStore>(path);
        SettingsStore::setShared(m_store.get());
        return *m_store;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        auto backend = std::make_unique<FakeHotKeyBackend>();
        m_backend = backend.get();
        HotKeyCenter::useBackend(std::move(backend));
        useFreshSettings();
    }

    void cleanupTestCase() { SettingsStore::setShared(nullptr); }

    void modifiersKeepOnlyTheFiveHotKeyBitsBothWays()
    {
        QCOMPARE(Shortcut(49, ~0).carbonModifiers, 0x100 | 0x200 | 0x800 | 0x1000 | 0x20000);
        QCOMPARE(Shortcut(49, 0x1 | 0x400 | 0x800).carbonModifiers, 0x800);
        QCOMPARE(Shortcut::fromEventFlags(49, 0x40000 | 0x80000 | 0x10000 | 0x1), ctrlAltSpace);
        QCOMPARE(Shortcut::fromEventFlags(0, 0x20000 | 0x100000 | 0x800000).carbonModifiers,
            0x200 | 0x100 | 0x20000);
        QCOMPARE(Shortcut::eventFlagsFromModifiers(0x1000 | 0x800 | 0x4), quint32(0x40000 | 0x80000));
        QCOMPARE(
            Shortcut::fromQt(49, Qt::ControlModifier | Qt::AltModifier | Qt::KeypadModifier), ctrlAltSpace);
        QCOMPARE(Shortcut::fromQt(0, Qt::ShiftModifier | Qt::MetaModifier).carbonModifiers, 0x200 | 0x100);
    }

    void jsonFormUsesTheTwoMembersAndReadsOnlyIntegers()
    {
        QCOMPARE(ctrlAltSpace.toJson(), QByteArray(R"({"carbonKeyCode":49,"carbonModifiers":6144})"));
        QCOMPARE(Shortcut::fromJson(shiftMetaF5.toJson()), shiftMetaF5);
        // Unknown modifier bits are dropped on reading too.
        QCOMPARE(Shortcut::fromJson(R"({"carbonKeyCode": 49, "carbonModifiers": 6145})"), ctrlAltSpace);

        for (const char* bad : {"", "not json", "[49, 6144]", R"({"carbonKeyCode": 49})",
                 R"({"carbonKeyCode": "49", "carbonModifiers": 6144})",
                 R"({"carbonKeyCode": 49.5, "carbonModifiers": 6144})",
                 R"({"carbonKeyCode": 1e12, "carbonModifiers": 6144})"})
            QVERIFY2(!Shortcut::fromJson(bad), bad);
    }

    void aNewSlotGetsItsDefaultWrittenOnce()
    {
        SettingsStore& settings = useFreshSettings();
        QSignalSpy changes(&Notifier::shared(), &Notifier::shortcutByNameDidChange);
        const Name name = Name::togglePanel();
        QCOMPARE(settings.value(name.settingsKey()).toString().toUtf8(), ctrlAltSpace.toJson());
        QCOMPARE(getShortcut(name), ctrlAltSpace);
        QCOMPARE(changes.count(), 0);

        setShortcut(ctrlAltK, name);
        const Name again = Name::togglePanel();
        QCOMPARE(getShortcut(again), ctrlAltK);

        // A name without a default writes nothing.
        const Name plain(QStringLiteral("plain"));
        QVERIFY(!settings.contains(plain.settingsKey()));
        QCOMPARE(getShortcut(plain), std::nullopt);
    }

    // The INI file keeps no types: after a restart the cleared slot reads back as the text "false".
    void aClearedSlotStaysEmptyAfterARestart()
    {
        const QString path = m_dir.filePath("restart.ini");
        useSettingsFile(path);
        const Name name = Name::togglePanel();
        QSignalSpy changes(&Notifier::shared(), &Notifier::shortcutByNameDidChange);
        setShortcut(std::nullopt, name);
        QCOMPARE(changes.count(), 1);
        QCOMPARE(getShortcut(name), std::nullopt);
        m_store->sync();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("GlobalShortcuts_togglePanel=false"));

        useSettingsFile(path);
        const Name relaunched = Name::togglePanel();
        QCOMPARE(getShortcut(relaunched), std::nullopt);
        QCOMPARE(m_store->boolValue(relaunched.settingsKey()), false);
        // Clearing what is already cleared changes nothing and announces nothing.
        setShortcut(std::nullopt, relaunched);
        QCOMPARE(changes.count(), 1);
        setShortcut(ctrlAltSpace, relaunched);
        m_store->sync();
        QCOMPARE(SettingsStore(path).value(name.settingsKey()).toString().toUtf8(), ctrlAltSpace.toJson());
    }

    void unreadableStoredValuesMeanNoShortcut_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::newRow("broken json") << QVariant(QStringLiteral("{\"carbonKeyCode\": 49,"));
        QTest::newRow("empty text") << QVariant(QString());
        QTest::newRow("number") << QVariant(49);
        QTest::newRow("true") << QVariant(true);
        QTest::newRow("list") << QVariant(QStringList({"49", "6144"}));
    }

    void unreadableStoredValuesMeanNoShortcut()
    {
        QFETCH(QVariant, stored);
        SettingsStore& settings = useFreshSettings();
        const Name name(QStringLiteral("unreadable"), ctrlAltSpace);
        settings.setValue(name.settingsKey(), stored);
        QCOMPARE(getShortcut(name), std::nullopt);
        // Present but unreadable is not absent: the default is not written over it.
        const Name again(QStringLiteral("unreadable"), ctrlAltSpace);
        QCOMPARE(getShortcut(again), std::nullopt);
        QCOMPARE(settings.value(name.settingsKey()), stored);
    }

    void settingTheSameShortcutRewritesItAndAnnouncesIt()
    {
        SettingsStore& settings = useFreshSettings();
        const Name name(QStringLiteral("same"), ctrlAltSpace);
        onKeyUp(name, [] {});
        QVERIFY(registeredShortcuts().contains(ctrlAltSpace));
        const quint32 firstId = registeredShortcuts().value(ctrlAltSpace)->id;

        QSignalSpy changes(&Notifier::shared(), &Notifier::shortcutByNameDidChange);
        settings.remove(name.settingsKey());
        setShortcut(ctrlAltSpace, name);
        QCOMPARE(settings.value(name.settingsKey()).toString().toUtf8(), ctrlAltSpace.toJson());
        setShortcut(ctrlAltSpace, name);
        QCOMPARE(changes.count(), 2);
        QCOMPARE(changes.at(1).at(0).value<Name>().rawValue, QStringLiteral("same"));
        QVERIFY(registeredShortcuts().value(ctrlAltSpace)->id > firstId);
        QVERIFY(m_backend->isRegistered(49, 6144));
    }

    void clearingANameWithoutDefaultRemovesItsKey()
    {
        SettingsStore& settings = useFreshSettings();
        const Name name(QStringLiteral("noDefault"));
        onKeyDown(name, [] {});
        setShortcut(shiftMetaF5, name);
        QVERIFY(m_backend->isRegistered(96, shiftMetaF5.carbonModifiers));
        QSignalSpy changes(&Notifier::shared(), &Notifier::shortcutByNameDidChange);
        setShortcut(std::nullopt, name);
        QVERIFY(!settings.contains(name.settingsKey()));
        QVERIFY(!registeredShortcuts().contains(shiftMetaF5));
        QVERIFY(!m_backend->isRegistered(96, shiftMetaF5.carbonModifiers));
        QCOMPARE(changes.count(), 1);
    }

    void aSharedShortcutStaysRegisteredUntilBothNamesLetGo()
    {
        useFreshSettings();
        const Shortcut shared(2, Shortcut::control | Shortcut::shift);
        const Name first(QStringLiteral("sharedFirst"), shared);
        const Name second(QStringLiteral("sharedSecond"), shared);
        QStringList ran;
        onKeyUp(first, [&] { ran << "first 1"; });
        onKeyUp(second, [&] { ran << "second"; });
        onKeyUp(first, [&] { ran << "first 2"; });
        QCOMPARE(registeredShortcuts().count(shared), 1);

        QVERIFY(m_backend->press(shared.carbonKeyCode, shared.carbonModifiers, true));
        QVERIFY(ran.isEmpty());
        QVERIFY(m_backend->press(shared.carbonKeyCode, shared.carbonModifiers, false));
        QCOMPARE(ran, QStringList({"first 1", "first 2", "second"}));

        setShortcut(std::nullopt, first);
        QVERIFY(registeredShortcuts().contains(shared));
        ran.clear();
        m_backend->press(shared.carbonKeyCode, shared.carbonModifiers, false);
        QCOMPARE(ran, QStringList({"second"}));

        setShortcut(ctrlAltK, second);
        QVERIFY(!registeredShortcuts().contains(shared));
        QVERIFY(!m_backend->isRegistered(shared.carbonKeyCode, shared.carbonModifiers));
        QVERIFY(registeredShortcuts().contains(ctrlAltK));
        setShortcut(std::nullopt, second);
    }

    void theKeyTableIsConsistentBothWays()
    {
        QSet<int> codes;
        for (const KeyMap::Entry& entry : KeyMap::entries()) {
            QVERIFY2(!codes.contains(entry.keyCode), qPrintable(QString::number(entry.keyCode)));
            codes.insert(entry.keyCode);
            QCOMPARE(KeyMap::forKeyCode(entry.keyCode), &entry);
            QCOMPARE(KeyMap::forKeysym(entry.keysym), &entry);
            if (entry.alternateKeysym)
                QCOMPARE(KeyMap::forKeysym(entry.alternateKeysym), &entry);
            QCOMPARE(KeyMap::forQtKey(entry.qtKey, entry.keypad), &entry);
        }
        for (const SpecialKey key : allSpecialKeys()) {
            QVERIFY(codes.contains(specialKeyCode(key)));
            QCOMPARE(specialKeyForCode(specialKeyCode(key)), key);
        }
        QCOMPARE(specialKeyForCode(0), std::nullopt);
        QCOMPARE(KeyMap::usCharacter(0), QStringLiteral("a"));
        QCOMPARE(KeyMap::usCharacter(50), QStringLiteral("`"));
        QCOMPARE(KeyMap::usCharacter(10), QString(QChar(0xFFFD)));
    }

    // The text as Vesk shows it, and as the desktop portal takes it for a preferred trigger.
    void shortcutsAreDescribedAsQtNamesThem_data()
    {
        QTest::addColumn<int>("keyCode");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("trigger");
        const int all
            = Shortcut::control | Shortcut::option | Shortcut::shift | Shortcut::command | Shortcut::function;
        const QList<std::tuple<int, const char*, const char*>> specialKeys {{36, "Return", "Return"},
            {51, "Backspace", "BackSpace"}, {117, "Del", "Delete"}, {119, "End", "End"},
            {53, "Esc", "Escape"}, {114, "Ins", "Insert"}, {116, "PgUp", "Prior"}, {121, "PgDown", "Next"},
            {123, "Left", "Left"}, {122, "F1", "F1"}, {90, "F20", "F20"}, {82, "Num+0", "KP_0"},
            {92, "Num+9", "KP_9"}, {71, "Num+Clear", "Clear"}, {76, "Num+Enter", "KP_Enter"},
            {69, "Num++", "KP_Add"}};
        for (const auto& [code, text, trigger] : specialKeys)
            QTest::newRow(text) << code << 0 << text << trigger;
        QTest::newRow("Ctrl+Alt+Space") << 49 << ctrlAltSpace.carbonModifiers << "Ctrl+Alt+Space"
                                        << "CTRL+ALT+space";
        QTest::newRow("Ctrl+Alt+K") << 40 << ctrlAltK.carbonModifiers << "Ctrl+Alt+K"
                                    << "CTRL+ALT+k";
        QTest::newRow("Meta+Shift+F5") << 96 << shiftMetaF5.carbonModifiers << "Meta+Shift+F5"
                                       << "SHIFT+LOGO+F5";
        // The portal has no Fn.
        QTest::newRow("all modifiers") << 0 << all << "Meta+Ctrl+Alt+Shift+Fn+A"
                                       << "CTRL+ALT+SHIFT+LOGO+a";
        QTest::newRow("punctuation") << 27 << int(Shortcut::control) << "Ctrl+-"
                                     << "CTRL+minus";
        QTest::newRow("keypad plus") << 69 << int(Shortcut::control) << "Ctrl+Num++"
                                     << "CTRL+KP_Add";
        QTest::newRow("no character") << 10 << int(Shortcut::control) << "Ctrl+\uFFFD"
                                      << "";
        // Where Qt names the same combination, the texts agree.
        QTest::newRow("as Qt") << 0 << (all & ~Shortcut::function)
                               << QKeySequence(Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::META | Qt::Key_A)
                                      .toString(QKeySequence::NativeText)
                               << "CTRL+ALT+SHIFT+LOGO+a";
    }

    void shortcutsAreDescribedAsQtNamesThem()
    {
        QFETCH(int, keyCode);
        QFETCH(int, modifiers);
        QFETCH(QString, text);
        QFETCH(QString, trigger);
        QCOMPARE(Shortcut(keyCode, modifiers).description(), text);
        if (const auto key = specialKeyForCode(keyCode); key && !modifiers)
            QCOMPARE(specialKeyDisplayText(*key), text);
        QCOMPARE(PortalTrigger::fromShortcut(Shortcut(keyCode, modifiers)), trigger);
    }
};

QTEST_MAIN(ShortcutModelTest)
#include "ShortcutModelTest.moc"
