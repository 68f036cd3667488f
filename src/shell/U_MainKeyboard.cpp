// The main window without a mouse: every command takes the focus and is reached by Tab from
// top to bottom and left to right; the desktop's usual keys; names and descriptions for screen
// readers where a button shows only a picture.

#include "shell/U_Main.h"

#include "controls/MrvTrackbar.h"
#include "engine/widgets/TPlayerDisplay.h"
#include "shell/U_MainList.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QShortcut>
#include <QToolButton>

namespace {

// `key` anywhere in `window` runs `command`.
void AddShortcut(QWidget* window, const QKeySequence& key, const std::function<void()>& command,
                 Qt::ShortcutContext context = Qt::WindowShortcut) {
    auto* shortcut = new QShortcut(key, window);
    shortcut->setContext(context);
    QObject::connect(shortcut, &QShortcut::activated, window, command);
}

// A button's hint with the key that runs it, as menus show keys.
void AddKeyToHint(QWidget* button, const QKeySequence& key) {
    button->setToolTip(
        QStringLiteral("%1 (%2)").arg(button->toolTip(), key.toString(QKeySequence::NativeText)));
}

} // namespace

void TMainfrm::BuildKeyboardAccess() {
    // The caption buttons stay out: the window manager's own keys move, resize and close it.
    const QList<QWidget*> order = {btnAdd,    btnFormats, btnOption, btnHelp,     VSTFile,
                                   chkall,    btnEdit,    btnClip,   btnMerge,    Perview,
                                   btnPlay,   btnPause,   btnStop,   btnSnapshot, btnOpen,
                                   edtoutput, btnChange,  btnBrowse, btnStart};
    for (QWidget* widget : order)
        widget->setFocusPolicy(Qt::StrongFocus);
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);

    AddShortcut(this, QKeySequence::Open, [this] { btnAdd->click(); });
    for (const QKeySequence& key :
         {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)})
        AddShortcut(this, key, [this] {
            if (btnStart->isEnabled())
                btnStart->click();
        });
    AddShortcut(this, QKeySequence::HelpContents, [this] { mniHelpClick(); });
    // Space on the preview plays and pauses it (on a button it presses the button).
    AddShortcut(
        Perview, Qt::Key_Space,
        [this] {
            QToolButton* toggle = btnPause->isVisible() ? btnPause : btnPlay;
            if (toggle->isEnabled())
                toggle->click();
        },
        Qt::WidgetShortcut);
    mniHelp->setShortcut(QKeySequence::HelpContents);
    AddKeyToHint(btnAdd, QKeySequence::Open);
    AddKeyToHint(btnStart, QKeySequence(Qt::CTRL | Qt::Key_Return));
    AddKeyToHint(btnHelp, QKeySequence::HelpContents);
    Perview->setToolTip(QStringLiteral("Preview of the selected file (Space plays and pauses)"));

    // What a screen reader says: the caption where a button has one, else its hint; the hint
    // as the description.
    const QList<QToolButton*> buttons = {btnmin,     btnMax,    btnRestore, btnclose, btnAdd,
                                         btnFormats, btnOption, btnHelp,    btnEdit,  btnClip,
                                         btnMerge,   btnPlay,   btnPause,   btnStop,  btnSnapshot,
                                         btnOpen,    btnChange, btnBrowse,  btnStart};
    for (QToolButton* button : buttons) {
        button->setAccessibleName(button->text().isEmpty() ? button->toolTip() : button->text());
        button->setAccessibleDescription(button->toolTip());
    }
    VSTFile->setAccessibleName(QStringLiteral("Files to convert"));
    VSTFile->setAccessibleDescription(QStringLiteral(
        "Space checks or unchecks, Delete removes, F2 renames the output, Ctrl+A selects all"));
    chkall->setAccessibleDescription(QStringLiteral("Check or uncheck every file"));
    Perview->setAccessibleName(QStringLiteral("Preview"));
    Perview->setAccessibleDescription(Perview->toolTip());
    TrckVideo->setAccessibleName(QStringLiteral("Preview position"));
    edtoutput->setAccessibleName(QStringLiteral("Output Folder"));
}
