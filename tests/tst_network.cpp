// The network manager, its ethernet child and the IPv4 address rule.

#include <QtTest>
#include <memory>

#include "Network.h"
#include "support/ServiceRig.h"

class TestNetwork : public QObject {
    Q_OBJECT

private slots:
    void addressRule_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("empty") << "" << true;
        QTest::newRow("each width at its limit") << "255.249.199.99" << true;
        QTest::newRow("zeros") << "0.0.0.0" << true;
        QTest::newRow("256") << "192.168.1.256" << false;
        QTest::newRow("five numbers") << "10.0.0.1.5" << false;
        QTest::newRow("trailing dot") << "1.2.3.4." << false;
        QTest::newRow("line end after") << "1.2.3.4\n" << false;
    }

    void addressRule() {
        QFETCH(QString, text);
        QTEST(IPv4::isValidAddress(text), "valid");
    }

    void init() {
        m_rig = std::make_unique<ServiceRig>("zorv/network");
        m_network = m_rig->make<manager::Network>("zorv/network");
        QVERIFY(m_rig->start());
        // Only the ethernet interface is asked for; the network service reports on its own.
        QCOMPARE(m_rig->sent(), (QStringList{"/ethernet/state/get {}", "/ethernet/config/get {}"}));
    }

    void cleanup() { m_rig.reset(); }

    void status() {
        Emissions watch(m_network);
        QVERIFY(send("/status", "status"));
        QCOMPARE(watch.take(), QString("connectionStateChanged connectivityChanged hostnameChanged "
                                       "primaryConnectionChanged"));
        manager::Connection* primary = m_network->primaryConnection();
        QCOMPARE(QStringList({m_network->connectionState(), m_network->connectivity(),
                              m_network->hostname(), primary->interface(), primary->state(),
                              primary->type(), primary->ipv4()->mask()}),
                 QStringList({"Connected", "Full", "validator-0412", "eth0", "Connected",
                              "ethernet", "255.255.255.0"}));
        // Bad input: the child's topics lie under the network's base too; both log it.
        LogCapture log;
        QVERIFY(m_rig->send("/ethernet/state", "{\"stateStr\": \"conn"));
        QCOMPARE(log.count("Failed to parse JSON message"), 2);
        QVERIFY(send("/status", "status-disconnected"));
        QCOMPARE(primary->ipv4()->dns1() + m_network->connectionState(), QString("Disconnected"));
    }

    void ethernet() {
        manager::Ethernet* ethernet = m_network->ethernet();
        Emissions watch(ethernet);
        // The USB gadget link shares the topics and is never shown.
        QVERIFY(send("/ethernet/state", "ethernet-state-usb0"));
        QVERIFY(send("/ethernet/config", "ethernet-config-usb0"));
        QCOMPARE(watch.take(), QString());
        QVERIFY(send("/ethernet/state", "ethernet-state-eth0"));
        QVERIFY(send("/ethernet/config", "ethernet-config-manual"));
        QCOMPARE(watch.take(), QString("interfaceChanged typeChanged stateChanged reasonChanged "
                                       "macChanged methodChanged ipv4Changed configChanged"));
        QCOMPARE(QStringList({ethernet->interface(), ethernet->type(), ethernet->state(),
                              ethernet->reason(), ethernet->mac(), ethernet->ipv4()->gateway(),
                              ethernet->method(), ethernet->config()->address()}),
                 QStringList({"eth0", "ethernet", "Connected", "none", "02:42:AC:11:00:02",
                              "192.168.10.1", "manual", "10.0.0.5"}));
    }

    void save_data() {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("sent");
        // Only "manual", spelt exactly so, carries the static settings.
        QTest::newRow("manual") << "manual"
                                << R"({"address":"10.0.0.5","dns0":"10.0.0.1","dns1":"1.1.1.1",)"
                                   R"("gateway":"10.0.0.1","interface":"eth0","method":"manual",)"
                                   R"("netmask":"255.255.255.0"})";
        QTest::newRow("Manual") << "Manual"
                                << R"({"address":"","dns0":"","dns1":"","gateway":"",)"
                                   R"("interface":"eth0","method":"Manual","netmask":""})";
    }

    void save() {
        manager::Ethernet* ethernet = m_network->ethernet();
        QVERIFY(send("/ethernet/state", "ethernet-state-eth0"));
        QVERIFY(send("/ethernet/config", "ethernet-config-manual"));
        m_rig->sent();
        QFETCH(QString, method);
        ethernet->setMethod(method);
        ethernet->save();
        QFETCH(QString, sent);
        QCOMPARE(m_rig->sent(), QStringList{"/ethernet/config/set " + sent});
    }

private:
    bool send(const QString& suffix, const QString& name) {
        return m_rig->send(suffix, fixture("network/" + name + ".json"));
    }
    std::unique_ptr<ServiceRig> m_rig;
    manager::Network* m_network = nullptr;
};

QTEST_GUILESS_MAIN(TestNetwork)
#include "tst_network.moc"
