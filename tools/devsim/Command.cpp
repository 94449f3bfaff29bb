#include "Command.h"

#include <QRegularExpression>

namespace devsim {

QStringList Command::ticketKinds() {
    return {QStringLiteral("barcode"),
            QStringLiteral("epurse"),
            QStringLiteral("stored-journeys"),
            QStringLiteral("period-pass"),
            QStringLiteral("emv"),
            QStringLiteral("transfer"),
            QStringLiteral("passenger-type-update"),
            QStringLiteral("transfer-epurse"),
            QStringLiteral("capping-epurse"),
            QStringLiteral("capping-stored-journeys")};
}

QStringList Command::conditions() {
    return {QStringLiteral("init"),           QStringLiteral("online"),
            QStringLiteral("degraded"),       QStringLiteral("no-obc"),
            QStringLiteral("no-barcode"),     QStringLiteral("no-obc-barcode"),
            QStringLiteral("no-ntp"),         QStringLiteral("no-route"),
            QStringLiteral("out-of-service"), QStringLiteral("rfid-down"),
            QStringLiteral("rfid-updating"),  QStringLiteral("service-down"),
            QStringLiteral("offline")};
}

QString Command::help() {
    return QStringLiteral(
               "Commands (one per line):\n"
               "  validate KIND            a valid validation of KIND\n"
               "  refuse KIND [ID]         a refused validation (refusal id, e.g. 205;\n"
               "                           103 and 207 mean already validated)\n"
               "      KIND: %1\n"
               "  card found [UID [TYPE]]  a card in the field (TYPE: card type code)\n"
               "  card removed             the card left the field\n"
               "  card retry               the reader asks for the card again\n"
               "  status CONDITION         the validator's condition:\n"
               "      %2\n"
               "  ignition on|off          the vehicle's ignition\n"
               "  update available [VER]   a new software version is pending\n"
               "  update none              no pending version\n"
               "  update install           download and install the pending version\n"
               "  maintenance              scan the example maintenance barcode\n"
               "  temperature DEGREES      the board's temperature\n"
               "  voltage VOLTS            the board's supply voltage\n"
               "  help                     this text\n"
               "  quit                     stop the simulator\n"
               "Empty lines and lines starting with # are ignored.")
        .arg(ticketKinds().join(QStringLiteral(", ")), conditions().join(QStringLiteral(", ")));
}

Command Command::parse(const QString& line, QString* error) {
    Command command;
    error->clear();
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#'))) {
        return command;
    }
    const QStringList words = trimmed.split(QRegularExpression(QStringLiteral("\\s+")));
    const QString verb = words.first().toLower();
    const int count = words.size();

    auto fail = [&](const QString& text) {
        *error = text;
        return Command();
    };
    auto expectArgs = [&](int least, int most, const QString& usage) {
        if (count - 1 < least || count - 1 > most) {
            *error = QStringLiteral("usage: ") + usage;
            return false;
        }
        return true;
    };
    auto number = [&](const QString& word, bool* ok) { return word.toDouble(ok); };

    if (verb == QLatin1String("help")) {
        command.action = Help;
    } else if (verb == QLatin1String("quit") || verb == QLatin1String("exit")) {
        command.action = Quit;
    } else if (verb == QLatin1String("validate") || verb == QLatin1String("refuse")) {
        const bool refuse = verb == QLatin1String("refuse");
        if (!expectArgs(
                1, refuse ? 2 : 1,
                refuse ? QStringLiteral("refuse KIND [ID]") : QStringLiteral("validate KIND"))) {
            return Command();
        }
        const QString kind = words.at(1).toLower();
        if (!ticketKinds().contains(kind)) {
            return fail(QStringLiteral("unknown ticket kind '%1' (known: %2)")
                            .arg(words.at(1), ticketKinds().join(QStringLiteral(", "))));
        }
        command.action = Validate;
        command.text = kind;
        if (refuse) {
            command.number = -1;  // the kind's usual refusal
            if (count == 3) {
                bool ok = false;
                command.number = words.at(2).toInt(&ok);
                if (!ok || command.number <= 0) {
                    return fail(QStringLiteral("refusal id '%1' is not a positive whole number")
                                    .arg(words.at(2)));
                }
            }
        }
    } else if (verb == QLatin1String("card")) {
        if (!expectArgs(1, 3,
                        QStringLiteral("card found [UID [TYPE]] | card removed | card retry"))) {
            return Command();
        }
        const QString what = words.at(1).toLower();
        if (what == QLatin1String("found")) {
            command.action = CardFound;
            command.number = -1;
            if (count >= 3) {
                if (!QRegularExpression(QStringLiteral("^[0-9A-Fa-f]{2,32}$"))
                         .match(words.at(2))
                         .hasMatch()) {
                    return fail(QStringLiteral("card uid '%1' is not 2 to 32 hexadecimal digits")
                                    .arg(words.at(2)));
                }
                command.text = words.at(2).toUpper();
            }
            if (count == 4) {
                bool ok = false;
                command.number = words.at(3).toInt(&ok);
                if (!ok || command.number < 0) {
                    return fail(QStringLiteral("card type '%1' is not a card type code such as 256")
                                    .arg(words.at(3)));
                }
            }
        } else if (what == QLatin1String("removed") && count == 2) {
            command.action = CardRemoved;
        } else if (what == QLatin1String("retry") && count == 2) {
            command.action = CardRetry;
        } else {
            return fail(
                QStringLiteral("usage: card found [UID [TYPE]] | card removed | card retry"));
        }
    } else if (verb == QLatin1String("status")) {
        if (!expectArgs(1, 1, QStringLiteral("status CONDITION"))) {
            return Command();
        }
        const QString condition = words.at(1).toLower();
        if (!conditions().contains(condition)) {
            return fail(QStringLiteral("unknown validator condition '%1' (known: %2)")
                            .arg(words.at(1), conditions().join(QStringLiteral(", "))));
        }
        command.action = Status;
        command.text = condition;
    } else if (verb == QLatin1String("ignition")) {
        if (!expectArgs(1, 1, QStringLiteral("ignition on|off"))) {
            return Command();
        }
        const QString state = words.at(1).toLower();
        if (state != QLatin1String("on") && state != QLatin1String("off")) {
            return fail(QStringLiteral("usage: ignition on|off"));
        }
        command.action = Ignition;
        command.number = state == QLatin1String("on") ? 1 : 0;
    } else if (verb == QLatin1String("update")) {
        if (!expectArgs(
                1, 2,
                QStringLiteral("update available [VERSION] | update none | update install"))) {
            return Command();
        }
        const QString what = words.at(1).toLower();
        if (what == QLatin1String("available")) {
            command.action = UpdateAvailable;
            command.text = count == 3 ? words.at(2) : QString();
        } else if (what == QLatin1String("none") && count == 2) {
            command.action = UpdateNone;
        } else if (what == QLatin1String("install") && count == 2) {
            command.action = UpdateInstall;
        } else {
            return fail(
                QStringLiteral("usage: update available [VERSION] | update none | update install"));
        }
    } else if (verb == QLatin1String("maintenance")) {
        if (!expectArgs(0, 0, QStringLiteral("maintenance"))) {
            return Command();
        }
        command.action = Maintenance;
    } else if (verb == QLatin1String("temperature") || verb == QLatin1String("voltage")) {
        const bool temperature = verb == QLatin1String("temperature");
        if (!expectArgs(1, 1,
                        temperature ? QStringLiteral("temperature DEGREES")
                                    : QStringLiteral("voltage VOLTS"))) {
            return Command();
        }
        bool ok = false;
        command.real = number(words.at(1), &ok);
        if (!ok) {
            return fail(QStringLiteral("'%1' is not a number").arg(words.at(1)));
        }
        command.action = temperature ? Temperature : Voltage;
    } else {
        return fail(
            QStringLiteral("unknown command '%1' (type 'help' for the list)").arg(words.first()));
    }
    return command;
}

}  // namespace devsim
