#pragma once

#include <QObject>
#include <QTimer>

#include "Scenario.h"

namespace devsim {

class DeviceSimulator;

// Plays a scenario's steps on the simulator, each after its pause, from the event
// loop; starts over after the last step when the scenario loops.
class ScenarioPlayer : public QObject {
    Q_OBJECT

public:
    ScenarioPlayer(DeviceSimulator& simulator, const Scenario& scenario, QObject* parent = nullptr);

    void start();
    void stop();
    int stepsRun() const { return m_stepsRun; }

signals:
    void finished();

private:
    void scheduleNext();
    void runStep();

    DeviceSimulator& m_simulator;
    Scenario m_scenario;
    QTimer m_timer;
    int m_next = 0;
    int m_stepsRun = 0;
};

}  // namespace devsim
