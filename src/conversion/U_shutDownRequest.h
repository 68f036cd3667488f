#pragma once

// Asking the system to power the computer off, behind an interface so that tests can record the
// request instead of making it.

#include <QString>

class ISystemShutdown {
public:
    virtual ~ISystemShutdown() = default;
    // False, with the reason in `error`, when the request could not be made.
    virtual bool PowerOff(QString* error) = 0;
};

// The request to logind over the system bus; logind's policy decides whether this user may, and
// may ask for a password through the desktop's agent. The call does not block the window: a
// refusal that comes later is written to the activity log.
class TLogindShutdown : public ISystemShutdown {
public:
    bool PowerOff(QString* error) override;
};
