#include "dark_desktop.h"
#include "ui/frmabout.h"
#include "ui/form1.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFontInfo>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include <memory>
#include <optional>

using fretmap::frmAbout;

namespace {

// What the program's main window offers the about window: a menu with the
// actions "about" and "exit", and its own close button. It keeps its
// frmAbout, as the real main window does.
class StandInMainWindow : public QMainWindow {
public:
    StandInMainWindow()
    {
        QMenu* help = menuBar()->addMenu(QStringLiteral("Help"));
        QAction* about = help->addAction(QStringLiteral("About"));
        about->setObjectName(QStringLiteral("about"));
        QAction* exit = help->addAction(QStringLiteral("Exit"));
        exit->setObjectName(QStringLiteral("exit"));
        connect(about, &QAction::triggered, this, [this] { m_about.show(); });
        connect(exit, &QAction::triggered, qApp, [] { QCoreApplication::exit(0); });
    }

private:
    frmAbout m_about;
};

QDialog* openAboutWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String("frmAbout") && widget->isVisible())
            return qobject_cast<QDialog*>(widget);
    }
    return nullptr;
}

int aboutWindowCount()
{
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        count += widget->objectName() == QLatin1String("frmAbout");
    return count;
}

// Lets the windows that have closed finish deleting themselves.
void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Plays one user action. The key goes where the keyboard sends it: to the
// focused control of the about window.
void play(const QString& step, QWidget* mainWindow)
{
    QDialog* about = openAboutWindow();
    if (step == QLatin1String("about")) {
        // An open about window only comes to the front: not a second one,
        // nor a new one in its place.
        const QPointer<QDialog> before = about;
        mainWindow->findChild<QAction*>(step)->trigger();
        QVERIFY(openAboutWindow());
        if (about) {
            QVERIFY2(before, "About replaced the open about window");
            QCOMPARE(openAboutWindow(), before.data());
        }
    } else if (step == QLatin1String("exit")) {
        mainWindow->findChild<QAction*>(step)->trigger();
    } else if (step == QLatin1String("main")) {
        mainWindow->activateWindow(); // the user clicks on the main window
    } else if (step == QLatin1String("closeMain")) {
        mainWindow->windowHandle()->close(); // the title bar's close button
    } else if (!about) {
        QFAIL(qPrintable(step + QLatin1String(" needs an open about window")));
    } else if (step == QLatin1String("ok")) {
        QTest::mouseClick(about->findChild<QPushButton*>(QStringLiteral("cmdOK")), Qt::LeftButton);
    } else if (step == QLatin1String("close")) {
        about->windowHandle()->close();
    } else if (step == QLatin1String("minimise")) {
        about->setWindowState(about->windowState() | Qt::WindowMinimized);
    } else {
        const Qt::Key key = step == QLatin1String("enter") ? Qt::Key_Return
                          : step == QLatin1String("esc")   ? Qt::Key_Escape
                                                           : Qt::Key_Tab;
        QVERIFY(about->focusWidget());
        QTest::keyClick(about->focusWidget(), key);
    }
}

// Notes the quit that the application posts to itself when its last window
// has closed.
class QuitWatcher : public QObject {
public:
    QuitWatcher() { qApp->installEventFilter(this); }
    bool seen = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == qApp && event->type() == QEvent::Quit)
            seen = true;
        return false;
    }
};

// Plays the steps inside the application's event loop, one event each, as a
// user would, and says whether the program ended: by a quit, or by leaving
// the event loop before the marker event queued behind the steps ran.
bool playEndsProgram(const QStringList& steps, QWidget* mainWindow)
{
    constexpr int kStillRunning = 77;
    QuitWatcher quit;
    for (const QString& step : steps)
        QMetaObject::invokeMethod(qApp, [=] { play(step, mainWindow); }, Qt::QueuedConnection);
    QMetaObject::invokeMethod(qApp, [] {
        QMetaObject::invokeMethod(qApp, [] { QCoreApplication::exit(kStillRunning); }, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
    const int result = QCoreApplication::exec();
    // Whatever the end left queued must not end the next run.
    QCoreApplication::removePostedEvents(qApp, QEvent::MetaCall);
    QCoreApplication::removePostedEvents(qApp, QEvent::Quit);
    flushDeletes();
    return quit.seen || result != kStillRunning;
}


// Everything a user sees of the window, control by control.
QStringList describe(QDialog* window)
{
    QStringList lines{window->windowTitle()};
    QList<QWidget*> widgets = window->findChildren<QWidget*>();
    widgets.prepend(window);
    for (QWidget* child : std::as_const(widgets)) {
        QString text;
        if (auto* label = qobject_cast<QLabel*>(child))
            text = label->text() + QString::number(label->pixmap().cacheKey() != 0);
        else if (auto* button = qobject_cast<QPushButton*>(child))
            text = button->text();
        const QRect r = child->geometry();
        lines << QStringLiteral("%1 %2,%3 %4x%5 %6 %7")
                     .arg(child->objectName())
                     .arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height())
                     .arg(text, child->font().toString());
    }
    return lines;
}

} // namespace

class FrmAboutTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void window();
    void controls_data();
    void controls();
    void textsFitTheirBoxes_data();
    void textsFitTheirBoxes();
    void title();
    void picture();
    void icons();
    void rule_data();
    void rule();
    void tabOrder();

    void unloading_data();
    void unloading();
    void reloadShowsTheSameWindow();

    void lifecycle_data();
    void lifecycle();

private:
    std::unique_ptr<frmAbout> m_about;
    QPointer<QDialog> m_window;
};

void FrmAboutTest::init()
{
    m_about = std::make_unique<frmAbout>();
    m_about->show();
    m_window = m_about->window();
    QVERIFY(m_window);
}

void FrmAboutTest::cleanup()
{
    m_about.reset();
    flushDeletes();
    QCOMPARE(aboutWindowCount(), 0);
}

void FrmAboutTest::window()
{
    QCOMPARE(m_window->objectName(), QStringLiteral("frmAbout"));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("About "));
    QVERIFY(m_window->isVisible());

    // The client area, fixed, at its place on the screen.
    QCOMPARE(m_window->geometry(), QRect(156, 129, 382, 225));
    QCOMPARE(m_window->mapToGlobal(QPoint(0, 0)), QPoint(156, 129));
    QCOMPARE(m_window->minimumSize(), QSize(382, 225));
    QCOMPARE(m_window->maximumSize(), QSize(382, 225));

    // A dialog frame: close button, no minimize, maximize or help button.
    const Qt::WindowFlags flags = m_window->windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Dialog);
    QVERIFY(flags & Qt::CustomizeWindowHint);
    QVERIFY(flags & Qt::WindowTitleHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(!(flags & Qt::WindowContextHelpButtonHint));

    // Modeless, with no owner, and it counts as one of the program's windows.
    QCOMPARE(m_window->windowModality(), Qt::NonModal);
    QVERIFY(!m_window->parentWidget());
    QVERIFY(!m_window->windowHandle()->transientParent());
    QVERIFY(m_window->testAttribute(Qt::WA_QuitOnClose));
}

void FrmAboutTest::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");

    QTest::newRow("cmdOK") << "cmdOK" << QRect(283, 175, 92, 23) << "OK";
    QTest::newRow("picIcon") << "picIcon" << QRect(160, 8, 36, 36) << "";
    QTest::newRow("lblDisclaimer") << "lblDisclaimer" << QRect(17, 175, 258, 39)
                                   << "Caution:... It is free software . Please use at your own risk.";
    QTest::newRow("lblTitle") << "lblTitle" << QRect(48, 64, 259, 32) << "Fretmap";
    QTest::newRow("lblVersion") << "lblVersion" << QRect(144, 104, 67, 12) << "Version 1.0.0";
    QTest::newRow("lblDescription") << "lblDescription" << QRect(120, 120, 111, 12) << "Guitar chord chart";
    QTest::newRow("lblYear") << "lblYear" << QRect(160, 136, 39, 12) << QString::fromUtf8("\u00A9 2026");
}

void FrmAboutTest::controls()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);

    const auto found = m_window->findChildren<QWidget*>(name);
    QCOMPARE(found.size(), 1);
    QWidget* control = found.first();
    QCOMPARE(control->parentWidget(), m_window.data());
    QCOMPARE(control->geometry(), geometry);
    QVERIFY(control->isVisible());
    if (auto* button = qobject_cast<QPushButton*>(control))
        QCOMPARE(button->text(), text);
    else
        QCOMPARE(qobject_cast<QLabel*>(control)->text(), text);
}

void FrmAboutTest::textsFitTheirBoxes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("wrapped");
    QTest::addColumn<Qt::Alignment>("alignment");
    QTest::addColumn<bool>("darkDesktop"); // the window loaded under a dark application palette

    const Qt::Alignment centred = Qt::AlignHCenter | Qt::AlignTop;
    for (const bool dark : {false, true}) {
        const char* suffix = dark ? ", dark desktop" : "";
        QTest::addRow("lblDisclaimer%s", suffix) << "lblDisclaimer" << true << (Qt::AlignLeft | Qt::AlignTop) << dark;
        QTest::addRow("lblTitle%s", suffix) << "lblTitle" << false << centred << dark;
        QTest::addRow("lblVersion%s", suffix) << "lblVersion" << false << centred << dark;
        QTest::addRow("lblDescription%s", suffix) << "lblDescription" << false << centred << dark;
        QTest::addRow("lblYear%s", suffix) << "lblYear" << false << centred << dark;
    }
}

void FrmAboutTest::textsFitTheirBoxes()
{
    QFETCH(QString, name);
    QFETCH(bool, wrapped);
    QFETCH(Qt::Alignment, alignment);
    QFETCH(bool, darkDesktop);

    std::optional<DarkDesktop> dark;
    if (darkDesktop) {
        dark.emplace();
        play(QStringLiteral("ok"), nullptr);
        flushDeletes();
        m_about->show();
        m_window = m_about->window();
    }

    auto* label = m_window->findChild<QLabel*>(name);
    QVERIFY(label);
    QCOMPARE(label->wordWrap(), wrapped);
    QCOMPARE(label->alignment(), alignment);
    QCOMPARE(label->palette().color(QPalette::WindowText), QColor(Qt::black));
    // Readable on the window behind it, whatever the desktop's palette (WCAG AA).
    const double ratio = contrastRatio(label->palette().color(label->foregroundRole()),
                                  m_window->palette().color(m_window->backgroundRole()));
    QVERIFY2(ratio >= 4.5, qPrintable(QString::number(ratio)));
    // The face is the window's own light grey, whatever the desktop's palette.
    QCOMPARE(m_window->palette().color(m_window->backgroundRole()), QColor(0xF0, 0xF0, 0xF0));

    // Nothing is cut off: the text lies inside the box, on one line unless
    // the label wraps.
    const QRect box = label->contentsRect();
    if (wrapped) {
        const QRect needed = label->fontMetrics().boundingRect(
            box, int(alignment) | Qt::TextWordWrap, label->text());
        QVERIFY2(box.contains(needed),
                 qPrintable(QStringLiteral("needs %1x%2").arg(needed.width()).arg(needed.height())));
        QVERIFY(needed.height() > label->fontMetrics().lineSpacing()); // it does wrap
    }
    if (!wrapped) {
        QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= box.width());
        QVERIFY(label->fontMetrics().height() <= box.height());
    }
}

void FrmAboutTest::title()
{
    auto* title = m_window->findChild<QLabel*>(QStringLiteral("lblTitle"));
    QCOMPARE(title->font().family(), QStringLiteral("Times New Roman"));
    QCOMPARE(title->font().pointSizeF(), 20.25);
    QCOMPARE(title->font().weight(), QFont::Bold);

    // The name must reach a real serif face, not a sans fallback.
    const QString face = QFontInfo(title->font()).family();
    QVERIFY2(face == QLatin1String("Times New Roman") || face == QLatin1String("Liberation Serif"),
             qPrintable(face));
    QVERIFY(QFontInfo(title->font()).bold());

    // The other controls have no font of their own: they use the window's.
    for (const char* name : {"cmdOK", "lblDisclaimer", "lblVersion", "lblDescription", "lblYear"}) {
        QWidget* control = m_window->findChild<QWidget*>(QLatin1String(name));
        QCOMPARE(control->font(), m_window->font());
    }
}

void FrmAboutTest::picture()
{
    auto* picIcon = m_window->findChild<QLabel*>(QStringLiteral("picIcon"));
    QCOMPARE(picIcon->frameShadow(), QFrame::Sunken);
    QCOMPARE(picIcon->pixmap().deviceIndependentSize(), QSizeF(32, 32));
    // The box is its picture plus the sunken edge.
    QCOMPARE(picIcon->contentsRect(), QRect(2, 2, 32, 32));

    // One pixel of the picture to each pixel of the screen: at scale 2
    // (frmabout_test_scale_2) the 64-pixel render, not the 32-pixel one
    // enlarged.
    const qreal ratio = picIcon->devicePixelRatioF();
    QCOMPARE(picIcon->pixmap().devicePixelRatio(), ratio);
    if (ratio == 2.0) {
        QImage render = QImage(QStringLiteral(":/icons/about_picture-64.png"))
                            .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        render.setDevicePixelRatio(ratio);
        QCOMPARE(picIcon->pixmap().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied), render);
    }
}

void FrmAboutTest::icons()
{
    const QImage icon = m_window->windowIcon().pixmap(32, 32).toImage();
    const QImage picture = m_window->findChild<QLabel*>(QStringLiteral("picIcon"))->pixmap().toImage();
    const QImage mainIcon(QStringLiteral(":/icons/fretmap-32.png"));

    for (const QImage& image : {icon, picture}) {
        QCOMPARE(image.size(), QSize(32, 32));
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                colours.insert(image.pixel(x, y));
        }
        QVERIFY(colours.size() > 2);
        QVERIFY(colours.size() <= 256);
    }
    QCOMPARE(m_window->windowIcon().pixmap(QSize(64, 64), 2.0).size(), QSize(128, 128));
    const QImage::Format format = QImage::Format_ARGB32;
    QVERIFY(icon.convertToFormat(format) != picture.convertToFormat(format));
    if (!mainIcon.isNull()) {
        QVERIFY(icon.convertToFormat(format) != mainIcon.convertToFormat(format));
        QVERIFY(picture.convertToFormat(format) != mainIcon.convertToFormat(format));
    }
}

void FrmAboutTest::rule_data()
{
    // Rows of pixels across the rule, on the window as drawn.
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("right"); // the last pixel of the line
    QTest::addColumn<QColor>("colour");

    QTest::newRow("grey line") << 163 << 6 << 376 << QColor(128, 128, 128);
    QTest::newRow("white line, upper row") << 164 << 7 << 376 << QColor(Qt::white);
    QTest::newRow("white line, lower row") << 165 << 7 << 376 << QColor(Qt::white);
}

void FrmAboutTest::rule()
{
    QFETCH(int, y);
    QFETCH(int, left);
    QFETCH(int, right);
    QFETCH(QColor, colour);

    const auto lines = m_window->findChildren<QWidget*>(QStringLiteral("Line1"));
    QCOMPARE(lines.size(), 2);

    const QImage image = m_window->grab().toImage();
    QCOMPARE(image.size(), QSize(382, 225));
    const QColor background = image.pixelColor(left - 2, y);
    QVERIFY(background != colour);
    QCOMPARE(image.pixelColor(left - 1, y), background);
    for (int x = left; x <= right; ++x)
        QCOMPARE(image.pixelColor(x, y), colour);
    QCOMPARE(image.pixelColor(right + 1, y), background);
}

void FrmAboutTest::tabOrder()
{
    // Only the button and the picture take the focus; the labels never do.
    auto* ok = m_window->findChild<QWidget*>(QStringLiteral("cmdOK"));
    auto* picIcon = m_window->findChild<QWidget*>(QStringLiteral("picIcon"));
    QCOMPARE(m_window->focusWidget(), ok);
    QTest::keyClick(ok, Qt::Key_Tab);
    QCOMPARE(m_window->focusWidget(), picIcon);
    // A tab stop that a screen reader names by what it shows.
    QCOMPARE(QAccessible::queryAccessibleInterface(picIcon)->text(QAccessible::Name), QStringLiteral("Acoustic guitar"));
    QTest::keyClick(picIcon, Qt::Key_Tab);
    QCOMPARE(m_window->focusWidget(), ok);
    QTest::keyClick(ok, Qt::Key_Backtab);
    QCOMPARE(m_window->focusWidget(), picIcon);
}

// Each way of closing the window unloads it: the window and its controls are
// destroyed, the object that keeps it stays and can show it again.
void FrmAboutTest::unloading_data()
{
    QTest::addColumn<QStringList>("steps");

    QTest::newRow("OK clicked") << QStringList{"ok"};
    QTest::newRow("Enter") << QStringList{"enter"};
    QTest::newRow("Esc") << QStringList{"esc"};
    QTest::newRow("title bar close") << QStringList{"close"};
    QTest::newRow("Enter with the focus on the picture") << QStringList{"tab", "enter"};
    QTest::newRow("Esc with the focus on the picture") << QStringList{"tab", "esc"};
}

void FrmAboutTest::unloading()
{
    QFETCH(QStringList, steps);

    QPointer<QWidget> ok = m_window->findChild<QWidget*>(QStringLiteral("cmdOK"));
    QSignalSpy destroyed(m_window.data(), &QObject::destroyed);
    for (const QString& step : steps)
        play(step, nullptr);
    QVERIFY(!m_about->window());
    flushDeletes();
    QCOMPARE(destroyed.count(), 1);
    QVERIFY(!m_window);
    QVERIFY(!ok);
    QCOMPARE(aboutWindowCount(), 0);

    m_about->show();
    QVERIFY(m_about->window());
    QCOMPARE(aboutWindowCount(), 1);
}

void FrmAboutTest::reloadShowsTheSameWindow()
{
    const QStringList first = describe(m_window);
    QTest::keyClick(m_window->focusWidget(), Qt::Key_Tab); // the focus moves off OK
    play(QStringLiteral("ok"), nullptr);
    flushDeletes();
    QVERIFY(!m_window);

    m_about->show();
    QDialog* again = m_about->window();
    QVERIFY(again);
    QCOMPARE(describe(again), first);
    QCOMPARE(again->focusWidget()->objectName(), QStringLiteral("cmdOK"));
}

// The program's windows after a sequence of user actions. "about" and
// "exit" are the main window's menu commands, "closeMain" its close button,
// "main" a click that brings it to the front;
// "ok", "enter", "esc", "tab", "close" and "minimise" act on the about window.
void FrmAboutTest::lifecycle_data()
{
    QTest::addColumn<QString>("main");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("aboutOpen");
    QTest::addColumn<bool>("mainOpen");
    QTest::addColumn<bool>("ends");
    QTest::addColumn<QString>("focus"); // in the about window, when open

    // Each case with the program's own main window, and with the least a main
    // window can be, so that a fault shows whether it lies in the about
    // window or in the main window's part.
    for (const QString& main : {QStringLiteral("Form1"), QStringLiteral("stand-in")}) {
        const QByteArray prefix = main.toUtf8() + ": ";

        QTest::newRow(prefix + "about") << main << QStringList{"about"} << true << true << false << "cmdOK";
        QTest::newRow(prefix + "about twice") << main << QStringList{"about", "about"} << true << true << false << "cmdOK";
        QTest::newRow(prefix + "about, tab") << main << QStringList{"about", "tab"} << true << true << false << "picIcon";
        QTest::newRow(prefix + "about, tab, about") << main << QStringList{"about", "tab", "about"} << true << true << false << "picIcon";
        QTest::newRow(prefix + "about, minimise") << main << QStringList{"about", "minimise"} << true << true << false << "cmdOK";
        QTest::newRow(prefix + "about, minimise, about") << main
            << QStringList{"about", "minimise", "about"} << true << true << false << "cmdOK";
        QTest::newRow(prefix + "about, main, about") << main << QStringList{"about", "main", "about"} << true << true << false << "cmdOK";
        QTest::newRow(prefix + "about, ok") << main << QStringList{"about", "ok"} << false << true << false << "";
        QTest::newRow(prefix + "about, enter") << main << QStringList{"about", "enter"} << false << true << false << "";
        QTest::newRow(prefix + "about, esc") << main << QStringList{"about", "esc"} << false << true << false << "";
        QTest::newRow(prefix + "about, close") << main << QStringList{"about", "close"} << false << true << false << "";
        QTest::newRow(prefix + "about, ok, about") << main << QStringList{"about", "ok", "about"} << true << true << false << "cmdOK";
        QTest::newRow(prefix + "about, close, about, esc, about") << main
            << QStringList{"about", "close", "about", "esc", "about"} << true << true << false << "cmdOK";
        QTest::newRow(prefix + "exit") << main << QStringList{"exit"} << false << false << true << "";
        QTest::newRow(prefix + "about, exit") << main << QStringList{"about", "exit"} << false << false << true << "";
        QTest::newRow(prefix + "closeMain") << main << QStringList{"closeMain"} << false << false << true << "";
        QTest::newRow(prefix + "about, closeMain") << main << QStringList{"about", "closeMain"} << true << false << false << "cmdOK";
        QTest::newRow(prefix + "about, closeMain, ok") << main << QStringList{"about", "closeMain", "ok"} << false << false << true << "";
        QTest::newRow(prefix + "about, closeMain, esc") << main << QStringList{"about", "closeMain", "esc"} << false << false << true << "";
        QTest::newRow(prefix + "about, closeMain, close") << main << QStringList{"about", "closeMain", "close"} << false << false << true << "";
        QTest::newRow(prefix + "about, ok, closeMain") << main << QStringList{"about", "ok", "closeMain"} << false << false << true << "";
    }
}

void FrmAboutTest::lifecycle()
{
    QFETCH(QString, main);
    QFETCH(QStringList, steps);
    QFETCH(bool, aboutOpen);
    QFETCH(bool, mainOpen);
    QFETCH(bool, ends);
    QFETCH(QString, focus);

    m_about.reset(); // this test uses the main window's own
    flushDeletes();

    std::unique_ptr<QWidget> mainWindow;
    if (main == QLatin1String("Form1"))
        mainWindow = std::make_unique<fretmap::Form1>();
    else
        mainWindow = std::make_unique<StandInMainWindow>();
    mainWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(mainWindow.get()));
    QSignalSpy lastWindowClosed(qApp, &QGuiApplication::lastWindowClosed);

    QCOMPARE(playEndsProgram(steps, mainWindow.get()), ends);
    QCOMPARE(lastWindowClosed.isEmpty(), !ends || steps.contains(QStringLiteral("exit")));

    // Exit ends the program without closing anything itself: the windows go
    // when main() returns and the main window, with its about window, is
    // destroyed.
    if (ends)
        mainWindow.reset();
    else
        QCOMPARE(mainWindow->isVisible(), mainOpen);

    QDialog* about = openAboutWindow();
    QCOMPARE(about != nullptr, aboutOpen);
    QCOMPARE(aboutWindowCount(), aboutOpen ? 1 : 0);
    if (about) {
        QCOMPARE(about->focusWidget()->objectName(), focus);
        QCOMPARE(about->isMinimized(), steps.last() == QLatin1String("minimise"));
        // Shown last, so it is in front and takes the keyboard.
        if (steps.last() == QLatin1String("about"))
            QTRY_COMPARE(QApplication::activeWindow(), about);
    }

    mainWindow.reset();
    flushDeletes();
    QCOMPARE(aboutWindowCount(), 0);
}

QTEST_MAIN(FrmAboutTest)
#include "frmabout_test.moc"
