#pragma once

#include <QObject>
#include <QString>

// Base of the engine's components (logger, decoder, encoder, player).
class TFFBaseComponent : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString About READ About WRITE SetAbout)
    Q_PROPERTY(QString Version READ Version)

public:
    explicit TFFBaseComponent(QObject* parent = nullptr);

    QString About() const { return FAbout; }
    void SetAbout(const QString& about) { FAbout = about; }

    // The engine's version and the FFmpeg build it runs on.
    static QString Version();

private:
    QString FAbout;
};
