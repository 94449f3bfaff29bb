#include "FakeManager.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>

namespace {
const QString kCatalogue = QStringLiteral(":/qml/translations/Quellan_el_GR.qm");

QVariantMap emptyTransaction() {
    return QVariantMap{{"valid", false},
                       {"type", 0},
                       {"denyReason", QString()},
                       {"denyReasonId", 0},
                       {"fareProduct", QString()},
                       {"passengeType", QString()},
                       {"details", QVariantMap{{"fromStopGroupName", QString()},
                                               {"toStopGroupName", QString()},
                                               {"deducted", 0.0},
                                               {"remaining", 0.0},
                                               {"activationTimestamp", QDateTime()},
                                               {"expires", QDateTime()},
                                               {"transferRemainingMin", 0}}}};
}
}  // namespace

FakeManager::FakeManager(QQmlContext* context, QObject* parent)
    : QObject(parent),
      m_context(context),
      m_diagnostics(new QObject(this)),
      m_update(new QObject(this)),
      m_clock(new QObject(this)) {
    if (!m_context)
        return;
    m_context->setContextProperty("manager", this);
    m_context->setContextProperty("transaction", emptyTransaction());
    for (const char* name :
         {"board", "inspector", "eventLogManager", "network", "validatorManager"}) {
        auto* object = new QObject(this);
        object->setObjectName(QString::fromLatin1(name));
        m_context->setContextProperty(QString::fromLatin1(name), object);
    }
}

FakeManager::~FakeManager() {
    if (m_translatorInstalled)
        QCoreApplication::removeTranslator(&m_translator);
}

void FakeManager::setScreen(const QString& value) {
    if (value == m_screen)
        return;
    m_screen = value;
    emit screenChanged();
}

void FakeManager::setScreen(const QString& value, int timeout) {
    record("setScreen", QStringLiteral("%1,%2").arg(value).arg(timeout));
    m_screen = value;
    emit screenChanged();
}

void FakeManager::setDeviceId(const QString& value) {
    if (value == m_deviceId)
        return;
    m_deviceId = value;
    emit deviceIdChanged();
}

// Same catalogue handling as the product: the Greek catalogue for every
// language but English.
void FakeManager::setLanguage(const QString& value) {
    if (value == m_language)
        return;
    if (m_translator.isEmpty() && !m_translator.load(kCatalogue))
        qCritical("FakeManager: cannot load %s", qPrintable(kCatalogue));
    const bool english = QLocale(value).language() == QLocale::English;
    if (english && m_translatorInstalled) {
        QCoreApplication::removeTranslator(&m_translator);
        m_translatorInstalled = false;
    } else if (!english && !m_translatorInstalled) {
        m_translatorInstalled = QCoreApplication::installTranslator(&m_translator);
    }
    QLocale::setDefault(QLocale(value));
    m_language = value;
    emit languageChanged();
}

void FakeManager::setMessage(const QString& value) {
    if (value == m_message)
        return;
    m_message = value;
    emit messageChanged();
}

void FakeManager::setTransaction(const QVariantMap& map) {
    if (m_context)
        m_context->setContextProperty("transaction", map);
}

void FakeManager::record(const QString& name, const QString& argument) {
    m_calls << (argument.isNull() ? name : name + QLatin1Char(':') + argument);
}
