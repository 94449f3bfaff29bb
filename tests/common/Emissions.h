#pragma once

#include <QMetaMethod>
#include <QMetaProperty>
#include <QSignalSpy>
#include <QStringList>
#include <QVariantMap>
#include <memory>
#include <vector>

// Spies on every signal an object declares (not QObject's own) and keeps the values of
// its own properties from the start, so a test can tell
// - take(): which signals fired since the last take(), in declaration order, with a
//   count where one fired more than once ("statusChanged reasonChanged x2");
// - order(): the names in the order they fired, since the last take();
// - unchanged(): whether every property still holds its first value.
class Emissions {
public:
    explicit Emissions(QObject* object) : m_object(object) {
        const QMetaObject* meta = object->metaObject();
        for (int i = QObject::staticMetaObject.methodCount(); i < meta->methodCount(); ++i) {
            const QMetaMethod method = meta->method(i);
            if (method.methodType() == QMetaMethod::Signal) {
                m_names << QString::fromLatin1(method.name());
                m_spies.push_back(std::make_unique<Spy>(object, method, m_names.last(), &m_order));
            }
        }
        m_values = values();
    }

    QString take() {
        QStringList fired;
        for (size_t i = 0; i < m_spies.size(); ++i) {
            const int n = m_spies[i]->count();
            if (n == 1) {
                fired << m_names[int(i)];
            } else if (n > 1) {
                fired << QStringLiteral("%1 x%2").arg(m_names[int(i)]).arg(n);
            }
            m_spies[i]->clear();
        }
        m_order.clear();
        return fired.join(QLatin1Char(' '));
    }
    QStringList order() const { return m_order; }

    QVariantMap values() const {
        QVariantMap out;
        const QMetaObject* meta = m_object->metaObject();
        for (int i = QObject::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i) {
            const QMetaProperty property = meta->property(i);
            if (property.userType() != QMetaType::UnknownType) {  // a pointer QML alone knows
                out.insert(QString::fromLatin1(property.name()), property.read(m_object));
            }
        }
        return out;
    }
    bool unchanged() const { return values() == m_values; }

private:
    // A spy that also notes its signal's name in a shared list as it fires.
    class Spy : public QSignalSpy {
    public:
        Spy(QObject* object, const QMetaMethod& method, const QString& name, QStringList* order)
            : QSignalSpy(object, method), m_name(name), m_order(order) {}
        int qt_metacall(QMetaObject::Call call, int id, void** args) override {
            const int before = count();
            id = QSignalSpy::qt_metacall(call, id, args);
            if (count() > before) {
                m_order->append(m_name);
            }
            return id;
        }

    private:
        QString m_name;
        QStringList* m_order;
    };

    QObject* m_object;
    QStringList m_names;
    QStringList m_order;
    std::vector<std::unique_ptr<Spy>> m_spies;
    QVariantMap m_values;
};
