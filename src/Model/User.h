#pragma once

#include <QString>

// A technician who may open the settings area.
struct User {
    int id = 0;
    QString name;
    QString surname;
    QString pin;
};
