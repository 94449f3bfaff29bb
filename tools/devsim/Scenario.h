#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include "Command.h"

namespace devsim {

// A scenario: timed steps for the simulated services, written as JSON:
//
//   { "loop": true,
//     "steps": [ { "wait": 2000, "do": "status online", "note": "ready" }, ... ] }
//
// "wait" is the pause in milliseconds before the step (default 0), "do" one
// command of the command language, "note" free text shown when the step runs.
// With "loop" true the steps start over after the last one.
class Scenario {
public:
    struct Step {
        int waitMillis = 0;
        Command command;
        QString line;
        QString note;
    };

    bool loop = false;
    QList<Step> steps;

    // Parses a scenario; on failure returns false and sets *error to a text that
    // names the line (for broken JSON) or the step (counted from 1) at fault.
    static bool parse(const QByteArray& text, Scenario* scenario, QString* error);
    // Reads and parses a file; errors begin with the file's name.
    static bool load(const QString& path, Scenario* scenario, QString* error);
};

}  // namespace devsim
