#pragma once

#include <QString>
#include <QStringList>

namespace devsim {

// One thing the simulated services can be told to do, typed by hand on standard
// input or written as a scenario step ("validate epurse", "ignition off",
// "status offline", ...). parse() checks the words completely, so that a scenario
// is rejected before it starts rather than halfway through.
struct Command {
    enum Action {
        None,
        Help,
        Quit,
        Validate,   // text: ticket kind; number: refusal id, 0 when valid
        CardFound,  // text: uid (may be empty); number: card type code, -1 = default
        CardRemoved,
        CardRetry,
        Status,           // text: validator condition
        Ignition,         // number: 1 on, 0 off
        UpdateAvailable,  // text: version (may be empty)
        UpdateNone,
        UpdateInstall,
        Maintenance,
        Temperature,  // real: degrees Celsius
        Voltage,      // real: volts
    };

    Action action = None;
    QString text;
    int number = 0;
    double real = 0.0;

    // Parses one line; on failure returns a command with action None and sets
    // *error to a text that names what is wrong. A blank line or a comment
    // ("# ...") is action None with no error.
    static Command parse(const QString& line, QString* error);

    // The ticket kinds that "validate" and "refuse" know, and the validator
    // conditions that "status" knows.
    static QStringList ticketKinds();
    static QStringList conditions();

    // The help text of the command language.
    static QString help();
};

}  // namespace devsim
