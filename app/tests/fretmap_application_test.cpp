// An exception that escapes an event handler is reported and the program
// goes on handling events.

#include "fretmap_application.h"

#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <stdexcept>

using fretmap::FretmapApplication;

namespace {

// Throws from its event handler while `armed`; counts what it handles.
class Thrower : public QObject {
public:
    enum class Kind {
        StdException,
        Other
    };

    Kind kind = Kind::StdException;
    bool armed = true;
    int handled = 0;

protected:
    bool event(QEvent* event) override
    {
        if (event->type() != QEvent::User)
            return QObject::event(event);
        if (armed) {
            if (kind == Kind::StdException)
                throw std::overflow_error("chord code overflow");
            throw 42;
        }
        ++handled;
        return true;
    }
};

FretmapApplication* application()
{
    return static_cast<FretmapApplication*>(QCoreApplication::instance());
}

} // namespace

class FretmapApplicationTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanupTestCase();

    void reportsAndGoesOn_data();
    void reportsAndGoesOn();
    void reportsFromASlot();
    void defaultReportIsAMessageBox();

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
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("posted");
    QTest::addColumn<QString>("reported");

    QTest::newRow("std::exception, sent") << int(Thrower::Kind::StdException) << false << "chord code overflow";
    QTest::newRow("std::exception, posted") << int(Thrower::Kind::StdException) << true << "chord code overflow";
    QTest::newRow("anything else, sent") << int(Thrower::Kind::Other) << false << "unknown error";
    QTest::newRow("anything else, posted") << int(Thrower::Kind::Other) << true << "unknown error";
}

void FretmapApplicationTest::reportsAndGoesOn()
{
    QFETCH(int, kind);
    QFETCH(bool, posted);
    QFETCH(QString, reported);

    Thrower thrower;
    thrower.kind = Thrower::Kind(kind);
    auto deliver = [&] {
        if (posted) {
            QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
            QCoreApplication::sendPostedEvents(&thrower);
        } else {
            QEvent event(QEvent::User);
            QCoreApplication::sendEvent(&thrower, &event);
        }
    };

    deliver();
    QCOMPARE(m_reports.size(), 1);
    QVERIFY2(m_reports.first().contains(reported), qPrintable(m_reports.first()));

    // The next event is handled as usual.
    thrower.armed = false;
    deliver();
    QCOMPARE(thrower.handled, 1);
    QCOMPARE(m_reports.size(), 1);
}

void FretmapApplicationTest::reportsFromASlot()
{
    // A slot run by the event loop, as a button's clicked() runs the
    // window's handlers. (Not a real click: unwinding through Qt's mouse and
    // key dispatch skips Qt's own clean-up there, which the leak checker of
    // the sanitizer build reports as Qt's leak.)
    int calls = 0;
    QObject context;
    auto handler = [&calls] {
        if (++calls == 1)
            throw std::out_of_range("no marker 5 on string 1");
    };
    QTimer::singleShot(0, &context, handler);
    QTRY_COMPARE(m_reports.size(), 1);
    QVERIFY(m_reports.first().contains(QStringLiteral("no marker 5 on string 1")));

    // The event loop goes on with the next one.
    QTimer::singleShot(0, &context, handler);
    QTRY_COMPARE(calls, 2);
    QCOMPARE(m_reports.size(), 1);
}

void FretmapApplicationTest::defaultReportIsAMessageBox()
{
    application()->setReporter(&FretmapApplication::showErrorMessage);
    Thrower thrower;
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&thrower, &event);

    QMessageBox* box = nullptr;
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
}

int main(int argc, char** argv)
{
    FretmapApplication app(argc, argv);
    FretmapApplicationTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "fretmap_application_test.moc"
