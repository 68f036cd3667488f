#pragma once

#include <QString>

#include <stdexcept>

// An engine failure whose message is the text shown to the user.
class FFmpegException : public std::runtime_error {
public:
    explicit FFmpegException(const QString& message)
        : std::runtime_error(message.toStdString()), FMessage(message) {}

    const QString& Message() const { return FMessage; }

private:
    QString FMessage;
};
