# The fleet link: the relay (quellan-fleet-relay, built in relay/), the
# generator of its configuration, its systemd unit, the depot's certificate
# authority (quellan-fleet-ca, its OpenSSL configuration, its timer and service),
# revocation and commissioning scripts and the example broker configurations and
# ACLs, installed inactive (the relay in bin, the rest under share/quellan/fleet).
# The integrator turns the link on by running quellan-fleet-bridge --output
# /etc/quellan-fleet/relay.conf and enabling the unit.
include(GNUInstallDirs)
set(QUELLAN_FLEET_DIR ${CMAKE_INSTALL_DATADIR}/quellan/fleet)
if(TARGET quellan-fleet-relay)
    install(TARGETS quellan-fleet-relay RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
set(QUELLAN_RELAY ${CMAKE_INSTALL_FULL_BINDIR}/quellan-fleet-relay)
configure_file(${CMAKE_CURRENT_LIST_DIR}/systemd/quellan-fleet-relay.service.in
    ${CMAKE_CURRENT_BINARY_DIR}/quellan-fleet-relay.service @ONLY)
set(QUELLAN_FLEET_CA ${CMAKE_INSTALL_FULL_DATADIR}/quellan/fleet/quellan-fleet-ca)
configure_file(${CMAKE_CURRENT_LIST_DIR}/systemd/quellan-fleet-ca.service.in
    ${CMAKE_CURRENT_BINARY_DIR}/quellan-fleet-ca.service @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/quellan-fleet-relay.service
    ${CMAKE_CURRENT_BINARY_DIR}/quellan-fleet-ca.service
    ${CMAKE_CURRENT_LIST_DIR}/systemd/quellan-fleet-ca.timer
    DESTINATION ${QUELLAN_FLEET_DIR}/systemd)
install(PROGRAMS
    ${CMAKE_CURRENT_LIST_DIR}/quellan-fleet-bridge
    ${CMAKE_CURRENT_LIST_DIR}/quellan-fleet-revoke
    ${CMAKE_CURRENT_LIST_DIR}/quellan-fleet-commission
    ${CMAKE_CURRENT_LIST_DIR}/quellan-fleet-ca
    DESTINATION ${QUELLAN_FLEET_DIR})
# What the scripts above share (sourced, not run).
install(FILES ${CMAKE_CURRENT_LIST_DIR}/quellan-fleet-lib DESTINATION ${QUELLAN_FLEET_DIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/fleet-ca.cnf DESTINATION ${QUELLAN_FLEET_DIR})
install(FILES
    ${CMAKE_CURRENT_LIST_DIR}/mosquitto/relay.conf.in
    ${CMAKE_CURRENT_LIST_DIR}/mosquitto/onboard.conf
    ${CMAKE_CURRENT_LIST_DIR}/mosquitto/onboard.acl
    ${CMAKE_CURRENT_LIST_DIR}/mosquitto/depot.acl
    ${CMAKE_CURRENT_LIST_DIR}/mosquitto/depot.conf
    DESTINATION ${QUELLAN_FLEET_DIR}/mosquitto)
# The clustered depot on NATS: the generator of its nodes' configurations and users.
install(PROGRAMS ${CMAKE_CURRENT_LIST_DIR}/nats/quellan-fleet-nats
    DESTINATION ${QUELLAN_FLEET_DIR}/nats)
