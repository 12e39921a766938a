// An error that stops a command of the windows is reported through the
// application object, and the program goes on handling events.

#include "fretmap_application.h"
#include "ui/error_boundary.h"
#include "ui/frmabout_design.h"
#include "ui/qt_text.h"

#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <stdexcept>

using fretmap::FretmapApplication;
using fretmap::guarded;

namespace {

FretmapApplication* application()
{
    return static_cast<FretmapApplication*>(QCoreApplication::instance());
}

void failingCommand(bool stdException)
{
    if (stdException)
        throw std::overflow_error("chord code overflow");
    throw 42;
}

} // namespace

class FretmapApplicationTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanupTestCase();

    void reportsAndGoesOn_data();
    void reportsAndGoesOn();
    void defaultReportIsAMessageBox();
    void aboutWindowShowsTheVersion();

private:
    QStringList m_reports;
};

void FretmapApplicationTest::init()
{
    m_reports.clear();
    application()->setReporter([this](const QString& text) { m_reports << text; });
}

void FretmapApplicationTest::cleanupTestCase()
{
    application()->setReporter(&FretmapApplication::showErrorMessage);
}

void FretmapApplicationTest::reportsAndGoesOn_data()
{
    QTest::addColumn<bool>("stdException");
    QTest::addColumn<QString>("reported");

    QTest::newRow("std::exception") << true << "chord code overflow";
    QTest::newRow("anything else") << false << "unknown error";
}

void FretmapApplicationTest::reportsAndGoesOn()
{
    QFETCH(bool, stdException);
    QFETCH(QString, reported);

    // A command run by the event loop, as a button's clicked() runs the
    // window's handlers.
    int calls = 0;
    QObject context;
    auto handler = [&] {
        guarded([&] {
            if (++calls == 1)
                failingCommand(stdException);
        });
    };
    QTimer::singleShot(0, &context, handler);
    QTRY_COMPARE(m_reports.size(), 1);
    QVERIFY2(m_reports.first().contains(reported), qPrintable(m_reports.first()));

    // The event loop goes on with the next one.
    QTimer::singleShot(0, &context, handler);
    QTRY_COMPARE(calls, 2);
    QCOMPARE(m_reports.size(), 1);
}

void FretmapApplicationTest::defaultReportIsAMessageBox()
{
    application()->setReporter(&FretmapApplication::showErrorMessage);
    guarded([] { failingCommand(true); });

    QPointer<QMessageBox> box;
    QTRY_VERIFY((box = [] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->objectName() == QLatin1String("errorMessage") && widget->isVisible())
                return qobject_cast<QMessageBox*>(widget);
        return static_cast<QMessageBox*>(nullptr);
    }()));
    QCOMPARE(box->icon(), QMessageBox::Critical);
    QVERIFY(box->text().contains(QStringLiteral("chord code overflow")));
    QVERIFY(!box->isModal());
    box->close();
    QTRY_VERIFY(!box); // closed is gone: many errors leave no boxes behind
}

void FretmapApplicationTest::aboutWindowShowsTheVersion()
{
    // The about window's text is fixed in its design, the version comes from
    // the build: a new version must change both.
    const auto& controls = fretmap::frmabout::kControls;
    const auto label = std::find_if(controls.begin(), controls.end(),
                                    [](const auto& control) { return control.name == "lblVersion"; });
    QVERIFY(label != controls.end());
    QCOMPARE(fretmap::toQString(label->text), QStringLiteral("Version ") + QCoreApplication::applicationVersion());
}

int main(int argc, char** argv)
{
    FretmapApplication app(argc, argv);
    FretmapApplicationTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "fretmap_application_test.moc"
