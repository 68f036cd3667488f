// The main window used by keyboard alone and by a screen reader, and how readable its check
// boxes are on the dark rows.

#include "controls/MrvTrackbar.h"
#include "engine/widgets/TPlayerDisplay.h"
#include "shell/ResizeGrips.h"

#include "shell/MainWindowFixture.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QStyleOptionViewItem>
#include <QTimer>
#include <QToolButton>

#include <cmath>
#include <set>

namespace {

using MainWindowKeyboardTest = MainWindowFixture;

// WCAG's contrast ratio of two colours.
double Contrast(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& c) {
        const auto channel = [](double v) {
            v /= 255.0;
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Every accessible interface under `root`, depth first.
void Walk(QAccessibleInterface* root, const std::function<void(QAccessibleInterface*)>& visit,
          int depth = 0) {
    if (root == nullptr || depth > 40)
        return;
    visit(root);
    for (int i = 0; i < root->childCount(); ++i)
        Walk(root->child(i), visit, depth + 1);
}

} // namespace

TEST_F(MainWindowKeyboardTest, TabVisitsEveryEnabledCommandOnceInOrder) {
    AddMedia(testmedia::kH264Aac);
    Select({List().TopLevel(0)});
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->btnAdd->setFocus(Qt::TabFocusReason);
    QList<QWidget*> visited;
    for (int i = 0; i < 40 && QApplication::focusWidget() != nullptr &&
                    (visited.isEmpty() || QApplication::focusWidget() != visited[0]);
         ++i) {
        visited << QApplication::focusWidget();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    // Top to bottom, left to right; a disabled or hidden one is passed over.
    QList<QWidget*> expected;
    for (QWidget* widget : std::initializer_list<QWidget*>{
             window->btnAdd, window->btnFormats, window->btnOption, window->btnHelp,
             window->VSTFile, window->chkall, window->btnEdit, window->btnClip, window->btnMerge,
             window->Perview, window->btnPlay, window->btnPause, window->btnStop,
             window->btnSnapshot, window->btnOpen, window->edtoutput, window->btnChange,
             window->btnBrowse, window->btnStart}) {
        if (widget->isEnabled() && widget->isVisible())
            expected << widget;
    }
    EXPECT_GE(expected.size(), 15);
    QStringList names;
    for (QWidget* widget : visited)
        names << (widget != nullptr ? widget->objectName() : QStringLiteral("(none)"));
    EXPECT_EQ(visited, expected) << names.join(' ').toStdString();
}

TEST_F(MainWindowKeyboardTest, AddCheckRenameRemoveAndStartByKeyboard) {
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->btnAdd->setFocus();
    prompts.FilesToOpen = {testmedia::Path(testmedia::kH264Aac),
                           testmedia::Path(testmedia::kVideoOnly)};
    QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(List().TopLevelCount(), 2);
    // The loading window had the keyboard; the main window has it again.
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));

    // Into the list: the first row, Space unchecks and checks it.
    window->VSTFile->setFocus(Qt::TabFocusReason);
    window->VSTFile->setCurrentIndex(List().IndexOf(List().TopLevel(0)));
    TJobRow* first = List().TopLevel(0);
    QTest::keyClick(window->VSTFile, Qt::Key_Space);
    EXPECT_FALSE(first->Checked);
    QTest::keyClick(window->VSTFile, Qt::Key_Space);
    EXPECT_TRUE(first->Checked);

    // F2 renames it, Return keeps the new name.
    Select({first});
    QTest::keyClick(window->VSTFile, Qt::Key_F2);
    ASSERT_TRUE(Renaming());
    auto* editor = window->VSTFile->findChild<QLineEdit*>(QStringLiteral("edtRename"));
    editor->selectAll();
    QTest::keyClicks(editor, "holiday");
    QTest::keyClick(editor, Qt::Key_Return); // committed once the key's handling is over
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return first->Item.OutputOptions.FileName.endsWith("/holiday.flv"); }, 5000))
        << first->Item.OutputOptions.FileName.toStdString();

    // Ctrl+A selects both, Delete removes the second alone when it alone is selected.
    window->VSTFile->setFocus();
    QTest::keyClick(window->VSTFile, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(List().SelectedCount(), 2);
    Select({List().TopLevel(1)});
    QTest::keyClick(window->VSTFile, Qt::Key_Delete);
    ASSERT_EQ(List().TopLevelCount(), 1);

    // Ctrl+Return starts, from wherever the focus is.
    int started = 0;
    window->OpenConversion = [&] { ++started; };

    QTest::keyClick(window->edtoutput, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(started, 1);
    // F1 opens the help page.
    QFile addresses(home.filePath("URL.cfg"));
    ASSERT_TRUE(addresses.open(QIODevice::WriteOnly));
    addresses.write("[URL]\nHelpPage=https://example.org/help\n");
    addresses.close();
    QTest::keyClick(window->VSTFile, Qt::Key_F1);
    EXPECT_TRUE(prompts.Calls.join('\n').contains("OpenAddress"))
        << prompts.Calls.join('\n').toStdString();
    // The keys are told in the hints.
    EXPECT_TRUE(window->btnAdd->toolTip().contains("Ctrl+O"));
    EXPECT_TRUE(window->btnStart->toolTip().contains("Ctrl+Return"));
}

TEST_F(MainWindowKeyboardTest, EveryControlHasANameForScreenReaders) {
    AddMedia(testmedia::kH264Aac);
    QAccessibleInterface* root = QAccessible::queryAccessibleInterface(window.get());
    ASSERT_NE(root, nullptr);
    const std::set<QAccessible::Role> interactive = {
        QAccessible::PushButton, QAccessible::CheckBox, QAccessible::EditableText,
        QAccessible::Slider,     QAccessible::Tree,     QAccessible::Table,
        QAccessible::ButtonMenu};
    QStringList unnamed;
    int named = 0;
    QStringList cells;
    Walk(root, [&](QAccessibleInterface* node) {
        if (!node->isValid() || node->state().invisible)
            return;
        if (interactive.count(node->role()) != 0) {
            if (node->text(QAccessible::Name).trimmed().isEmpty())
                unnamed << node->object()->objectName();
            else
                ++named;
        }
        if (node->role() == QAccessible::Cell || node->role() == QAccessible::TreeItem)
            cells << node->text(QAccessible::Name);
    });
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(' ').toStdString();
    EXPECT_GE(named, 15);
    QAccessibleInterface* play = QAccessible::queryAccessibleInterface(window->btnPlay);
    EXPECT_EQ(play->text(QAccessible::Name), "Play");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(window->Perview)->text(QAccessible::Name),
              "Preview");

    // The job list's cells: the file's name, duration, size and output name, and its check.
    const TJobRow* row = List().TopLevel(0);
    for (int column = 0; column < 4; ++column) {
        const QString text =
            List().data(List().IndexOf(row).siblingAtColumn(column), Qt::DisplayRole).toString();
        EXPECT_TRUE(cells.contains(text))
            << text.toStdString() << " in " << cells.join(" | ").toStdString();
    }
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(window->VSTFile);
    ASSERT_NE(list->tableInterface(), nullptr);
    QAccessibleInterface* nameCell = list->tableInterface()->cellAt(0, 0);
    ASSERT_NE(nameCell, nullptr);
    EXPECT_TRUE(nameCell->state().checkable);
    EXPECT_TRUE(nameCell->state().checked);
    EXPECT_EQ(list->tableInterface()->columnDescription(0),
              List().headerData(0, Qt::Horizontal, Qt::DisplayRole).toString());
}

// The check box of an unchecked row, grabbed as the user sees it: its outline against the row.
TEST_F(MainWindowKeyboardTest, UncheckedBoxesStandOutFromTheRows) {
    TJobRow* row = AddMedia(testmedia::kH264Aac);
    AddMedia(testmedia::kVideoOnly);
    List().SetChecked(row, false);
    Select({List().TopLevel(1)});
    const QModelIndex index = List().IndexOf(row);
    const QRect cell = window->VSTFile->visualRect(index);
    QStyleOptionViewItem option;
    option.initFrom(window->VSTFile);
    option.rect = cell;
    option.features = QStyleOptionViewItem::HasCheckIndicator;
    const QRect box = window->VSTFile->style()->subElementRect(
        QStyle::SE_ItemViewItemCheckIndicator, &option, window->VSTFile);
    const QImage picture = window->VSTFile->viewport()->grab().toImage();
    const qreal ratio = picture.devicePixelRatio(); // device pixels at a scaled desktop
    const auto at = [&](int x, int y) { return picture.pixelColor(QPoint(x, y) * ratio); };
    const QColor background = at(cell.right() - 4, cell.center().y());
    double best = 0;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            best = std::max(best, Contrast(at(x, y), background));
    EXPECT_GE(best, 3.0) << "the outline of an unchecked box";
    EXPECT_GE(Contrast(QColor(0xc3, 0xca, 0xd5), QColor(48, 48, 48)), 3.0);

    // As a user sees it, with the keyboard on Changing (REELCASTER_SCREENSHOT_DIR keeps it).
    const QByteArray folder = qgetenv("REELCASTER_SCREENSHOT_DIR");
    if (!folder.isEmpty()) {
        window->activateWindow();
        window->btnChange->setFocus(Qt::TabFocusReason);
        QCoreApplication::processEvents();
        window->grab().save(QString::fromLocal8Bit(folder) + "/main-keyboard.png");
    }
}

// Escape closes each tool window as its Cancel or close box does.
TEST_F(MainWindowKeyboardTest, EscapeClosesTheToolWindows) {
    AddMedia(testmedia::kH264Aac);
    Select({List().TopLevel(0)});
    const std::pair<const char*, std::function<void()>> windows[] = {
        {"Toptionfrm", [this] { window->btnOption->click(); }},
        {"Taboutfrm", [this] { window->mniAbout->trigger(); }},
        {"TFilePropertiesFrm", [this] { window->mniFile->trigger(); }},
        {"TFormatsfrm", [this] { window->btnFormats->click(); }},
    };
    for (const auto& [name, open] : windows) {
        SCOPED_TRACE(name);
        QString closed;
        QTimer watcher;
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                closed = QString::fromLatin1(modal->metaObject()->className());
                QTest::keyClick(modal, Qt::Key_Escape);
            }
        });
        watcher.start(10);
        open();
        watcher.stop();
        // No formats window without its file of profiles is fine: it still opens and closes.
        EXPECT_EQ(closed, name);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    }
}

// The frameless window resizes by its edges and corners (here without a window manager, so it
// follows the pointer itself), never below its minimum; extra width goes to the name columns;
// its place comes back at the next start.
TEST_F(MainWindowKeyboardTest, EdgesResizeAndThePlaceIsRemembered) {
    window->setGeometry(100, 80, 920, 570);
    QApplication::sendPostedEvents();
    const auto grip = [this](Qt::Edges edges) {
        for (TResizeGrip* candidate : window->findChildren<TResizeGrip*>()) {
            if (candidate->Edges() == edges)
                return candidate;
        }
        return static_cast<TResizeGrip*>(nullptr);
    };
    const auto drag = [](QWidget* handle, QPoint by) {
        const QPoint from = handle->rect().center();
        QTest::mousePress(handle, Qt::LeftButton, {}, from);
        QMouseEvent move(QEvent::MouseMove, QPointF(from + by),
                         QPointF(handle->mapToGlobal(from + by)), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(handle, &move);
        QTest::mouseRelease(handle, Qt::LeftButton, {}, from + by);
    };
    const int input = window->VSTFile->columnWidth(TJobList::ColInput);
    const int size = window->VSTFile->columnWidth(TJobList::ColFileSize);
    const int output = window->VSTFile->columnWidth(TJobList::ColOutputName);
    ASSERT_NE(grip(Qt::RightEdge), nullptr);
    drag(grip(Qt::RightEdge), {120, 0});
    EXPECT_EQ(window->geometry(), QRect(100, 80, 1040, 570));
    QApplication::sendPostedEvents();
    EXPECT_GT(window->VSTFile->columnWidth(TJobList::ColInput), input);
    EXPECT_GT(window->VSTFile->columnWidth(TJobList::ColOutputName), output);
    EXPECT_EQ(window->VSTFile->columnWidth(TJobList::ColFileSize), size);
    EXPECT_EQ(window->VSTFile->columnWidth(TJobList::ColInput) +
                  window->VSTFile->columnWidth(TJobList::ColOutputName),
              input + output + 120);

    drag(grip(Qt::LeftEdge | Qt::TopEdge), {-20, -30});
    EXPECT_EQ(window->geometry(), QRect(80, 50, 1060, 600));
    drag(grip(Qt::BottomEdge), {0, -2000}); // not below the minimum
    EXPECT_EQ(window->height(), window->minimumHeight());
    EXPECT_EQ(grip(Qt::RightEdge)->cursor().shape(), Qt::SizeHorCursor);
    EXPECT_EQ(grip(Qt::RightEdge | Qt::BottomEdge)->cursor().shape(), Qt::SizeFDiagCursor);

    window->showMaximized();
    QApplication::sendPostedEvents();
    EXPECT_FALSE(grip(Qt::RightEdge)->isVisible()) << "a maximised window has no edges";
    window->showNormal();

    // Closed here, opened there again.
    window->setGeometry(120, 90, 1000, 600);
    window->close();
    EXPECT_TRUE(SettingsFile().contains("[Window]\nMainGeometry=120,90,1000,600\nMainMaximized=0"))
        << SettingsFile().toStdString();
    window = std::make_unique<TMainfrm>();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    EXPECT_EQ(window->geometry(), QRect(120, 90, 1000, 600));
}
