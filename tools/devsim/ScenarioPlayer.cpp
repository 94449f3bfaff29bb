#include "ScenarioPlayer.h"

#include <QDebug>

#include "DeviceSimulator.h"

namespace devsim {

ScenarioPlayer::ScenarioPlayer(DeviceSimulator& simulator, const Scenario& scenario,
                               QObject* parent)
    : QObject(parent), m_simulator(simulator), m_scenario(scenario) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &ScenarioPlayer::runStep);
}

void ScenarioPlayer::start() {
    m_next = 0;
    scheduleNext();
}

void ScenarioPlayer::stop() {
    m_timer.stop();
}

void ScenarioPlayer::scheduleNext() {
    if (m_next >= m_scenario.steps.size()) {
        if (!m_scenario.loop || m_scenario.steps.isEmpty()) {
            qInfo().noquote() << "[devsim] Scenario finished";
            emit finished();
            return;
        }
        qInfo().noquote() << "[devsim] Scenario starts over";
        m_next = 0;
    }
    m_timer.start(m_scenario.steps.at(m_next).waitMillis);
}

void ScenarioPlayer::runStep() {
    const Scenario::Step& step = m_scenario.steps.at(m_next);
    qInfo().noquote() << QStringLiteral("[devsim] Step %1: %2%3")
                             .arg(m_next + 1)
                             .arg(step.line, step.note.isEmpty()
                                                 ? QString()
                                                 : QStringLiteral(" (") + step.note + ')');
    ++m_next;
    ++m_stepsRun;
    m_simulator.run(step.command);
    scheduleNext();
}

}  // namespace devsim
