// The main window held against its design: places, sizes, texts, items,
// stacking, tab order, menus and the state it opens in. The expected pixel
// numbers are written out here rather than taken from the window's design
// table, so that a wrong number in the table shows up.

#include "chord/chord_catalogue.h"
#include "dark_desktop.h"
#include "on_screen.h"
#include "ui/board_picture.h"
#include "ui/form1.h"
#include "ui/selector_list.h"

#include <QAccessible>
#include <QAction>
#include <QFontInfo>
#include <QFrame>
#include <QPainter>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStyle>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <optional>

using fretmap::Form1;

namespace {

// Displays a catalogue entry as a user would pick it: the entry's code
// records each list's row in its decimal digits, the root in the lowest two.
void displayEntry(QWidget& form, const fretmap::ChordEntry& entry)
{
    std::int32_t code = entry.code;
    form.findChild<fretmap::SelectorList*>(QStringLiteral("List1"))->pick(code % 100 - 1);
    code /= 100;
    for (int list = 2; list <= 9; ++list, code /= 10)
        form.findChild<fretmap::SelectorList*>(QStringLiteral("List%1").arg(list))->pick(code % 10);
    form.findChild<QPushButton*>(QStringLiteral("Command1"))->click();
}

// The commonest colour of an area: what fills it, around any text on it.
QColor fillOf(const QImage& image, const QRect& area)
{
    QHash<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            ++counts[image.pixel(x, y)];
    return QColor::fromRgb(std::max_element(counts.cbegin(), counts.cend()).key());
}


} // namespace

class Form1LayoutTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void window();
    void controlGeometry_data();
    void controlGeometry();
    void listItems_data();
    void listItems();
    void stacking_data();
    void stacking();
    void picture();
    void boardLines_data();
    void boardLines();
    void markers_data();
    void markers();
    void boardTexts_data();
    void boardTexts();
    void tabOrder();
    void menus_data();
    void menus();
    void resizeMovesNothing_data();
    void resizeMovesNothing();
    void boardLegibleForEveryChord();
    void boardUnderDarkPalette();
    void focusShows_data();
    void focusShows();

private:
    QWidget* control(const char* name) const
    {
        auto* widget = m_form->findChild<QWidget*>(QLatin1String(name));
        if (!widget)
            qFatal("no control %s", name);
        return widget;
    }

    std::unique_ptr<Form1> m_form;
};

void Form1LayoutTest::init()
{
    m_form = std::make_unique<Form1>();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
}

void Form1LayoutTest::cleanup()
{
    m_form.reset();
}

void Form1LayoutTest::window()
{
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Fretmap"));
    QCOMPARE(m_form->centralWidget()->size(), QSize(467, 235));
    QCOMPARE(m_form->centralWidget()->geometry().top(), m_form->menuBar()->geometry().bottom() + 1);

    QTRY_VERIFY(!m_form->windowIcon().isNull()); // set once the first frame is out
    const QIcon icon = m_form->windowIcon();
    const QImage image = icon.pixmap(32, 32).toImage();
    QCOMPARE(image.size(), QSize(32, 32));
    QVERIFY(image.convertToFormat(QImage::Format_Indexed8).colorCount() <= 256);
    QCOMPARE(image.convertToFormat(QImage::Format_ARGB32_Premultiplied),
             QImage(QStringLiteral(":/icons/fretmap-32.png")).convertToFormat(QImage::Format_ARGB32_Premultiplied));
    // A render of its own at each size and at scale 2, never a scaled-up copy.
    for (const int size : {16, 32, 64})
        QCOMPARE(icon.pixmap(QSize(size, size), 2.0).size(), QSize(2 * size, 2 * size));

    QCOMPARE(qobject_cast<QPushButton*>(control("Command1"))->text(), QStringLiteral("display"));
    // The lists, the button and the frames share the client area's small font.
    for (const char* name : {"List1", "List3", "Command1", "Frame5"})
        QCOMPARE(control(name)->font().pointSizeF(), 7.5);

    // Opens with the focus on the board, the first control in the tab order.
    QCOMPARE(QApplication::focusWidget(), control("Picture1"));
}

void Form1LayoutTest::controlGeometry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QRect>("geometry");

    // Twips over 15, inside the container.
    QTest::newRow("Picture1") << "Picture1" << "client" << QRect(208, 16, 249, 201);
    QTest::newRow("Command1") << "Command1" << "client" << QRect(64, 192, 81, 25);
    QTest::newRow("Frame3") << "Frame3" << "client" << QRect(8, 8, 49, 177);
    QTest::newRow("Frame4") << "Frame4" << "client" << QRect(56, 8, 49, 177);
    QTest::newRow("Frame5") << "Frame5" << "client" << QRect(104, 8, 89, 177);
    QTest::newRow("List1") << "List1" << "Frame3" << QRect(8, 16, 33, 148);
    QTest::newRow("List2") << "List2" << "Frame4" << QRect(8, 16, 33, 76);
    QTest::newRow("List4") << "List4" << "Frame5" << QRect(8, 16, 33, 28);
    QTest::newRow("List3") << "List3" << "client" << QRect(64, 120, 33, 40);
    QTest::newRow("List5") << "List5" << "client" << QRect(152, 24, 33, 28);
    QTest::newRow("List6") << "List6" << "client" << QRect(112, 64, 33, 52);
    QTest::newRow("List7") << "List7" << "client" << QRect(112, 128, 33, 52);
    QTest::newRow("List8") << "List8" << "client" << QRect(152, 64, 33, 52);
    QTest::newRow("List9") << "List9" << "client" << QRect(152, 128, 33, 40);
}

void Form1LayoutTest::controlGeometry()
{
    QFETCH(QString, name);
    QFETCH(QString, container);
    QFETCH(QRect, geometry);

    QWidget* widget = control(name.toLatin1().constData());
    QCOMPARE(widget->parentWidget()->objectName(), container);
    QCOMPARE(widget->geometry(), geometry);
    QVERIFY(widget->isVisible());
}

void Form1LayoutTest::listItems_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("items");

    QTest::newRow("List1") << "List1"
                           << QStringList{"C", "C#", "D", "Eb", "E", "F", "F#", "G", "G#", "A", "Bb", "B"};
    QTest::newRow("List2") << "List2" << QStringList{"\t", "m", "sus2", "sus4", "dim", "aug"};
    QTest::newRow("List3") << "List3" << QStringList{"\t", "M", "add"};
    QTest::newRow("List4") << "List4" << QStringList{" ", "6"};
    QTest::newRow("List5") << "List5" << QStringList{" ", "7"};
    QTest::newRow("List6") << "List6" << QStringList{" ", "5", "+5", "-5"};
    QTest::newRow("List7") << "List7" << QStringList{" ", "9", "+9", "-9"};
    QTest::newRow("List8") << "List8" << QStringList{" ", "11", "+11", "-11"};
    QTest::newRow("List9") << "List9" << QStringList{" ", "13", "-13"};
}

void Form1LayoutTest::listItems()
{
    QFETCH(QString, name);
    QFETCH(QStringList, items);

    auto* list = qobject_cast<fretmap::SelectorList*>(control(name.toLatin1().constData()));
    QVERIFY(list);
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts << list->itemText(row);
    QCOMPARE(texts, items);

    QCOMPARE(list->pickedRow(), -1);
    QCOMPARE(list->focusPolicy(), Qt::StrongFocus);

    // Every row 12 pixels high and in view: nothing to scroll to.
    const QRect inside = list->contentsRect();
    for (int row = 0; row < list->count(); ++row) {
        const QRect rect = list->rowRect(row);
        QCOMPARE(rect.height(), 12);
        QCOMPARE(rect.width(), inside.width()); // a pick is marked across the whole row
        QVERIFY2(inside.contains(rect), qPrintable(list->itemText(row)));
    }
    // ... and together they fill the list inside its border, with no strip left under the last.
    QCOMPARE(list->count() * 12, inside.height());

    // Each item can be told from the others on screen: none is cut short,
    // as "sus2" and "sus4" would both be to "su...". Nothing picked yet, no
    // row is drawn as picked: each lies on the list's base.
    const QImage image = list->grab().toImage();
    const QColor base = list->palette().color(QPalette::Base);
    for (int row = 0; row < list->count(); ++row)
        QCOMPARE(fillOf(image, list->rowRect(row)), base);
    for (int row = 0; row < list->count(); ++row)
        for (int other = row + 1; other < list->count(); ++other)
            QVERIFY2(image.copy(list->rowRect(row)) != image.copy(list->rowRect(other)),
                     qPrintable(items[row] + QLatin1String(" looks like ") + items[other]));

    // A screen reader meets a list of items, and reads a blank item as
    // "none", every other item as it shows.
    QAccessibleInterface* listAccess = QAccessible::queryAccessibleInterface(list);
    QVERIFY(listAccess);
    QCOMPARE(listAccess->role(), QAccessible::List);
    QCOMPARE(listAccess->text(QAccessible::Name), list->accessibleName());
    QCOMPARE(listAccess->childCount(), list->count());
    for (int row = 0; row < list->count(); ++row) {
        QAccessibleInterface* item = listAccess->child(row);
        QCOMPARE(item->role(), QAccessible::ListItem);
        QCOMPARE(item->parent(), listAccess);
        QCOMPARE(listAccess->indexOfChild(item), row);
        QCOMPARE(listAccess->childAt(item->rect().center().x(), item->rect().center().y()), item);
        QCOMPARE(item->text(QAccessible::Name), items[row].trimmed().isEmpty() ? QStringLiteral("none") : items[row]);
        QVERIFY(item->state().selectable && !item->state().selected && !item->state().invisible);
    }
    // The pick is the selected item, and the focused one, and shows.
    const int last = list->count() - 1;
    list->pick(last);
    QVERIFY(fillOf(list->grab().toImage(), list->rowRect(last)) != base);
    for (int row = 0; row <= last; ++row) {
        const QAccessible::State state = listAccess->child(row)->state();
        QCOMPARE(bool(state.selected), row == last);
        QCOMPARE(bool(state.focused), row == last);
    }
}

void Form1LayoutTest::stacking_data()
{
    QTest::addColumn<QString>("upper");
    QTest::addColumn<QString>("lower");

    // The design's stacking from top to bottom, pair by pair.
    const QStringList order{"List3", "List5", "List9", "List8", "List6", "List7",
                            "Frame5", "Frame4", "Frame3", "Command1", "Picture1"};
    for (qsizetype i = 0; i + 1 < order.size(); ++i)
        QTest::addRow("%s over %s", qPrintable(order[i]), qPrintable(order[i + 1])) << order[i] << order[i + 1];
}

void Form1LayoutTest::stacking()
{
    QFETCH(QString, upper);
    QFETCH(QString, lower);

    // Siblings are drawn in the order of their parent's children list.
    const QObjectList siblings = m_form->centralWidget()->children();
    const qsizetype upperIndex = siblings.indexOf(control(upper.toLatin1().constData()));
    const qsizetype lowerIndex = siblings.indexOf(control(lower.toLatin1().constData()));
    QVERIFY(upperIndex >= 0);
    QVERIFY(lowerIndex >= 0);
    QVERIFY(upperIndex > lowerIndex);

    // Where a list lies over a frame, the list is what the mouse finds.
    QWidget* upperWidget = control(upper.toLatin1().constData());
    if (qobject_cast<fretmap::SelectorList*>(upperWidget)) {
        QWidget* hit = m_form->centralWidget()->childAt(upperWidget->geometry().center());
        QVERIFY(hit == upperWidget || upperWidget->isAncestorOf(hit));
    }
}

void Form1LayoutTest::picture()
{
    auto* picture = qobject_cast<QFrame*>(control("Picture1"));
    QVERIFY(picture);
    QCOMPARE(picture->frameShadow(), QFrame::Sunken);
    QVERIFY(picture->frameShape() == QFrame::Panel || picture->frameShape() == QFrame::StyledPanel);
    QVERIFY(picture->autoFillBackground());
    QCOMPARE(picture->palette().color(picture->backgroundRole()), QColor(Qt::white));
    QCOMPARE(picture->focusPolicy(), Qt::StrongFocus);

    // Only markers and texts live on the board, and none takes the focus.
    for (QWidget* child : picture->findChildren<QWidget*>())
        QCOMPARE(child->focusPolicy(), Qt::NoFocus);
    for (const char* name : {"Frame3", "Frame4", "Frame5"}) {
        auto* frame = qobject_cast<QFrame*>(control(name));
        QCOMPARE(frame->focusPolicy(), Qt::NoFocus);
        QCOMPARE(frame->frameShape(), QFrame::Box); // an etched rectangle, no title
        QCOMPARE(frame->frameShadow(), QFrame::Sunken);
    }
}

void Form1LayoutTest::boardLines_data()
{
    QTest::addColumn<QPoint>("onLine");
    QTest::addColumn<QPoint>("offLine");

    // Inside the board's client area: strings at y = 24 n from x = 40 to 224,
    // nut and frets at x = 40, 80, 120, 160, 200 from y = 24 to 144.
    for (int n = 1; n <= 6; ++n) {
        QTest::addRow("string %d, past the last fret", n) << QPoint(212, 24 * n) << QPoint(212, 24 * n + 6);
        QTest::addRow("string %d, its right end", n) << QPoint(224, 24 * n) << QPoint(225, 24 * n);
    }
    const int frets[] = {40, 80, 120, 160, 200};
    for (int i = 0; i < 5; ++i) {
        QTest::addRow("fret line %d", i) << QPoint(frets[i], 36) << QPoint(frets[i] + 6, 36);
        QTest::addRow("fret line %d, its foot", i) << QPoint(frets[i], 144) << QPoint(frets[i], 145);
        QTest::addRow("fret line %d, its head", i) << QPoint(frets[i], 24) << QPoint(frets[i], 23);
    }
    QTest::newRow("nothing left of the nut") << QPoint(40, 60) << QPoint(30, 24);
}

void Form1LayoutTest::boardLines()
{
    QFETCH(QPoint, onLine);
    QFETCH(QPoint, offLine);

    auto* picture = qobject_cast<QFrame*>(control("Picture1"));
    const QImage image = picture->grab().toImage();
    const QPoint client = picture->contentsRect().topLeft();
    const QColor ink = picture->palette().color(QPalette::WindowText);
    QCOMPARE(image.pixelColor(onLine + client), ink);
    QCOMPARE(image.pixelColor(offLine + client), QColor(Qt::white));
}

void Form1LayoutTest::markers_data()
{
    QTest::addColumn<int>("string");
    QTest::addColumn<int>("index");
    QTest::addColumn<QRect>("geometry"); // inside the board's client area
    QTest::addColumn<QString>("text");
    QTest::addColumn<qreal>("pointSize");

    for (int n = 1; n <= 6; ++n) {
        const int y = 24 * n;
        QTest::addRow("Label%d(0)", n) << n << 0 << QRect(16, y - 8, 5, 16) << QString() << 12.0;
        for (int cell = 1; cell <= 4; ++cell)
            QTest::addRow("Label%d(%d)", n, cell)
                << n << cell << QRect(48 + 40 * (cell - 1), y - 16, 29, 29) << QStringLiteral("\u25CF") << 21.75;
        QTest::addRow("Label%d(6)", n) << n << 6 << QRect(16, y - 8, 16, 16) << QStringLiteral("\u00D7") << 12.0;
    }
}

void Form1LayoutTest::markers()
{
    QFETCH(int, string);
    QFETCH(int, index);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QFETCH(qreal, pointSize);

    auto* picture = qobject_cast<fretmap::BoardPicture*>(control("Picture1"));
    const QPoint client = picture->contentsRect().topLeft();
    QCOMPARE(picture->markerRect(string, index), geometry.translated(client));
    QCOMPARE(picture->markerCaption(index), text);
    const QFont font = picture->markerFont(index);
    QCOMPARE(font.pointSizeF(), pointSize);
    QVERIFY(!font.bold());
    QVERIFY(QFontMetrics(font).inFont(text.isEmpty() ? QChar(' ') : text.at(0)));
    QVERIFY(!picture->isMarkerShown(string, index));

    // Six elements, 0 to 4 and 6: there is no element 5.
    QVERIFY(picture->markerRect(string, 5).isNull());
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, picture->setMarkerVisible(string, 5, true));

    // Shown alone, a ● or × is inked centred on its string's line, a ● inside
    // its cell and a × left of the nut; the empty element inks nothing.
    const QImage bare = picture->grab().toImage();
    picture->setMarkerVisible(string, index, true);
    const QImage shown = picture->grab().toImage();
    // The window shows it as soon as the event loop has run, and then no
    // more once hidden: grab() paints afresh, the window only what was asked.
    QTRY_COMPARE(onScreen(*picture), shown.convertToFormat(QImage::Format_RGB32));
    picture->setMarkerVisible(string, index, false);
    QTRY_COMPARE(onScreen(*picture), bare.convertToFormat(QImage::Format_RGB32));
    QRect ink;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            if (shown.pixel(x, y) != bare.pixel(x, y))
                ink |= QRect(x, y, 1, 1);
    if (text.isEmpty()) {
        QVERIFY(ink.isEmpty());
        return;
    }
    ink.translate(-client);
    const double line = 24.0 * string;
    QVERIFY2(std::abs((ink.top() + ink.bottom()) / 2.0 - line) <= 1.0,
             qPrintable(QStringLiteral("ink rows %1 to %2, string at %3").arg(ink.top()).arg(ink.bottom()).arg(line)));
    const int cellLeft = index == 6 ? 0 : 40 * index;
    const double middle = geometry.left() + (geometry.width() - 1) / 2.0; // of the element's place
    QVERIFY2(ink.left() > cellLeft && ink.right() < cellLeft + 40
                 && std::abs((ink.left() + ink.right()) / 2.0 - middle) <= 1.0,
             qPrintable(QStringLiteral("ink columns %1 to %2, place's middle %3").arg(ink.left()).arg(ink.right()).arg(middle)));
}

void Form1LayoutTest::boardTexts_data()
{
    QTest::addColumn<bool>("baseFret"); // else the chord name
    QTest::addColumn<QPoint>("position"); // inside the board's client area
    QTest::addColumn<QString>("text");
    QTest::addColumn<qreal>("pointSize");

    QTest::newRow("Label7, base fret") << true << QPoint(56, 152) << "1" << 12.0;
    QTest::newRow("Label8, chord name") << false << QPoint(120, 168) << "" << 15.75;
}

void Form1LayoutTest::boardTexts()
{
    QFETCH(bool, baseFret);
    QFETCH(QPoint, position);
    QFETCH(QString, text);
    QFETCH(qreal, pointSize);

    auto* picture = qobject_cast<fretmap::BoardPicture*>(control("Picture1"));
    const QRect place = baseFret ? picture->baseFretRect() : picture->chordNameRect();
    QCOMPARE(place.topLeft(), position + picture->contentsRect().topLeft());
    QCOMPARE(baseFret ? picture->baseFretText() : picture->chordName(), text);
    const QFont font = baseFret ? picture->baseFretFont() : picture->chordNameFont();
    QCOMPARE(font.pointSizeF(), pointSize);
    QCOMPARE(place.size(), QFontMetrics(font).size(0, text));
}

void Form1LayoutTest::tabOrder()
{
    const QStringList expected{"Command1", "List1", "List2", "List4", "List7", "List6",
                               "List8", "List9", "List5", "List3", "Picture1", "Command1"};
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Picture1"));
    QStringList visited;
    for (qsizetype i = 0; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited, expected);
}

void Form1LayoutTest::menus_data()
{
    QTest::addColumn<QString>("menuName");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QStringList>("itemNames");
    QTest::addColumn<QStringList>("itemCaptions"); // empty for a separator

    QTest::newRow("file") << "file" << "File(&F)" << QStringList{"exit"} << QStringList{"Exit(&E)"};
    QTest::newRow("help") << "help" << "Help(&H)" << QStringList{"index", "bar2", "about"}
                          << QStringList{"Contents(&C)", "", "About(&A)"};
}

void Form1LayoutTest::menus()
{
    QFETCH(QString, menuName);
    QFETCH(QString, caption);
    QFETCH(QStringList, itemNames);
    QFETCH(QStringList, itemCaptions);

    QStringList bar;
    for (QAction* action : m_form->menuBar()->actions())
        bar << action->objectName();
    QCOMPARE(bar, (QStringList{"file", "help"}));

    QAction* menuAction = m_form->findChild<QAction*>(menuName);
    QVERIFY(menuAction);
    QVERIFY(m_form->menuBar()->actions().contains(menuAction));
    QCOMPARE(menuAction->text(), caption);
    QVERIFY(menuAction->menu());

    const QList<QAction*> items = menuAction->menu()->actions();
    QCOMPARE(items.size(), itemNames.size());
    for (qsizetype i = 0; i < items.size(); ++i) {
        QAction* item = items[i];
        QCOMPARE(item->objectName(), itemNames[i]);
        QCOMPARE(item->isSeparator(), itemCaptions[i].isEmpty());
        if (!item->isSeparator())
            QCOMPARE(item->text(), itemCaptions[i]);
        QVERIFY(item->shortcut().isEmpty());
        QVERIFY(!item->isCheckable());
        QVERIFY(item->isEnabled());
    }
}

void Form1LayoutTest::resizeMovesNothing_data()
{
    QTest::addColumn<QSize>("size");

    QTest::newRow("larger") << QSize(900, 700);
    QTest::newRow("smaller") << QSize(200, 120);
    QTest::newRow("wider only") << QSize(800, 254);
}

void Form1LayoutTest::resizeMovesNothing()
{
    QFETCH(QSize, size);

    QHash<QWidget*, QRect> before;
    for (QWidget* widget : m_form->centralWidget()->findChildren<QWidget*>())
        before.insert(widget, widget->geometry());

    m_form->resize(size);
    QTRY_COMPARE(m_form->size(), size);

    for (auto it = before.cbegin(); it != before.cend(); ++it)
        QCOMPARE(it.key()->geometry(), it.value());
}

void Form1LayoutTest::boardLegibleForEveryChord()
{
    auto* picture = qobject_cast<fretmap::BoardPicture*>(control("Picture1"));
    const QRect client = picture->contentsRect();
    const QPoint nameAtDesign = client.topLeft() + QPoint(120, 168);
    const QColor paper(Qt::white);

    // Where the ● of string 6 sits in cell 1, the base-fret number is drawn
    // over it: its glyph box, one pixel around its ink, holds only the
    // number's ink and paper.
    auto numberOverMarker = [&](const QByteArray& what) {
        const QImage board = picture->grab().toImage();
        // The number alone, as it is drawn on paper.
        QImage number(picture->baseFretRect().size(), QImage::Format_ARGB32);
        number.fill(paper);
        {
            QPainter painter(&number);
            painter.setFont(picture->baseFretFont());
            painter.drawText(number.rect(), Qt::AlignLeft | Qt::AlignVCenter, picture->baseFretText());
        }
        auto inkOf = [&](QPoint p) { // the number's own pixel, paper where it has none
            const QColor c = number.rect().contains(p) ? number.pixelColor(p) : paper;
            return c.alpha() == 0 ? paper : c;
        };
        QRect ink;
        for (int y = 0; y < number.height(); ++y)
            for (int x = 0; x < number.width(); ++x)
                if (inkOf({x, y}) != paper)
                    ink |= QRect(x, y, 1, 1);
        QVERIFY2(!ink.isEmpty(), what);
        const QRect box = ink.adjusted(-1, -1, 1, 1);
        for (int y = box.top(); y <= box.bottom(); ++y)
            for (int x = box.left(); x <= box.right(); ++x)
                QVERIFY2(board.pixelColor(picture->baseFretRect().topLeft() + QPoint(x, y)) == inkOf({x, y}),
                         what + " at " + QByteArray::number(x) + "," + QByteArray::number(y));
    };

    int underMarker = 0;
    for (const fretmap::ChordEntry& entry : fretmap::chordCatalogue()) {
        displayEntry(*m_form, entry);
        const QByteArray chord = picture->chordName().toUtf8();
        QCOMPARE(chord, QByteArray(entry.caption.data(), qsizetype(entry.caption.size())));

        // The name lies wholly on the board: where the design puts it, or
        // moved left just enough to end at the board's inner edge.
        const QRect name = picture->chordNameRect();
        QVERIFY2(client.contains(name), chord);
        if (nameAtDesign.x() + name.width() <= client.right() + 1)
            QCOMPARE(name.topLeft(), nameAtDesign);
        else
            QCOMPARE(name.topLeft(), QPoint(client.right() + 1 - name.width(), nameAtDesign.y()));

        if (entry.strings[5] != 1)
            continue;
        ++underMarker;
        numberOverMarker(chord);
        if (QTest::currentTestFailed())
            return;
    }
    QVERIFY(underMarker > 0);

    // No entry has a two-digit base fret over that ●, but the board takes
    // any: the paper must grow with the number.
    picture->setBaseFretText("12");
    picture->setMarkerVisible(6, 1, true);
    numberOverMarker("base fret 12 over string 6, cell 1");
}

void Form1LayoutTest::boardUnderDarkPalette()
{
    const DarkDesktop dark;
    // A window opened under the dark theme.
    m_form = std::make_unique<Form1>();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));

    // C: three ●, a ×, the base fret and the name.
    displayEntry(*m_form, fretmap::lookupChord(1));
    auto* picture = qobject_cast<fretmap::BoardPicture*>(control("Picture1"));
    const QImage board = picture->grab().toImage();
    const QPoint client = picture->contentsRect().topLeft();
    const QColor paper = board.pixelColor(client + QPoint(2, 2));

    // Every text in sight: the markers shown and the two texts.
    QList<std::pair<QString, QRect>> texts{{picture->baseFretText(), picture->baseFretRect()},
                                           {picture->chordName(), picture->chordNameRect()}};
    for (int string = 1; string <= 6; ++string)
        for (int index = 1; index <= 6; ++index)
            if (picture->isMarkerShown(string, index))
                texts.append({picture->markerCaption(index), picture->markerRect(string, index)});
    QCOMPARE(texts.size(), 2 + 4);
    for (const auto& [text, area] : texts) {
        double best = 1.0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if ((y - client.y()) % 24 != 0 && (x - client.x()) % 40 != 0) // not on a string or fret
                    best = std::max(best, contrastRatio(board.pixelColor(x, y), paper));
        QVERIFY2(best >= 4.5, qPrintable(text));
    }
    // A string past the last fret, and the nut.
    QVERIFY(contrastRatio(board.pixelColor(client + QPoint(212, 24)), paper) >= 3.0);
    QVERIFY(contrastRatio(board.pixelColor(client + QPoint(40, 36)), paper) >= 3.0);
}

void Form1LayoutTest::focusShows_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("dark");
    QTest::addColumn<int>("picked"); // the list's pick before it takes the focus, -1 for none
    QTest::addColumn<int>("markedRow"); // where a list shows the focus
    QTest::addColumn<QColor>("highlight"); // the desktop's focus colour, if not the theme's
    QTest::addColumn<QColor>("frame");     // the colour of the board's focus frame, if the row checks it

    for (const bool dark : {false, true}) {
        const char* theme = dark ? "dark" : "light";
        QTest::addRow("board, %s", theme) << "Picture1" << dark << -1 << -1 << QColor() << QColor();
        QTest::addRow("untouched list, %s", theme) << "List1" << dark << -1 << 0 << QColor() << QColor();
        QTest::addRow("picked row, %s", theme) << "List2" << dark << 2 << 2 << QColor() << QColor();
    }
    // The board shows the focus in the desktop's colour, as other controls
    // do; one too pale to see on its white paper gives way to the ink.
    QTest::newRow("board, a deep blue highlight") << "Picture1" << false << -1 << -1 << QColor(0x1c, 0x71, 0xd8)
                                                  << QColor(0x1c, 0x71, 0xd8);
    QTest::newRow("board, a pale yellow highlight") << "Picture1" << false << -1 << -1 << QColor(0xff, 0xf3, 0xb0)
                                                    << QColor(Qt::black);
}

// A keyboard user sees where the focus is: what the window shows of a
// control with the focus against the same control without it.
void Form1LayoutTest::focusShows()
{
    QFETCH(QString, name);
    QFETCH(bool, dark);
    QFETCH(int, picked);
    QFETCH(int, markedRow);
    QFETCH(QColor, highlight);
    QFETCH(QColor, frame);

    std::optional<DarkDesktop> theme;
    if (dark) {
        theme.emplace();
        m_form = std::make_unique<Form1>(); // a window opened under the theme
        m_form->show();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    }
    QWidget* target = control(name.toLatin1().constData());
    if (highlight.isValid()) {
        QPalette palette = target->palette();
        palette.setColor(QPalette::Highlight, highlight);
        target->setPalette(palette);
    }
    auto* list = qobject_cast<fretmap::SelectorList*>(target);
    if (!list)
        displayEntry(*m_form, fretmap::lookupChord(1)); // C: markers, a base fret and a name on the board
    else if (picked >= 0)
        list->pick(picked);

    control("Command1")->setFocus();
    const QImage away = target->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QTRY_COMPARE(onScreen(*target), away);
    target->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(onScreen(*target) != away);
    const QImage focused = onScreen(*target);

    QRect changed;
    for (int y = 0; y < away.height(); ++y)
        for (int x = 0; x < away.width(); ++x)
            if (focused.pixel(x, y) != away.pixel(x, y))
                changed |= QRect(x, y, 1, 1);

    // `line` stands out from `ground` all along: each of its pixels, or the
    // one next to it inward, contrasts with it at least 3:1, as a focus mark must.
    auto standsOut = [&](QPoint from, QPoint step, QPoint inward, int length, const QColor& ground) {
        for (int i = 0; i < length; ++i) {
            const QPoint p = from + step * i;
            if (contrastRatio(focused.pixelColor(p), ground) < 3.0
                && contrastRatio(focused.pixelColor(p + inward), ground) < 3.0)
                return false;
        }
        return true;
    };
    auto ringStandsOut = [&](const QRect& r, const QColor& ground) {
        return standsOut(r.topLeft(), {1, 0}, {0, 1}, r.width(), ground)
            && standsOut(r.bottomLeft(), {1, 0}, {0, -1}, r.width(), ground)
            && standsOut(r.topLeft(), {0, 1}, {1, 0}, r.height(), ground)
            && standsOut(r.topRight(), {0, 1}, {-1, 0}, r.height(), ground);
    };

    if (!list) {
        // A frame just inside the border, on the paper around the drawing:
        // the border, the lines, the markers and the texts stay as they were.
        const QRect inside = target->contentsRect();
        const QRect drawing = inside.adjusted(4, 4, -4, -4);
        QVERIFY(!changed.isEmpty());
        QVERIFY2(inside.contains(changed), "the border changed");
        for (int y = drawing.top(); y <= drawing.bottom(); ++y)
            for (int x = drawing.left(); x <= drawing.right(); ++x)
                QVERIFY2(focused.pixel(x, y) == away.pixel(x, y), qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
        for (int y = inside.top(); y <= inside.bottom(); ++y)
            for (int x = inside.left(); x <= inside.right(); ++x)
                if (!drawing.contains(x, y))
                    QCOMPARE(away.pixelColor(x, y), QColor(Qt::white)); // no frame without the focus
        QVERIFY(ringStandsOut(inside, QColor(Qt::white)));
        if (frame.isValid())
            QCOMPARE(focused.pixelColor(inside.topLeft()), frame);
        return;
    }

    // A mark around the current row, standing out from what fills the row,
    // and from the rows around it; nothing changes outside the row.
    const QRect row = list->rowRect(markedRow);
    QVERIFY(row.contains(changed));
    const QColor fill = fillOf(focused, row.adjusted(1, 1, -1, -1)); // within the mark
    QVERIFY2(ringStandsOut(row, fill), qPrintable(fill.name()));
    QVERIFY(ringStandsOut(row, list->palette().color(QPalette::Base)));
}

QTEST_MAIN(Form1LayoutTest)
#include "form1_layout_test.moc"
