#include "ValidatorConfig.h"

ValidatorConfig::ValidatorConfig(QObject* parent) : QObject(parent) {}

void ValidatorConfig::setObuUrl(const QUrl& url) {
    if (m_obuUrl == url) {
        return;
    }
    m_obuUrl = url;
    emit obuUrlChanged();
}

void ValidatorConfig::setPassbackSecs(int secs) {
    if (m_passbackSecs == secs) {
        return;
    }
    m_passbackSecs = secs;
    emit passbackSecsChanged();
}

void ValidatorConfig::setPassbackQrEnabled(bool enabled) {
    if (m_passbackQrEnabled == enabled) {
        return;
    }
    m_passbackQrEnabled = enabled;
    emit passbackQrEnabledChanged();
}
