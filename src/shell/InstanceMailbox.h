#pragma once

// Files opened while Reelcaster already runs (the file manager's "Open With") go to the
// running instance through a local socket in the user's private temporary folder, so a later
// start can hand them over and leave.

#include <QLocalServer>
#include <QObject>
#include <QStringList>

class TInstanceMailbox : public QObject {
    Q_OBJECT

public:
    explicit TInstanceMailbox(QObject* parent = nullptr);

    // Takes the mailbox for this instance (the single-instance lock is held, so one left by a
    // process that died is replaced). False when it cannot listen.
    bool Listen();

    // Hands the files to the running instance; false when none takes them.
    static bool Send(const QStringList& files);

signals:
    void FilesReceived(const QStringList& files);

private:
    void TakeConnection();

    QLocalServer FServer;
};

// The arguments that name existing files, made absolute.
QStringList ExistingFiles(const QStringList& arguments);
