#pragma once

#include "Event.h"

// Too many wrong settings PINs in a row: the login waits before it checks another.
class EventSettingsLocked : public Event {
    Q_OBJECT

public:
    EventSettingsLocked(int failures, int waitSec, QObject* parent = nullptr);
};
