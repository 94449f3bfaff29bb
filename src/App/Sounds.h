#pragma once

#include <QString>

// The feedback sounds on the device, played by the inspector service. QML reaches
// them through the GUI manager's validSound and invalidSound.
namespace sounds {
inline const QString valid = QStringLiteral("/opt/zorv/quellan/Valid.wav");
inline const QString invalid = QStringLiteral("/opt/zorv/quellan/Invalid.wav");
}  // namespace sounds
