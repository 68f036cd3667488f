#pragma once

// Every message box, file and folder dialog, beep and "open this folder" of the application
// goes through the current prompt service, so that tests can answer instead of a user.

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>

class QWidget;

enum class TAnswer { Yes, No, Cancel };

class IPromptService {
public:
    virtual ~IPromptService() = default;
    virtual void Beep() = 0;
    // Boxes with one OK button, titled "Information", "Warning" and "Error".
    virtual void Information(QWidget* parent, const QString& text) = 0;
    virtual void Warning(QWidget* parent, const QString& text) = 0;
    virtual void Error(QWidget* parent, const QString& text) = 0;
    // OK and Cancel; true for OK.
    virtual bool Confirm(QWidget* parent, const QString& text) = 0;
    // Yes, No and Cancel (the question of unsaved changes).
    virtual TAnswer AskYesNoCancel(QWidget* parent, const QString& text) = 0;
    // Existing files, several at once; empty when cancelled.
    virtual QStringList OpenFiles(QWidget* parent, const QString& startFolder,
                                  const QStringList& filters) = 0;
    // One existing picture file; empty when cancelled.
    virtual QString OpenPicture(QWidget* parent, const QString& startFolder,
                                const QStringList& filters) = 0;
    // A font and its colour, starting from `font` and `color`; false when cancelled (and
    // nothing changed).
    virtual bool ChooseFont(QWidget* parent, QFont& font, QColor& color) = 0;
    // A folder with a trailing '/'; empty when cancelled.
    virtual QString ChooseFolder(QWidget* parent, const QString& title,
                                 const QString& startFolder) = 0;
    // Shows a folder in the file manager.
    virtual void OpenFolder(const QString& folder) = 0;
    // Opens a web address in the user's browser.
    virtual void OpenAddress(const QString& address) = 0;
};

// The service in use. Without one put in place, questions get their "cancel" answer and
// messages go to the standard error stream: the desktop program puts its dialogs in place at
// start, tests put their own.
IPromptService& Prompts();

// Puts `service` in place for as long as the object lives.
class TPromptOverride {
public:
    explicit TPromptOverride(IPromptService& service);
    ~TPromptOverride();
    TPromptOverride(const TPromptOverride&) = delete;
    TPromptOverride& operator=(const TPromptOverride&) = delete;

private:
    IPromptService* FPrevious;
};
