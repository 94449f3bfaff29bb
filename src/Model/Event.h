#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

// One entry of the device's event log: where it came from, a short title, an
// optional free text and the local time it happened. The values are fixed when
// the event is created.
class Event : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString category READ category NOTIFY categoryChanged)
    Q_PROPERTY(QString name READ name NOTIFY nameChanged)
    Q_PROPERTY(QString description READ description NOTIFY descriptionChanged)
    Q_PROPERTY(QDateTime timestamp READ timestamp NOTIFY timestampChanged)

public:
    explicit Event(QObject* parent = nullptr);
    Event(const QString& category, const QString& name, const QString& description,
          const QDateTime& timestamp, QObject* parent = nullptr);

    QString category() const { return m_category; }
    QString name() const { return m_name; }
    QString description() const { return m_descr; }
    QDateTime timestamp() const { return m_timestamp; }

signals:
    // The values never change; the signals exist so that QML bindings are quiet.
    void categoryChanged();
    void nameChanged();
    void descriptionChanged();
    void timestampChanged();

protected:
    // For event kinds that compose their fields in their own constructor.
    void setFields(const QString& category, const QString& name, const QString& description,
                   const QDateTime& timestamp);

private:
    QString m_category;
    QString m_name;
    QString m_descr;
    QDateTime m_timestamp;
};
