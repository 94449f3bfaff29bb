#pragma once

#include "Event.h"

struct User;

// A technician opened the settings area.
class EventLogin : public Event {
    Q_OBJECT

public:
    explicit EventLogin(const User* user, QObject* parent = nullptr);
};
