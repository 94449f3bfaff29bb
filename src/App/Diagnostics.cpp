#include "Diagnostics.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include "Board.h"
#include "DurableFile.h"
#include "Ethernet.h"
#include "Network.h"
#include "QrCodeGenerator.h"
#include "SAM.h"
#include "Validator.h"
#include "ValidatorBarcode.h"
#include "ValidatorRfid.h"

namespace {

const char* const TAG = "[Diagnostics] ";

QDebug info() {
    return qInfo().noquote().nospace() << TAG;
}
QDebug critical() {
    return qCritical().noquote().nospace() << TAG;
}
QDebug debug() {
    return qDebug().noquote().nospace() << TAG;
}

const QString kOk = QStringLiteral("OK");
const QString kError = QStringLiteral("ERROR");
const QString kMissing = QStringLiteral("MISSING");

QString okIf(bool condition) {
    return condition ? kOk : kError;
}

// Stores a result and tells whether it changed.
bool store(QString& field, const QString& value) {
    if (field == value) {
        return false;
    }
    field = value;
    return true;
}

}  // namespace

// The USB devices the validator board carries, by their place in the kernel's tree.
const QList<Diagnostics::UsbDevice> Diagnostics::m_usbDevices = {
    {QStringLiteral("USB Hub #1"), QStringLiteral("0451:2077"), QStringLiteral("1-1")},
    {QStringLiteral("mPCIE #1"), QStringLiteral("*"), QStringLiteral("1-1.2")},
    {QStringLiteral("RFID"), QStringLiteral("0ab1:0007"), QStringLiteral("1-1.3")},
    {QStringLiteral("USB Host"), QStringLiteral("*"), QStringLiteral("1-1.4")},
    {QStringLiteral("FTDI"), QStringLiteral("0403:6015"), QStringLiteral("1-1.5")},
    {QStringLiteral("Barcode"), QStringLiteral("05f9:4204"), QStringLiteral("1-1.6")},
    {QStringLiteral("Touch"), QStringLiteral("222a:0001"), QStringLiteral("1-1.7")},
};

Diagnostics::Diagnostics(const QString& deviceId, manager::Board& board, manager::Network& network,
                         manager::Validator& validator, const QString& usbRoot,
                         const QString& sdCardPath, QObject* parent)
    : QObject(parent),
      m_timer(this),
      m_deviceId(deviceId),
      m_board(board),
      m_network(network),
      m_validator(validator),
      m_usbRoot(usbRoot),
      m_sdCardPath(sdCardPath) {
    m_timer.setObjectName(QStringLiteral("checkTimer"));
    connect(&m_timer, &QTimer::timeout, this, &Diagnostics::check);
    connect(&m_network, &manager::Network::ethernetChanged, this, &Diagnostics::ethernetChanged);
    connect(&m_board, &manager::Board::ignitionChanged, this, &Diagnostics::ignitionChanged);
    connect(&m_board, &manager::Board::temperatureChanged, this, &Diagnostics::temperatureChanged);
    connect(&m_board, &manager::Board::voltageChanged, this, &Diagnostics::voltageChanged);
    connect(&m_board, &manager::Board::statusChanged, this, &Diagnostics::boardServiceChanged);
    connect(m_validator.rfid(), &ValidatorRfid::samChanged, this, &Diagnostics::samChanged);
    connect(m_validator.rfid(), &ValidatorRfid::activeChanged, this,
            &Diagnostics::rfidServiceChanged);
    connect(m_validator.barcode(), &ValidatorBarcode::activeChanged, this,
            &Diagnostics::barcodeServiceChanged);
}

// ---------------------------------------------------------------------------
// Live values

QString Diagnostics::rtc() const {
    return okIf(!m_board.rtcFailed());
}

QString Diagnostics::ethernet() const {
    return okIf(m_network.ethernet()->state() == QLatin1String("Connected"));
}

QString Diagnostics::ignition() const {
    return okIf(m_board.ignition());
}

QString Diagnostics::temperature() const {
    const double value = m_board.temperature();
    return okIf(value > 15.0 && value < 70.0);
}

QString Diagnostics::voltage() const {
    const double value = m_board.voltage();
    return okIf(value > 9.0 && value < 40.0);
}

QString Diagnostics::sam() const {
    const ValidatorRfid* rfid = m_validator.rfid();
    return okIf(rfid->active() && rfid->sam() && !rfid->sam()->atr().isEmpty());
}

QString Diagnostics::rfidService() const {
    return okIf(m_validator.rfid()->active());
}

QString Diagnostics::barcodeService() const {
    return okIf(m_validator.barcode()->active());
}

QString Diagnostics::boardService() const {
    return okIf(m_board.status() == QLatin1String("online"));
}

// ---------------------------------------------------------------------------
// Results written by the page

#define DIAGNOSTICS_SETTER(Name, member, signal)   \
    void Diagnostics::Name(const QString& value) { \
        if (store(member, value)) {                \
            emit signal();                         \
        }                                          \
    }

DIAGNOSTICS_SETTER(setBuzzer, m_buzzer, buzzerChanged)
DIAGNOSTICS_SETTER(setLeds, m_leds, ledsChanged)
DIAGNOSTICS_SETTER(setSpeaker, m_speaker, speakerChanged)
DIAGNOSTICS_SETTER(setBarcodeScan, m_barcodeScan, barcodeScanChanged)
DIAGNOSTICS_SETTER(setCardScan, m_cardScan, cardScanChanged)
DIAGNOSTICS_SETTER(setLightSensor, m_lightSensor, lightSensorChanged)
DIAGNOSTICS_SETTER(setRgbTest, m_rgbTest, rgbTestChanged)

#undef DIAGNOSTICS_SETTER

// ---------------------------------------------------------------------------
// Periodic check

void Diagnostics::start(int intervalSec) {
    info() << QStringLiteral("Starting Diagnostic check (interval=%1 sec)").arg(intervalSec);
    check();
    if (intervalSec != 0) {
        m_timer.start(intervalSec * 1000);
    }
}

void Diagnostics::stop() {
    info() << "Stopping Diagnostic check";
    m_timer.stop();
}

void Diagnostics::check() {
    struct Row {
        QString* field;
        void (Diagnostics::*signal)();
    };
    const Row rows[] = {
        {&m_usbHub, &Diagnostics::usbHubChanged},
        {&m_mPCIe1, &Diagnostics::mPCIe1Changed},
        {&m_rfidUsb, &Diagnostics::rfidUsbChanged},
        {&m_usbHost, &Diagnostics::usbHostChanged},
        {&m_ftdi, &Diagnostics::ftdiChanged},
        {&m_barcodeUsb, &Diagnostics::barcodeUsbChanged},
        {&m_touch, &Diagnostics::touchChanged},
    };
    for (int i = 0; i < m_usbDevices.size(); ++i) {
        if (store(*rows[i].field, testUsb(m_usbDevices.at(i)))) {
            emit(this->*rows[i].signal)();
        }
    }
    if (store(m_sdCard, testSdCard())) {
        emit sdCardChanged();
    }
}

QString Diagnostics::testUsb(const UsbDevice& device) const {
    const QString dir = QStringLiteral("%1/%2").arg(m_usbRoot, device.path);
    if (!QFileInfo(dir).isDir()) {
        return kMissing;
    }
    const QString vendor = readFile(QStringLiteral("%1/idVendor").arg(dir));
    const QString product = readFile(QStringLiteral("%1/idProduct").arg(dir));
    const QString productName = readFile(QStringLiteral("%1/product").arg(dir));
    const QString deviceId = QStringLiteral("%1:%2").arg(vendor, product);
    debug() << "name=" << device.name << " deviceId=" << deviceId << " expected=" << device.id
            << " product=" << productName;
    if (device.id == QLatin1String("any") || device.id == QLatin1String("*") ||
        deviceId.contains(device.id)) {
        return kOk;
    }
    return kError;
}

QString Diagnostics::testSdCard() const {
    return QFileInfo::exists(m_sdCardPath) ? kOk : kMissing;
}

QString Diagnostics::readFile(const QString& path) const {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        critical() << "ERROR: Failed to open fle : " << path;
        return QString();
    }
    QByteArray content = file.readAll();
    const int nul = content.indexOf('\0');
    if (nul >= 0) {
        content.truncate(nul);
    }
    return QString::fromUtf8(content).trimmed();
}

// ---------------------------------------------------------------------------
// Report and QR code

QString Diagnostics::samUid() const {
    const SAM* sam = m_validator.rfid()->sam();
    return sam ? sam->uid() : QStringLiteral("SAM not present");
}

QString Diagnostics::reportText(const QDateTime& now) const {
    const QString dashes(53, QLatin1Char('-'));
    const auto line = [](const char* label, const QString& value) {
        return QString::fromLatin1(label).arg(value, 35);
    };
    const QStringList lines = {
        dashes,
        QStringLiteral(" DEVICE TEST REPORT"),
        dashes,
        line(" Device UID       %1", m_deviceId),
        line(" Date             %1", now.toString(QStringLiteral("yyyy-MM-dd hh:mm"))),
        line(" SAM              %1", samUid()),
        line(" Barcode Firmware %1", m_validator.barcode()->firmware()),
        line(" RFID Firmware    %1", m_validator.rfid()->firmware()),
        line(" Board Firmware   %1", m_board.info().value(QStringLiteral("firmware")).toString()),
        line(" App Version      %1", QCoreApplication::applicationVersion()),
        line(" Bundle Version   %1", QStringLiteral("<null>")),
        line(" Image Version    %1", QStringLiteral("<null>")),
        dashes,
        line(" RTC              %1", rtc()),
        line(" Ethernet         %1", ethernet()),
        line(" USB Hub          %1", m_usbHub),
        line(" USB Host         %1", m_usbHost),
        line(" FTDI             %1", m_ftdi),
        line(" mPCIe #1         %1", m_mPCIe1),
        line(" Touch            %1", m_touch),
        line(" SD Card          %1", m_sdCard),
        line(" Ignition         %1", ignition()),
        line(" Temperature      %1", temperature()),
        line(" Voltage          %1", voltage()),
        line(" RFID             %1", m_rfidUsb),
        line(" Barcode          %1", m_barcodeUsb),
        line(" SAM              %1", sam()),
        line(" Buzzer           %1", m_buzzer),
        line(" Front LEDs       %1", m_leds),
        line(" Barcode Scan     %1", m_barcodeScan),
        line(" Card Scan        %1", m_cardScan),
        line(" RFID Manager     %1", rfidService()),
        line(" Barocde Manager  %1", barcodeService()),
        line(" Board Manager    %1", boardService()),
        line(" Light Sensor     %1", m_lightSensor),
        line(" Display RGB Test %1", m_rgbTest),
        dashes,
    };
    return lines.join(QLatin1Char('\n'));
}

void Diagnostics::saveReport() {
    const QDateTime now = QDateTime::currentDateTime();
    const QString report = reportText(now);
    info() << "\n" << report;

    // In the working directory, which the service unit sets to the program's folder.
    const QString fileName =
        QStringLiteral("./TestReport_%1.txt").arg(now.toString(QStringLiteral("yyyyMMdd_hhmm")));
    info() << "Saving Diagnostics report to : " << fileName;

    // Written beside and renamed over the old one: a crash or a power cut leaves the
    // previous report whole, never half of the new one, and a report said to be
    // saved is still there after a power cut.
    QString error;
    if (durable::replace(fileName, report.toUtf8(), &error) == durable::Result::Failed) {
        critical() << "ERROR: Could not save file : " << error;
        emit saveReportFinished(false,
                                QStringLiteral("Could not save Test Report\nERROR: ") + error);
        return;
    }
    emit saveReportFinished(true, QStringLiteral("Test report saved successfully:\n") + fileName);
}

QString Diagnostics::qrPayload(const QDateTime& now) const {
    const QStringList fields = {
        m_deviceId,
        now.toString(QStringLiteral("yyyy-MM-dd hh:mm")),
        samUid(),
        m_validator.barcode()->firmware(),
        m_validator.rfid()->firmware(),
        m_board.info().value(QStringLiteral("firmware")).toString(),
        QCoreApplication::applicationVersion(),
        QString(),
        QString(),
        rtc(),
        ethernet(),
        m_usbHub,
        m_mPCIe1,
        m_rfidUsb,
        m_barcodeUsb,
        m_ftdi,
        m_usbHost,
        m_touch,
        m_sdCard,
        m_buzzer,
        m_leds,
        ignition(),
        temperature(),
        voltage(),
        sam(),
        m_speaker,
        m_barcodeScan,
        m_cardScan,
        rfidService(),
        barcodeService(),
        boardService(),
        m_lightSensor,
        m_rgbTest,
    };
    return fields.join(QLatin1Char(';'));
}

QString Diagnostics::generateQr() {
    QrCodeGenerator generator(nullptr);
    return QStringLiteral("data:image/svg,") +
           generator.generateSvgQr(qrPayload(QDateTime::currentDateTime()), 1,
                                   qrcodegen::QrCode::Ecc::MEDIUM);
}
