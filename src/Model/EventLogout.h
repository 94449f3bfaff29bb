#pragma once

#include "Event.h"

// A technician's settings session ended.
class EventLogout : public Event {
    Q_OBJECT

public:
    explicit EventLogout(QObject* parent = nullptr);
};
