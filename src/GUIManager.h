#pragma once

#include <QVariantMap>

class GUIManager {
public:
    static const QVariantMap Defaults;
};
