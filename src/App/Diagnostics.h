#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

namespace manager {
class Board;
class Network;
class Validator;
}  // namespace manager

// The hardware self-test behind the diagnostics page: the expected USB devices on the
// board's USB tree, the SD card, the health that the board, network and validator
// services report, and the results of the tests only a technician can judge. The
// whole result is saved as a text report and shown as a QR code.
class Diagnostics : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString rtc READ rtc NOTIFY rtcChanged)
    Q_PROPERTY(QString ethernet READ ethernet NOTIFY ethernetChanged)
    Q_PROPERTY(QString usbHub READ usbHub NOTIFY usbHubChanged)
    Q_PROPERTY(QString mPCIe1 READ mPCIe1 NOTIFY mPCIe1Changed)
    Q_PROPERTY(QString rfidUsb READ rfidUsb NOTIFY rfidUsbChanged)
    Q_PROPERTY(QString barcodeUsb READ barcodeUsb NOTIFY barcodeUsbChanged)
    Q_PROPERTY(QString ftdi READ ftdi NOTIFY ftdiChanged)
    Q_PROPERTY(QString usbHost READ usbHost NOTIFY usbHostChanged)
    Q_PROPERTY(QString touch READ touch NOTIFY touchChanged)
    Q_PROPERTY(QString sdCard READ sdCard NOTIFY sdCardChanged)
    Q_PROPERTY(QString buzzer READ buzzer WRITE setBuzzer NOTIFY buzzerChanged)
    Q_PROPERTY(QString leds READ leds WRITE setLeds NOTIFY ledsChanged)
    Q_PROPERTY(QString ignition READ ignition NOTIFY ignitionChanged)
    Q_PROPERTY(QString temperature READ temperature NOTIFY temperatureChanged)
    Q_PROPERTY(QString voltage READ voltage NOTIFY voltageChanged)
    Q_PROPERTY(QString sam READ sam NOTIFY samChanged)
    Q_PROPERTY(QString speaker READ speaker WRITE setSpeaker NOTIFY speakerChanged)
    Q_PROPERTY(QString barcodeScan READ barcodeScan WRITE setBarcodeScan NOTIFY barcodeScanChanged)
    Q_PROPERTY(QString cardScan READ cardScan WRITE setCardScan NOTIFY cardScanChanged)
    Q_PROPERTY(QString rfidService READ rfidService NOTIFY rfidServiceChanged)
    Q_PROPERTY(QString barcodeService READ barcodeService NOTIFY barcodeServiceChanged)
    Q_PROPERTY(QString boardService READ boardService NOTIFY boardServiceChanged)
    Q_PROPERTY(QString lightSensor READ lightSensor WRITE setLightSensor NOTIFY lightSensorChanged)
    Q_PROPERTY(QString rgbTest READ rgbTest WRITE setRgbTest NOTIFY rgbTestChanged)

public:
    struct UsbDevice {
        QString name;
        QString id;
        QString path;
    };

    // usbRoot: the kernel's USB device tree; sdCardPath: the SD card's partition node.
    // The report is written to the working directory (the service's own folder).
    Diagnostics(const QString& deviceId, manager::Board& board, manager::Network& network,
                manager::Validator& validator,
                const QString& usbRoot = QStringLiteral("/sys/bus/usb/devices"),
                const QString& sdCardPath = QStringLiteral("/dev/mmcblk1p1"),
                QObject* parent = nullptr);

    QString rtc() const;
    QString ethernet() const;
    QString usbHub() const { return m_usbHub; }
    QString mPCIe1() const { return m_mPCIe1; }
    QString rfidUsb() const { return m_rfidUsb; }
    QString barcodeUsb() const { return m_barcodeUsb; }
    QString ftdi() const { return m_ftdi; }
    QString usbHost() const { return m_usbHost; }
    QString touch() const { return m_touch; }
    QString sdCard() const { return m_sdCard; }
    QString buzzer() const { return m_buzzer; }
    QString leds() const { return m_leds; }
    QString ignition() const;
    QString temperature() const;
    QString voltage() const;
    QString sam() const;
    QString speaker() const { return m_speaker; }
    QString barcodeScan() const { return m_barcodeScan; }
    QString cardScan() const { return m_cardScan; }
    QString rfidService() const;
    QString barcodeService() const;
    QString boardService() const;
    QString lightSensor() const { return m_lightSensor; }
    QString rgbTest() const { return m_rgbTest; }

    void setBuzzer(const QString& value);
    void setLeds(const QString& value);
    void setSpeaker(const QString& value);
    void setBarcodeScan(const QString& value);
    void setCardScan(const QString& value);
    void setLightSensor(const QString& value);
    void setRgbTest(const QString& value);

    // The report text, as saveReport() writes it, for the given moment.
    QString reportText(const QDateTime& now) const;
    QString qrPayload(const QDateTime& now) const;

signals:
    void rtcChanged();
    void ethernetChanged();
    void usbHubChanged();
    void mPCIe1Changed();
    void rfidUsbChanged();
    void barcodeUsbChanged();
    void ftdiChanged();
    void usbHostChanged();
    void touchChanged();
    void sdCardChanged();
    void buzzerChanged();
    void ledsChanged();
    void ignitionChanged();
    void temperatureChanged();
    void voltageChanged();
    void samChanged();
    void speakerChanged();
    void barcodeScanChanged();
    void cardScanChanged();
    void saveReportFinished(bool result, QString message);
    void rfidServiceChanged();
    void barcodeServiceChanged();
    void boardServiceChanged();
    void lightSensorChanged();
    void rgbTestChanged();

public slots:
    void start(int intervalSec);
    void start() { start(1); }
    void stop();
    void saveReport();
    QString generateQr();

private:
    void check();
    QString testUsb(const UsbDevice& device) const;
    QString testSdCard() const;
    QString readFile(const QString& path) const;
    QString samUid() const;

    static const QList<UsbDevice> m_usbDevices;

    QString m_usbHub;
    QString m_mPCIe1;
    QString m_rfidUsb;
    QString m_barcodeUsb;
    QString m_ftdi;
    QString m_usbHost;
    QString m_touch;
    QString m_sdCard;
    QString m_buzzer;
    QString m_leds;
    QString m_speaker;
    QString m_barcodeScan;
    QString m_cardScan;
    QString m_lightSensor;
    QString m_rgbTest;
    // The periodic check ("checkTimer"), running between start() and stop().
    QTimer m_timer;
    const QString& m_deviceId;
    manager::Board& m_board;
    manager::Network& m_network;
    manager::Validator& m_validator;
    const QString m_usbRoot;
    const QString m_sdCardPath;
};
