#pragma once

#include <QMetaMethod>
#include <QSignalSpy>
#include <QStringList>
#include <memory>
#include <vector>

// Spies on every signal an object declares (not QObject's own), so that a test can
// tell with take() which signals fired since the last take(), in declaration order,
// with a count where one fired more than once ("statusChanged reasonChanged x2").
class Emissions {
public:
    explicit Emissions(QObject* object) {
        const QMetaObject* meta = object->metaObject();
        for (int i = QObject::staticMetaObject.methodCount(); i < meta->methodCount(); ++i) {
            const QMetaMethod method = meta->method(i);
            if (method.methodType() == QMetaMethod::Signal) {
                m_names << QString::fromLatin1(method.name());
                m_spies.push_back(std::make_unique<QSignalSpy>(object, method));
            }
        }
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
        return fired.join(QLatin1Char(' '));
    }

private:
    QStringList m_names;
    std::vector<std::unique_ptr<QSignalSpy>> m_spies;
};
