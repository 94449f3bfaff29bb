// The screen flow of the passenger display: which screen shows, for how long, and
// what the validator's results, the ignition and the power requests change.
#include <QCoreApplication>
#include <QDateTime>
#include <QQmlContext>
#include <QQuickWindow>

#include "Event.h"
#include "GUIManager.h"
#include "Sounds.h"
#include "Transaction.h"

namespace {

const char* const TAG = "[GUIManager] ";

// The two deny reasons that mean the ticket had already been validated.
constexpr int kAlreadyValidatedTicket = 103;
constexpr int kAlreadyValidatedCard = 207;

}  // namespace

void GUIManager::setScreen(QString value) {
    if (value == m_screen) {
        return;
    }
    qInfo() << TAG << "Setting screen : " << value;
    m_screen = value;
    m_screenTimer.stop();
    emit screenChanged();
}

void GUIManager::setScreen(QString value, int timeout) {
    qInfo() << TAG << "Setting screen : " << value << " (timeout=" << timeout << " msec)";
    m_screenTimer.setSingleShot(true);
    m_screenTimer.start(timeout);
    m_screen = value;
    emit screenChanged();
}

void GUIManager::onScreenTimeout() {
    qInfo() << TAG << "Screen timeout : " << m_screen;
    setIdleScreen();
}

void GUIManager::setIdleScreen() {
    m_screenTimer.stop();
    if (m_deviceId.isEmpty()) {
        setScreen(QStringLiteral("InitPage"));
        return;
    }
    if (m_session.sessionActive()) {
        return;
    }
    const QString status = m_validator.status();
    if (status == QLatin1String("init")) {
        setScreen(QStringLiteral("Busy"));
        setMessage(tr("Please Wait"));
    } else if (status == QLatin1String("out-of-service")) {
        setScreen(QStringLiteral("OutOfService"));
        m_validator.disableRfid();
        m_validator.disableBarcode();
    } else if (status == QLatin1String("online") || status == QLatin1String("degraded")) {
        m_validator.enableRfid();
        m_validator.enableBarcode();
        setScreen(QStringLiteral("ScanScreens"));
    } else {
        setOutOfOrderScreen(validatorReason());
        m_validator.disableRfid();
        m_validator.disableBarcode();
    }
}

void GUIManager::setOutOfOrderScreen(QString message) {
    if (m_screen == QLatin1String("Login") || !m_board.ignition() || m_session.sessionActive()) {
        return;
    }
    setScreen(QStringLiteral("OutOfOrder"));
    setMessage(message);
}

QString GUIManager::validatorReason() const {
    QString text = m_validator.reasonCode();
    if (showErrorDesc()) {
        text += QLatin1Char('\n') + m_validator.reason();
    }
    return text;
}

void GUIManager::onValidatorStatusChanged() {
    qInfo() << TAG << "Validator status changed : " << m_validator.status();
    setIdleScreen();
}

void GUIManager::onValidatorReasonChanged() {
    qWarning() << TAG << "Validator reason changed : " << m_validator.reasonCode() << " "
               << m_validator.reason();
    setMessage(validatorReason());
}

void GUIManager::onCardDetected(const QString& uid, const QString& type) {
    qWarning() << TAG << QStringLiteral("Validator card detected : uid=%1, type=%2").arg(uid, type);
}

void GUIManager::onCardRemoved() {
    qWarning() << TAG << "Validator card removed";
}

void GUIManager::onCardRetry() {
    qWarning() << TAG << "Validator card retry";
    if (m_session.sessionActive()) {
        return;
    }
    m_inspector.audioPlay(sounds::invalid);
    setScreen(QStringLiteral("Retry"), 3000);
}

void GUIManager::onTicketValidated(const Transaction& transaction) {
    const QVariantMap map = transaction.toMap();
    qWarning() << TAG << "Validator ticket validated : " << static_cast<int>(transaction.type());
    qWarning() << TAG << "Valid : " << (transaction.valid() ? "true" : "false");
    qWarning() << TAG << "Contents : " << map;

    m_qmlContext->setContextProperty(QStringLiteral("transaction"), map);
    if (m_session.sessionActive()) {
        return;
    }
    if (transaction.valid()) {
        m_inspector.audioPlay(sounds::valid);
        setScreen(QStringLiteral("Valid"), 3000);
    } else if (transaction.denyReasonId() == kAlreadyValidatedTicket ||
               transaction.denyReasonId() == kAlreadyValidatedCard) {
        m_inspector.audioPlay(sounds::invalid);
        setScreen(QStringLiteral("AlreadyValid"), 3000);
    } else {
        m_inspector.audioPlay(sounds::invalid);
        setScreen(QStringLiteral("Invalid"), 3000);
    }
    collectGarbageAfterNextFrame();
}

// Every verdict leaves garbage in the QML engine's heap: the transaction's map made
// into script objects for the shown result page's bindings. The engine collects it when
// an allocation finds the heap full, and that fell inside the handling of about one scan
// in six, the whole heap marked and swept while the passenger waited (more work than
// the verdict's own handling). Collected here instead, once the verdict
// is on the display, while the passenger reads it, the heap has room for the next
// scan's garbage.
void GUIManager::collectGarbageAfterNextFrame() {
    auto* window = qobject_cast<QQuickWindow*>(m_engine.rootObjects().value(0));
    if (window == nullptr || m_collectAfterFrame) {
        return;
    }
    m_collectAfterFrame = connect(window, &QQuickWindow::frameSwapped, this, [this] {
        disconnect(m_collectAfterFrame);
        // Queued: the display's plug-in copies the swapped frame to the screen in an
        // event it posted during the swap, and that copy goes first.
        QMetaObject::invokeMethod(
            this, [this] { m_engine.collectGarbage(); }, Qt::QueuedConnection);
    });
}

void GUIManager::setMaintenanceScreen() {
    if (m_session.sessionActive()) {
        setScreen(QStringLiteral("Settings"));
    } else if (m_screen == QLatin1String("Login")) {
        setIdleScreen();
    } else {
        setScreen(QStringLiteral("Login"), 15000);
    }
}

void GUIManager::onScreenChanged() {
    const int minutes = displayOffMin();
    if (minutes == 0) {
        return;
    }
    if (m_screen == QLatin1String("OutOfOrder") || m_screen == QLatin1String("OutOfService")) {
        qInfo() << TAG << "Staring Display OFF timer : " << minutes << " min(s)";
        m_displayOffTimer.setSingleShot(true);
        m_displayOffTimer.start(minutes * 60000);
        return;
    }
    if (m_displayOffTimer.isActive()) {
        qInfo() << TAG << "Stopping Display OFF timer.";
        m_displayOffTimer.stop();
    }
    if (!m_board.peripheralPower(QStringLiteral("display"))) {
        qInfo() << TAG << "Turning on Display.";
        m_board.setPeripheralPower(QStringLiteral("display"), true);
    }
}

void GUIManager::onDisplayOffTimeout() {
    qWarning() << TAG << "WARN: Turning off Display due to inactivity.";
    m_board.setPeripheralPower(QStringLiteral("display"), false);
}

void GUIManager::onIgnitionChanged() {
    if (m_board.ignition()) {
        m_eventLog.push(new Event(QStringLiteral("Board"), QStringLiteral("Ignition on"), QString(),
                                  QDateTime::currentDateTime()));
        m_inspector.abortShutdown();
        setIdleScreen();
    } else {
        m_eventLog.push(new Event(QStringLiteral("Board"), QStringLiteral("Ignition off"),
                                  QString(), QDateTime::currentDateTime()));
        m_session.logoutRequest();
        m_inspector.scheduleShutdown(shutdownDelaySec());
        setScreen(QStringLiteral("ScreenSaver"));
    }
}

void GUIManager::updateBoardShutdownDelay() {
    const int wanted = shutdownDelaySec() + 60;
    if (m_board.delayShutdownFor() != wanted) {
        qWarning() << TAG << "WARN: Updating board shutdown delay to : " << wanted
                   << " sec(s) (prev=" << m_board.delayShutdownFor() << ")";
        m_board.setDelayShutdownFor(wanted);
    }
}

void GUIManager::shutdownRequest() {
    setScreen(QStringLiteral("Busy"), 30000);
    setMessage(tr("Shutting down"));
    m_inspector.systemShutdown();
}

void GUIManager::rebootRequest() {
    setScreen(QStringLiteral("Busy"), 30000);
    setMessage(tr("Rebooting"));
    m_inspector.systemReboot();
}

void GUIManager::exitRequest() {
    setScreen(QStringLiteral("Busy"), 30000);
    setMessage(tr("Exiting"));
    QTimer::singleShot(2000, qApp, [] { QCoreApplication::exit(0); });
}

void GUIManager::onSystemRebootStarted() {
    setScreen(QStringLiteral("Busy"), 30000);
    setMessage(tr("Rebooting"));
}

void GUIManager::onSystemShutdownStarted() {
    setScreen(QStringLiteral("Busy"), 30000);
    setMessage(tr("Shutting down"));
}
